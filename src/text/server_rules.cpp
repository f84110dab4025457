#include "text/server_rules.h"

namespace clipnest {

namespace {

constexpr std::string_view Begin = "# BEGIN Clipnest";
constexpr std::string_view End = "# END Clipnest";

// Apache 2.4 refuses with Require, 2.2 with Order/Deny; a server without either module refuses nothing it is not told.
constexpr std::string_view Block =
    "# BEGIN Clipnest: Clipnest rewrites the lines up to END Clipnest; write your own above or below them.\n"
    "DirectoryIndex homepage.html index.html index.php\n"
    "<FilesMatch \"(_comments\\.txt|^comment_moderation\\.txt|^comment_rate_limits\\.txt)$\">\n"
    "    <IfModule mod_authz_core.c>\n"
    "        Require all denied\n"
    "    </IfModule>\n"
    "    <IfModule !mod_authz_core.c>\n"
    "        Order allow,deny\n"
    "        Deny from all\n"
    "    </IfModule>\n"
    "</FilesMatch>\n"
    "# END Clipnest\n";

// Where the line holding `from` starts, or npos.
std::size_t lineStart(std::string_view text, std::size_t from) {
    const std::size_t cut = text.find_last_of("\r\n", from == 0 ? 0 : from - 1);
    return from == 0 || cut == std::string_view::npos ? 0 : cut + 1;
}

} // namespace

std::string withServerRules(std::string_view htaccess) {
    const std::size_t begin = htaccess.rfind(Begin);
    const std::size_t end = begin == std::string_view::npos ? begin : htaccess.find(End, begin);
    if (end != std::string_view::npos && lineStart(htaccess, begin) == begin) {
        std::size_t after = htaccess.find('\n', end);
        after = after == std::string_view::npos ? htaccess.size() : after + 1;
        return std::string(htaccess.substr(0, begin)) + std::string(Block) + std::string(htaccess.substr(after));
    }
    std::string text(htaccess);
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text + std::string(Block);
}

} // namespace clipnest
