#pragma once

namespace clipnest {

class Form;

// Step::PreparePage: warns once that the page file is missing, or puts the template into IndividPageText and hands
// back.
void prepareIndividualPage(Form& form);

} // namespace clipnest
