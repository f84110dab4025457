#pragma once

#include <string>
#include <string_view>

namespace clipnest {

// change_file_name.php: lines joined by LF, no LF after "?>". Each name is escaped for a PHP double-quoted string,
// so the server renames exactly the typed file. After one successful rename the page deletes itself.
std::string buildRenamePage(std::string_view oldName, std::string_view newName);

} // namespace clipnest
