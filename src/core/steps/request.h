#pragma once

#include <string>
#include <string_view>

namespace clipnest {

class Form;

// Step::ShowInvalidName: shows "Please enter a valid file name." for three seconds.
void showInvalidName(Form& form);

// Step::Route: reads the homepage on the first request of a run and the entry's page on every request, then routes it.
void routeRequest(Form& form);

// "clip.webm shares clip.php with the entry clip.mp4; " + what: said when a request for one video works on the page
// of another that has the same name without extension.
std::string sharedPageText(std::string_view fileName, std::string_view owner, std::string_view what);

} // namespace clipnest
