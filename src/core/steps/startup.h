#pragma once

namespace clipnest {

class Form;

// Step::StartUp: marks the folder with AppDocs.txt, builds the sample entry, loads the homepage or builds the default
// one in memory, and builds the individual-page template, one phase per tick.
void startUp(Form& form);

} // namespace clipnest
