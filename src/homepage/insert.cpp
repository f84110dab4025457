#include "insert.h"

#include "app/form.h"

namespace clipnest {

void insertEntry(Form& form) { (void)form; }

} // namespace clipnest

void clipnest::Form::Command9() {}
