#include "history/first_made.h"

#include <algorithm>
#include <set>
#include <span>

namespace clipnest {

namespace {

// The names of `names` that `other` does not hold: many (an undo, a rename of many) are looked up in a set, a few in
// the list itself.
std::vector<std::string_view> notIn(std::span<const std::string> names, std::span<const std::string> other) {
    std::set<std::string_view> all;
    if (names.size() > 16) {
        all.insert(other.begin(), other.end());
    }
    std::vector<std::string_view> missing;
    for (const std::string& name : names) {
        if (all.empty() ? std::find(other.begin(), other.end(), name) == other.end() : !all.contains(name)) {
            missing.push_back(name);
        }
    }
    return missing;
}

} // namespace

NamesChanged namesChanged(std::span<const std::string> before, std::span<const std::string> after) {
    const auto head = static_cast<std::size_t>(
        std::mismatch(before.begin(), before.end(), after.begin(), after.end()).first - before.begin());
    const auto skipped = static_cast<std::ptrdiff_t>(head);
    const auto tail = static_cast<std::size_t>(
        std::mismatch(before.rbegin(), before.rend() - skipped, after.rbegin(), after.rend() - skipped).first -
        before.rbegin());
    const auto middle = [head, tail](std::span<const std::string> names) {
        return names.subspan(head, names.size() - head - tail);
    };
    return {notIn(middle(after), before), notIn(middle(before), after)};
}

bool followEntries(FirstMade& record, const NamesChanged& changed, std::string_view now) {
    bool edited = false;
    for (const std::string_view name : changed.added) {
        std::string& date = record[std::string(name)];
        if (date != now) {
            date = now;
            edited = true;
        }
    }
    for (const std::string_view name : changed.gone) {
        const auto kept = record.find(name);
        if (kept != record.end() && !kept->second.starts_with(SetAside)) {
            kept->second.insert(kept->second.begin(), SetAside);
            edited = true;
        }
    }
    return edited;
}

FirstMade readFirstMade(const WorkingFolder& channel) {
    FirstMade record;
    const std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", false);
    const std::string text = hidden ? hidden->read(FirstMadeFile).value_or("") : "";
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end;
        const std::string_view line = std::string_view(text).substr(from, end - from);
        if (const std::size_t blank = line.find(' '); blank != std::string_view::npos && blank + 1 < line.size()) {
            record.insert_or_assign(std::string(line.substr(blank + 1)), std::string(line.substr(0, blank)));
        }
        from = end + 1;
    }
    return record;
}

bool writeFirstMade(const WorkingFolder& channel, const FirstMade& record) {
    std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", true);
    std::string text;
    for (const auto& [name, when] : record) {
        // A name that would break its line is never an entry's; it is not kept.
        if (name.find_first_of("\r\n") == std::string::npos) {
            text += when + " " + name + "\n";
        }
    }
    return hidden && hidden->write(FirstMadeFile, text);
}

} // namespace clipnest
