#include "publish/manifest.h"

#include "platform/working_folder.h"

#include <sstream>

namespace clipnest::publish {

namespace {

// One line of a folder's record; false for a line that cannot be read.
bool readFileLine(std::istringstream& fields, std::map<std::string, Published>& into) {
    Published p;
    std::string name;
    if (fields >> p.sha256 >> p.size >> p.modifiedNs && fields.get() == ' ' && std::getline(fields, name) &&
        p.sha256.size() == 64 && !name.empty()) {
        into[name] = p;
        return true;
    }
    return false;
}

void readLine(const std::string& line, Record& r) {
    std::istringstream fields(line);
    if (line.starts_with("part ")) {
        fields.ignore(5);
        readFileLine(fields, r.parts);
    } else if (line.starts_with("moved ")) {
        r.moved.insert(line.substr(6));
    } else if (line.starts_with("renames ")) {
        r.renamesDone.insert(line.substr(8));
    } else if (line == "unfinished") {
        r.unfinished = true;
    } else {
        readFileLine(fields, r.files);
    }
}

std::string fileLine(const std::string& name, const Published& p) {
    return p.sha256 + " " + std::to_string(p.size) + " " + std::to_string(p.modifiedNs) + " " + name + "\n";
}

} // namespace

const Published* Record::find(const std::string& name) const {
    const auto it = files.find(name);
    return it == files.end() ? nullptr : &it->second;
}

Manifest Manifest::load(const std::filesystem::path& channel) {
    Manifest m;
    const std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", false);
    const std::optional<std::string> text = hidden ? hidden->read("published") : std::nullopt;
    std::istringstream lines(text.value_or(""));
    Record* current = nullptr;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("to ")) {
            current = &m.records_[line.substr(3)];
        } else {
            readLine(line, current ? *current : m.records_[""]);
        }
    }
    // A moved page is one of the files put there.
    for (auto& [target, r] : m.records_) {
        std::erase_if(r.moved, [&r](const std::string& name) { return !r.files.contains(name); });
    }
    return m;
}

bool Manifest::save(const std::filesystem::path& channel) const {
    std::string text;
    for (const auto& [target, r] : records_) {
        text += target.empty() ? "" : "to " + target + "\n";
        for (const auto& [name, p] : r.files) {
            text += fileLine(name, p);
        }
        for (const auto& [name, p] : r.parts) {
            text += "part " + fileLine(name, p);
        }
        for (const std::string& name : r.moved) {
            text += "moved " + name + "\n";
        }
        for (const std::string& hash : r.renamesDone) {
            text += "renames " + hash + "\n";
        }
        text += r.unfinished ? "unfinished\n" : "";
    }
    std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", true);
    return hidden && hidden->write("published", text);
}

Record& Manifest::of(const std::string& target) {
    if (const auto found = records_.find(target); found != records_.end()) {
        return found->second;
    }
    if (const auto older = records_.find(""); older != records_.end() && !target.empty()) {
        Record r = std::move(older->second);
        records_.erase(older);
        return records_[target] = std::move(r);
    }
    return records_[target];
}

} // namespace clipnest::publish
