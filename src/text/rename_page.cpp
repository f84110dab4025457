#include "text/rename_page.h"

#include "text/individual_page.h"
#include "text/templates.h"

#include <algorithm>
#include <iterator>

namespace clipnest {

namespace {

using templates::Context;

// The template holds the page for one file, then, after a line of its own, the page for several pairs; in that one,
// the line that names the first pair is written once for each pair.
constexpr std::string_view SeveralPairs = "\n<?php // Above: one file. Below:";
constexpr std::string_view PairRow = "    array(\"{From}\", \"{To}\")";

std::string_view onePairPage() {
    const std::string_view text = templates::renamePage();
    return text.substr(0, text.find(SeveralPairs));
}

std::string_view severalPairsPage() {
    const std::string_view text = templates::renamePage();
    const std::size_t line = text.find('\n', text.find(SeveralPairs) + 1);
    return line == std::string_view::npos ? std::string_view() : text.substr(line + 1);
}

std::string pairRow(std::string_view from, std::string_view to) {
    return templates::filled(PairRow,
                             {{"{From}", from, Context::PhpDoubleQuoted}, {"{To}", to, Context::PhpDoubleQuoted}});
}

} // namespace

std::string buildRenamePage(std::string_view oldName, std::string_view newName) {
    return templates::filled(onePairPage(), {{"{OldName}", oldName, Context::PhpDoubleQuoted},
                                             {"{NewName}", newName, Context::PhpDoubleQuoted}});
}

std::string buildRenamePage(std::span<const RenamePair> pairs) {
    const std::string_view page = severalPairsPage();
    const std::size_t row = page.find(PairRow);
    std::string rows;
    for (const RenamePair& pair : pairs) {
        rows += (rows.empty() ? "" : ",\n") + pairRow(pair.from, pair.to);
    }
    return std::string(page.substr(0, row)) + rows + std::string(page.substr(row + PairRow.size()));
}

bool renamesOnServer(std::string_view pageText, std::string_view from, std::string_view to) {
    return pageText.find(pairRow(from, to)) != std::string_view::npos;
}

bool runsOnServer(std::string_view name) {
    // A Windows server drops the dots and blanks at a name's end: "x.php." and "x.php " are x.php there.
    if (name.empty() || name.back() == '.' || name.back() == ' ') {
        return true;
    }
    std::string lower(name);
    for (char& c : lower) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    // The files a server reads its rules and settings from, wherever handlers are set.
    static constexpr std::string_view Settings[] = {".htaccess", ".htpasswd", ".user.ini", "php.ini", "web.config"};
    if (std::find(std::begin(Settings), std::end(Settings), lower) != std::end(Settings)) {
        return true;
    }
    static constexpr std::string_view Handlers[] = {
        "php",  "php3", "php4", "php5", "php7", "php8", "phtml", "phar", "pht", "phps", "pgif", "inc",  "shtml", "shtm",
        "stm",  "cgi",  "fcgi", "fcg",  "fpl",  "pl",   "pm",    "py",   "pyc", "pyo",  "wsgi", "rb",   "asp",   "aspx",
        "ascx", "ashx", "asmx", "asa",  "cer",  "jsp",  "jspx",  "jsw",  "jsv", "jspf", "cfm",  "cfml", "sh"};
    for (std::size_t period = lower.find('.'); period != std::string::npos;) {
        const std::size_t next = lower.find('.', period + 1);
        const std::string_view extension =
            std::string_view(lower).substr(period + 1, next == std::string::npos ? next : next - period - 1);
        if (std::find(std::begin(Handlers), std::end(Handlers), extension) != std::end(Handlers)) {
            return true;
        }
        period = next;
    }
    return false;
}

std::optional<std::string> renameRefusal(std::string_view oldName, std::string_view newName) {
    for (const std::string_view name : {oldName, newName}) {
        if (name == RenamePageFile) {
            return std::string(name) + " is the rename page itself";
        }
        if (name.ends_with("_comments.txt") || name == CommentLimitsFile) {
            return std::string(name) + " holds a video's comments, which only its page writes";
        }
        if (name == CommentModerationFile) {
            return std::string(name) + " holds which comments are hidden, which only Clipnest writes";
        }
        if (runsOnServer(name)) {
            return std::string(name) + " is a name the server runs as a program";
        }
    }
    return std::nullopt;
}

} // namespace clipnest
