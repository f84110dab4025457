#pragma once

namespace clipnest {

class Form;

// Timer1: shows "Please enter a valid file name." for three seconds.
void showInvalidName(Form& form);

// Timer24: reads the homepage and the entry's page on the first request of a run, then routes the request.
void routeRequest(Form& form);

} // namespace clipnest
