#include "text/channel_settings.h"

#include <random>
#include <sstream>

namespace clipnest {

namespace {

std::string trimmed(std::string_view s) {
    const std::size_t from = s.find_first_not_of(" \t\r");
    const std::size_t to = s.find_last_not_of(" \t\r");
    return from == std::string_view::npos ? "" : std::string(s.substr(from, to - from + 1));
}

} // namespace

std::vector<SettingLine> readChannelSettings(const WorkingFolder& channel) {
    std::vector<SettingLine> settings;
    const std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", false);
    const std::optional<std::string> text = hidden ? hidden->read("publish.conf") : std::nullopt;
    std::istringstream lines(text.value_or(""));
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = trimmed(line);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t eq = line.find('=');
        settings.push_back({number, eq == std::string::npos ? line : trimmed(line.substr(0, eq)),
                            eq == std::string::npos ? "" : trimmed(line.substr(eq + 1))});
    }
    return settings;
}

bool isCommentSecret(std::string_view secret) {
    return secret.size() == 64 && secret.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string commentSecret(WorkingFolder& channel) {
    std::optional<WorkingFolder> hidden = channel.subfolder(".clipnest", true);
    if (!hidden) {
        return "";
    }
    std::string secret = hidden->read("comment-secret").value_or("");
    while (!secret.empty() && (secret.back() == '\n' || secret.back() == '\r')) {
        secret.pop_back();
    }
    if (isCommentSecret(secret)) {
        return secret;
    }
    std::random_device random; // the kernel's random source
    secret.clear();
    for (int i = 0; i < 8; ++i) {
        const unsigned int word = random();
        for (int shift = 28; shift >= 0; shift -= 4) {
            secret += "0123456789abcdef"[(word >> shift) & 15];
        }
    }
    return hidden->write("comment-secret", secret + "\n") ? secret : "";
}

std::vector<std::string> settingWords(const std::vector<SettingLine>& lines, std::string_view key) {
    std::vector<std::string> words;
    for (const SettingLine& line : lines) {
        if (line.key == key) {
            std::istringstream values(line.value);
            for (std::string word; values >> word;) {
                words.push_back(word);
            }
        }
    }
    return words;
}

} // namespace clipnest
