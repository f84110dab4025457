# Writes OUTPUT: a header that holds each template of DIR (its .php and .html files) byte for byte, as
# clipnest::embedded::NAME, NAME being the file's name with '.' as '_' (video_page.php: video_page_php).
# Run by the build (src/text/CMakeLists.txt) whenever a template changes.
file(GLOB templates RELATIVE "${DIR}" "${DIR}/*.php" "${DIR}/*.html")
list(SORT templates)
set(text "// Made by src/text/templates/embed.cmake from the files of src/text/templates: edit those, not this.\n")
string(APPEND text "#pragma once\n\n#include <string_view>\n\nnamespace clipnest::embedded {\n")
foreach(name IN LISTS templates)
  file(READ "${DIR}/${name}" hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
  string(MAKE_C_IDENTIFIER "${name}" id)
  string(APPEND text "inline constexpr std::string_view ${id}{\"${escaped}\", ${size}};\n")
endforeach()
string(APPEND text "} // namespace clipnest::embedded\n")
file(WRITE "${OUTPUT}" "${text}")
