#pragma once

namespace clipnest {

class Form;

// Looks for the homepage on its second run ever, reads it or builds the default homepage, and seeds.
void buildOrReadHomepage(Form& form);

} // namespace clipnest
