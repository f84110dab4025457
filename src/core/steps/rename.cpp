#include "core/form.h"
#include "text/document.h"
#include "text/page_text.h"
#include "text/rename_page.h"

namespace clipnest {

// Writes change_file_name.php from the two boxes, which keep their text. A name with a character the code page
// lacks cannot be written truthfully (any stand-in would rename the wrong file on the server), so the page is then
// not written, the old file stays, and the failure panel says why.
void Form::writeRenamePage() {
    startClick();
    const std::optional<std::string> oldName = toCodePage(controls.renameFrom);
    const std::optional<std::string> newName = toCodePage(controls.renameTo);
    if (!oldName || !newName) {
        fileFailure("\r\n   Clipnest did not write " + std::string(RenamePageFile) +
                    ":\r\n   a name holds a character that the page cannot store.\r\n   (Click to close)\r\n");
        return;
    }
    // The page runs on a public server: it may rename only a file beside itself, to a name beside itself.
    if (!isRenameName(*oldName) || !isRenameName(*newName)) {
        const std::string problem =
            fileNameProblem(isRenameName(*oldName) ? controls.renameTo : controls.renameFrom, true);
        refuseName(problem.empty() ? "a name needs a period after its first character" : problem);
        return;
    }
    if (const std::optional<std::string> refusal = renameRefusal(*oldName, *newName)) {
        fileFailure(panelMessage("Clipnest did not write " + std::string(RenamePageFile) + ": " + *refusal + "."));
        return;
    }
    startOperation({Operation::Kind::Rename, {controls.renameFrom, controls.renameTo}});
    writeText(RenamePageFile, buildRenamePage(*oldName, *newName));
}

} // namespace clipnest
