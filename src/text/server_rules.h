#pragma once

#include <string>
#include <string_view>

// The rules Clipnest keeps for the web server in the channel's .htaccess: the comment files and the moderation and
// rate-limit files are refused to visitors (403), and "/" is the homepage. They stand in a marked block; whatever the
// host wrote before and after it is theirs and stays as it is.
namespace clipnest {

inline constexpr std::string_view ServerRulesFile = ".htaccess";

// `htaccess` (the file's bytes, empty when there is none) with Clipnest's block as this version writes it: the last
// marked block replaced, or a new one added at the end.
std::string withServerRules(std::string_view htaccess);

} // namespace clipnest
