#pragma once

#include "platform/working_folder.h"

#include <string>
#include <vector>

namespace clipnest {

// The channel's settings file, .clipnest/publish.conf: one "key = value" a line, # comments and blank lines left out.
inline constexpr const char* ChannelSettingsFile = ".clipnest/publish.conf";

struct SettingLine {
    int number = 0; // in the file, from 1
    std::string key, value;
};

// The settings lines of the channel folder, keys and values without the blanks around them; none when there is no
// file (or it is not a file of the folder's own hidden folder).
std::vector<SettingLine> readChannelSettings(const WorkingFolder& channel);

// Whether a secret may go into a page's PHP code: 64 lower-case hex digits, nothing that could leave the literal.
bool isCommentSecret(std::string_view secret);

// The channel's secret for its video pages' comment forms, kept in .clipnest/comment-secret: 64 lower-case hex
// digits, made from the system's random source when the file is missing or holds anything else. Empty when it can
// be neither read nor written.
std::string commentSecret(WorkingFolder& channel);

// The values of `key`, each line's value split at blanks, in order.
std::vector<std::string> settingWords(const std::vector<SettingLine>& lines, std::string_view key);

} // namespace clipnest
