#pragma once

#include "shell/working_folder.h"

#include <string>
#include <string_view>
#include <vector>

namespace clipnest {

// A live entry of the homepage, as page text (code-page bytes, references not decoded).
struct LiveEntry {
    std::string fileName;
    // The content of the entry's description element; empty when the entry has none.
    std::string description;
};

// The live entries of held homepage text, in page order. An entry is found by its source line ("<source src=" and a
// quote, then the file name up to the next quote), as the editing Steps find it; lines inside a disabled "<!--n9h"
// ... "s4j-->" block and lines that still hold a file-name token (the sample entry's) are not entries. The
// description is the element after the entry's description marker, looked for only up to the next source line.
std::vector<LiveEntry> liveEntries(std::string_view pageText);

// The live entries of the folder's homepage.html; none when it has none.
std::vector<LiveEntry> homepageEntries(const WorkingFolder& channel);

} // namespace clipnest
