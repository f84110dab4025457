#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// A value put inside a PHP string literal, with a backslash in front of each character that would end, escape or
// (in double quotes) interpolate it.
inline std::string phpEscaped(std::string_view value, std::string_view special) {
    std::string out;
    out.reserve(value.size() + 2);
    for (const char c : value) {
        if (special.find(c) != std::string_view::npos) {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out;
}

inline std::string phpSingleQuoted(std::string_view value) {
    return phpEscaped(value, "\\'");
}
inline std::string phpDoubleQuoted(std::string_view value) {
    return phpEscaped(value, "\\\"$");
}

} // namespace clipnest
