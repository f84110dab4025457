#include "form.h"

namespace clipnest {

// Clearing empties the boxes only: a running chain keeps the request it copied from them.

void Form::Command3() {
    controls.Check1 = false;
    controls.Text2.clear();
    controls.Text4.clear();
    controls.Text5.clear();
}

void Form::Command4() {
    controls.Check2 = false;
    controls.Text3.clear();
    controls.Text6.clear();
    controls.Text7.clear();
}

void Form::Command7() {
    controls.Text19.clear();
    controls.Text20.clear();
    controls.Text21.clear();
    controls.Text25.clear();
}

} // namespace clipnest
