#include "core/form.h"

namespace clipnest {

// Clearing empties the boxes only: a running chain keeps the request it copied from them.

void Form::clearEntryBoxes(EntryPanel panel) {
    startClick();
    controls.entry(panel) = EntryBoxes{};
}

void Form::clearInsertBoxes() {
    startClick();
    controls.insert = {};
}

} // namespace clipnest
