#include "text/moved_page.h"

#include "platform/code_page.h"
#include "text/templates.h"

namespace clipnest {

namespace {

constexpr std::string_view NewPage = "{NewPage}";

} // namespace

std::string buildMovedPage(std::string_view newPage) {
    return templates::filled(templates::movedPage(),
                             {{NewPage, codePageToUtf8(newPage), templates::Context::PhpSingleQuoted}});
}

bool isMovedPage(std::string_view text) {
    // The template holds its one placeholder once: what stands before and after it is the same on every moved page.
    const std::string_view page = templates::movedPage();
    const std::size_t at = page.find(NewPage);
    const std::string_view before = page.substr(0, at), after = page.substr(at + NewPage.size());
    return text.size() >= before.size() + after.size() && text.starts_with(before) && text.ends_with(after);
}

} // namespace clipnest
