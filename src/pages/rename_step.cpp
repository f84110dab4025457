#include "app/form.h"
#include "app/page_text.h"
#include "homepage/document.h"
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
    // The page runs on a public server: it may rename only a file beside itself, to a name beside itself.
    if (!isRenameName(*oldName) || !isRenameName(*newName)) {
        routing.InvalidName = 1;
        arm(Step::Timer1);
        return;
    }
    startOperation("rename " + controls.Text18 + " " + controls.Text24);
    writeText(RenamePageFile, buildRenamePage(*oldName, *newName));
}

} // namespace clipnest
