#pragma once

#include <string>
#include <utility>
#include <vector>

namespace clipnest::publish {

// What a web server answered a POST: its HTTP status and body; `problem` instead when no answer came (the address
// unreachable, the network module missing).
struct HttpAnswer {
    long status = 0;
    std::string body;
    std::string problem;
};

using FormFields = std::vector<std::pair<std::string, std::string>>;

// POSTs `fields` as a form (application/x-www-form-urlencoded) to `url` (http:// or https://, redirects not
// followed) through libcurl, which the FTP module holds: it is loaded only now, by the command that posts.
HttpAnswer postForm(const std::string& url, const FormFields& fields);

// The module's function that posts, given the version of the program; false when the module is of another.
inline constexpr const char* PostFormFunction = "clipnestPostForm";
using PostForm = bool (*)(const std::string& url, const FormFields& fields, HttpAnswer& answer, const char* version);

} // namespace clipnest::publish
