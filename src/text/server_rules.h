#pragma once

#include <string>
#include <string_view>

// The rules Clipnest keeps for the web server in the channel's .htaccess: the comment files and the moderation and
// rate-limit files, every hidden name and a publish's temporary files are refused to visitors (403) whatever their
// case, and "/" is the homepage. They stand in a marked block; whatever the host wrote before and after it is theirs
// and stays as it is.
namespace clipnest {

inline constexpr std::string_view ServerRulesFile = ".htaccess";

// The marked block as this version writes it, from its BEGIN line to its END line and the line end after it.
std::string_view serverRulesBlock();

// `htaccess` (the file's bytes, empty when there is none) with Clipnest's block as this version writes it: the last
// marked block replaced, or a new one added at the end. A BEGIN line without its END line is the host's text then,
// kept as it stands, since nothing tells where the block it began would end.
std::string withServerRules(std::string_view htaccess);

} // namespace clipnest
