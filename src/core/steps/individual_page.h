#pragma once

namespace clipnest {

class Form;

// Step::PreparePage: says that an entry's page file is missing (once for each page: the next request for it makes the
// page), or puts the template into the request's page text and hands back to the routing.
void prepareIndividualPage(Form& form);

} // namespace clipnest
