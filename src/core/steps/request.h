#pragma once

#include <string>
#include <string_view>

namespace clipnest {

class Form;

// Timer1: shows "Please enter a valid file name." for three seconds.
void showInvalidName(Form& form);

// Timer24: reads the homepage and the entry's page on the first request of a run, then routes the request.
void routeRequest(Form& form);

// "clip.webm shares clip.php with the entry clip.mp4; " + what: said when a request for one video works on the page
// of another that has the same name without extension.
std::string sharedPageText(std::string_view fileName, std::string_view owner, std::string_view what);

} // namespace clipnest
