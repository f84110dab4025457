#pragma once

#include "publish/remote.h"

#include <string_view>
#include <vector>

namespace clipnest::publish {

// A folder as an FTP server lists it, one entry a line, into `files`: names from the server's UTF-8 into the code
// page, leaving out a name that does not convert, and "." and "..". False, with the line in `unread`, at a line that
// is neither an entry nor the "total" line: a listing only partly understood would make files present look absent.

// MLSD: "fact=value;fact=value; name", the facts in any case; `type` file is a plain file.
bool readMlsd(std::string_view text, std::vector<RemoteFile>& files, std::string& unread);

// LIST -a as Unix `ls -l` shows it: the mode's first letter tells a plain file (`-`) from a folder or a link, the size
// stands before the month, the name after the time or year (a link's followed by " -> " and where it leads).
bool readLsLines(std::string_view text, std::vector<RemoteFile>& files, std::string& unread);

} // namespace clipnest::publish
