#include "form.h"

namespace clipnest {

void Form::Command3() {}
void Form::Command4() {}
void Form::Command7() {}

} // namespace clipnest
