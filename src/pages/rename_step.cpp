#include "app/form.h"
#include "rename_page.h"

namespace clipnest {

void Form::Command10() {}

} // namespace clipnest
