#pragma once

#include "core/form.h"

namespace clipnest {

// The Form's state as its Steps see it. Only the Form and the Steps of core/steps include this: what the window, the
// command line and the tests see of the Form is its public face.
struct FormState {
    HomepageState& homepage;
    StartupState& startup;
    NoticeState& notices;
    Request& request;
};

FormState state(Form& form);

} // namespace clipnest
