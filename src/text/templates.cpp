#include "text/templates.h"

#include "text/embedded_templates.h"
#include "text/php_literal.h"

#include <algorithm>

namespace clipnest::templates {

std::string_view videoPage() {
    return embedded::video_page_php;
}
std::string_view renamePage() {
    return embedded::rename_page_php;
}
std::string_view homepage() {
    return embedded::homepage_html;
}
std::string_view sampleEntry() {
    return embedded::sample_entry_html;
}
std::string_view previewRouter() {
    return embedded::preview_router_php;
}
std::string_view movedPage() {
    return embedded::moved_page_php;
}

std::string escapedFor(Context context, std::string_view value) {
    switch (context) {
    case Context::PhpSingleQuoted:
        return phpSingleQuoted(value);
    case Context::PhpDoubleQuoted:
        return phpDoubleQuoted(value);
    case Context::PageText:
        break;
    }
    return std::string(value);
}

std::string filled(std::string_view text, std::initializer_list<Fill> fills) {
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t brace = text.find('{'); brace != std::string_view::npos;) {
        const Fill* fill = std::find_if(fills.begin(), fills.end(),
                                        [&](const Fill& f) { return text.substr(brace).starts_with(f.placeholder); });
        if (fill == fills.end()) {
            brace = text.find('{', brace + 1);
            continue;
        }
        out.append(text, done, brace - done);
        out.append(escapedFor(fill->context, fill->value));
        done = brace + fill->placeholder.size();
        brace = text.find('{', done);
    }
    out.append(text, done);
    return out;
}

} // namespace clipnest::templates
