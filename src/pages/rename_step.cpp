#include "app/form.h"
#include "app/page_text.h"
#include "rename_page.h"

namespace clipnest {

namespace {

constexpr std::string_view RenamePageFile = "change_file_name.php";

} // namespace

// Writes change_file_name.php from the two boxes, which keep their text. A name with a character the code page
// lacks cannot be written truthfully (any stand-in would rename the wrong file on the server), so the page is then
// not written, the old file stays, and the failure panel says why.
void Form::Command10() {
    const std::optional<std::string> oldName = toCodePage(controls.Text18);
    const std::optional<std::string> newName = toCodePage(controls.Text24);
    if (!oldName || !newName) {
        fileFailure("\r\n   Clipnest did not write " + std::string(RenamePageFile) +
                    ":\r\n   a name holds a character that the page cannot store.\r\n   (Click to close)\r\n");
        return;
    }
    writeText(RenamePageFile, buildRenamePage(*oldName, *newName));
}

} // namespace clipnest
