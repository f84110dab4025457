#include "delete.h"

#include "app/form.h"

namespace clipnest {

void Form::Command5() { deleteClick(controls.Text2); }
void Form::Command6() { deleteClick(controls.Text7); }
void Form::deleteClick(const std::string& nameBox) { (void)nameBox; }

void findHomepageForDelete(Form& form) { (void)form; }
void cutEntry(Form& form) { (void)form; }
void reportEntryNotFound(Form& form) { (void)form; }

} // namespace clipnest
