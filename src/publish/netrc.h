#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace clipnest::publish {

struct NetrcLogin {
    std::string login, password;
};

// The login for `host` in the text of a .netrc file, as ftp and curl read it: the first `machine host` entry, or
// with `user` the first whose login is that user; else the `default` entry. Words are separated by blanks and line
// breaks; a word in double quotes may hold blanks (\" and \\ inside). `macdef` bodies are passed over.
std::optional<NetrcLogin> netrcLogin(std::string_view text, std::string_view host, std::string_view user);

} // namespace clipnest::publish
