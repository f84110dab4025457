#include "history/first_made.h"

namespace clipnest {

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
