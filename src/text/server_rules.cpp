#include "text/server_rules.h"

namespace clipnest {

namespace {

constexpr std::string_view Begin = "# BEGIN Clipnest";
constexpr std::string_view End = "# END Clipnest";

// Apache 2.4 refuses with Require, 2.2 with Order/Deny; a server without either module refuses nothing it is not told.
// The match is case-blind, as a host on a case-blind file system serves A_COMMENTS.TXT from a_comments.txt. Hidden
// names and the publish's temporary files (".roses.php.clipnest-part" holds a page's PHP source and its secret, which
// the server would send as text) are refused with them.
constexpr std::string_view Block =
    "# BEGIN Clipnest: Clipnest rewrites the lines up to END Clipnest; write your own above or below them.\n"
    "DirectoryIndex homepage.html index.html index.php\n"
    "<FilesMatch \"(?i)(^\\.|_comments\\.txt$|^comment_moderation\\.txt$|^comment_rate_limits\\.txt$|"
    "^comment_mail_count\\.txt$|"
    "\\.clipnest-(part|old)$)\">\n"
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

// Where the line after the one holding `at` starts: past a "\r\n", "\n" or "\r", or the text's end.
std::size_t nextLine(std::string_view text, std::size_t at) {
    const std::size_t cut = text.find_first_of("\r\n", at);
    if (cut == std::string_view::npos) {
        return text.size();
    }
    return text.substr(cut, 2) == "\r\n" ? cut + 2 : cut + 1;
}

} // namespace

std::string_view serverRulesBlock() {
    return Block;
}

std::string withServerRules(std::string_view htaccess) {
    const std::size_t begin = htaccess.rfind(Begin);
    const std::size_t end = begin == std::string_view::npos ? begin : htaccess.find(End, begin);
    if (end != std::string_view::npos && lineStart(htaccess, begin) == begin) {
        return std::string(htaccess.substr(0, begin)) + std::string(Block) +
               std::string(htaccess.substr(nextLine(htaccess, end)));
    }
    std::string text(htaccess);
    if (!text.empty() && text.back() != '\n') {
        text += '\n';
    }
    return text + std::string(Block);
}

} // namespace clipnest
