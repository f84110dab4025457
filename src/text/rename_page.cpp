#include "text/rename_page.h"

#include "platform/code_page.h"
#include "text/individual_page.h"
#include "text/templates.h"
#include "text/text_ops.h"

#include <algorithm>
#include <iterator>
#include <vector>

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

// The page renames files on the server, whose names are UTF-8 as they are on the desktop's disk.
std::string pairRow(std::string_view from, std::string_view to) {
    return templates::filled(PairRow, {{"{From}", codePageToUtf8(from), Context::PhpDoubleQuoted},
                                       {"{To}", codePageToUtf8(to), Context::PhpDoubleQuoted}});
}

// A pair as the page holds it: both names already escaped for a PHP double-quoted string.
struct Row {
    std::string from, to;
};

std::string rowText(const Row& row) {
    return "    array(\"" + row.from + "\", \"" + row.to + "\")";
}

// The text between the quotes of `"X" ;` or `"X", "Y")` up to the first quote no backslash escapes (names never hold
// a backslash of their own, so a backslash before a quote is always the escape's).
std::optional<std::string> quoted(std::string_view text, std::size_t& at) {
    if (at >= text.size() || text[at] != '"') {
        return std::nullopt;
    }
    for (std::size_t end = text.find('"', at + 1); end != std::string_view::npos; end = text.find('"', end + 1)) {
        if (text[end - 1] != '\\') {
            std::string value(text.substr(at + 1, end - at - 1));
            at = end + 1;
            return value;
        }
    }
    return std::nullopt;
}

// The pairs of a page this file wrote, in their order: the one of a one-file page, or the rows of a several-pairs
// page. Nothing for any other text.
std::vector<Row> pageRows(std::string_view page) {
    std::vector<Row> rows;
    static constexpr std::string_view OldLine = "\n$old_name = ", NewLine = "\n$new_name = ";
    static constexpr std::string_view ArrayStart = "\n$renames = array(\n", RowStart = "    array(";
    if (const std::size_t start = page.find(ArrayStart); start != std::string_view::npos) {
        std::size_t at = start + ArrayStart.size();
        while (page.substr(at, RowStart.size()) == RowStart) {
            at += RowStart.size();
            std::optional<std::string> from = quoted(page, at);
            if (!from || page.substr(at, 2) != ", ") {
                break;
            }
            at += 2;
            std::optional<std::string> to = quoted(page, at);
            if (!to || page.substr(at, 1) != ")") {
                break;
            }
            rows.push_back({std::move(*from), std::move(*to)});
            at += page.substr(at, 3) == "),\n" ? 3 : 1;
        }
        return rows;
    }
    std::size_t oldAt = page.find(OldLine), newAt = page.find(NewLine);
    if (oldAt == std::string_view::npos || newAt == std::string_view::npos) {
        return rows;
    }
    oldAt += OldLine.size();
    newAt += NewLine.size();
    std::optional<std::string> from = quoted(page, oldAt), to = quoted(page, newAt);
    if (from && to) {
        rows.push_back({std::move(*from), std::move(*to)});
    }
    return rows;
}

// A name as the page holds it, escaped for a PHP double-quoted string in UTF-8, as the code-page name it stands for.
std::string unescaped(std::string_view escaped) {
    std::string name;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        i += escaped[i] == '\\' && i + 1 < escaped.size() ? 1 : 0;
        name.push_back(escaped[i]);
    }
    return toCodePage(name).value_or(name);
}

std::string severalPairsPage(const std::vector<Row>& rows) {
    const std::string_view page = severalPairsPage();
    const std::size_t row = page.find(PairRow);
    std::string text;
    for (const Row& r : rows) {
        text += (text.empty() ? "" : ",\n") + rowText(r);
    }
    return std::string(page.substr(0, row)) + text + std::string(page.substr(row + PairRow.size()));
}

Row escapedRow(const RenamePair& pair) {
    const std::string row = pairRow(pair.from, pair.to);
    std::size_t at = row.find('"');
    std::optional<std::string> from = quoted(row, at);
    at += 2;
    std::optional<std::string> to = quoted(row, at);
    return {from.value_or(""), to.value_or("")};
}

} // namespace

std::string buildRenamePage(std::string_view oldName, std::string_view newName) {
    return templates::filled(onePairPage(), {{"{OldName}", codePageToUtf8(oldName), Context::PhpDoubleQuoted},
                                             {"{NewName}", codePageToUtf8(newName), Context::PhpDoubleQuoted}});
}

std::string buildRenamePage(std::span<const RenamePair> pairs) {
    std::vector<Row> rows;
    for (const RenamePair& pair : pairs) {
        rows.push_back(escapedRow(pair));
    }
    return severalPairsPage(rows);
}

std::string queuedRenamePage(std::string_view pending, std::span<const RenamePair> pairs, bool onePage) {
    std::vector<Row> rows = pageRows(pending);
    // A later rename of the same name is the one meant: the earlier pair goes.
    std::erase_if(rows, [&](const Row& r) {
        return std::any_of(pairs.begin(), pairs.end(),
                           [&](const RenamePair& p) { return escapedRow(p).from == r.from; });
    });
    if (rows.empty()) {
        return onePage && pairs.size() == 1 ? buildRenamePage(pairs.front().from, pairs.front().to)
                                            : buildRenamePage(pairs);
    }
    for (const RenamePair& pair : pairs) {
        rows.push_back(escapedRow(pair));
    }
    return severalPairsPage(rows);
}

bool renamesAway(std::string_view pageText, std::string_view name) {
    const std::string escaped = escapedRow({std::string(name), std::string()}).from;
    const std::vector<Row> rows = pageRows(pageText);
    return std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r.from == escaped; });
}

std::size_t renamesHeld(std::string_view pageText) {
    std::size_t renames = 0;
    for (const Row& row : pageRows(pageText)) {
        // An entry's page and comments go with its video's pair, and no single file is ever either.
        renames += row.from.ends_with(".php") || row.from.ends_with("_comments.txt") ? 0 : 1;
    }
    return renames;
}

std::vector<std::string> renameSteps(std::string_view pageText, std::string_view from, std::string_view to) {
    // The server renames the pairs in order, so a later pair may take a name further: a to b, then b to c.
    const Row wanted = escapedRow({std::string(from), std::string(to)});
    std::vector<std::string> steps{wanted.from};
    for (const Row& row : pageRows(pageText)) {
        if (row.from == steps.back()) {
            steps.push_back(row.to);
        }
    }
    if (steps.size() < 2 || steps.back() != wanted.to) {
        return {};
    }
    for (std::string& step : steps) {
        step = unescaped(step);
    }
    return steps;
}

std::vector<RenamePair> renamePairs(std::string_view pageText) {
    std::vector<RenamePair> pairs;
    for (const Row& row : pageRows(pageText)) {
        pairs.push_back({unescaped(row.from), unescaped(row.to)});
    }
    return pairs;
}

bool renamesOnServer(std::string_view pageText, std::string_view from, std::string_view to) {
    return !renameSteps(pageText, from, to).empty();
}

bool runsOnServer(std::string_view name) {
    // A Windows server drops the dots and blanks at a name's end: "x.php." and "x.php " are x.php there.
    if (name.empty() || name.back() == '.' || name.back() == ' ') {
        return true;
    }
    const std::string lower = lowerAscii(name);
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

bool isVisitorsFile(std::string_view name) {
    const std::string lower = lowerAscii(name);
    return lower.ends_with("_comments.txt") || lower == CommentLimitsFile || lower == CommentMailCountFile;
}

std::optional<std::string> renameRefusal(std::string_view oldName, std::string_view newName) {
    for (const std::string_view name : {oldName, newName}) {
        const std::string lower = lowerAscii(name);
        if (lower == RenamePageFile) {
            return std::string(name) + " is the rename page itself";
        }
        if (isVisitorsFile(name)) {
            return std::string(name) + " holds a video's comments, which only its page writes";
        }
        if (lower == CommentModerationFile) {
            return std::string(name) + " holds which comments are hidden, which only Clipnest writes";
        }
        if (runsOnServer(name)) {
            return std::string(name) + " is a name the server runs as a program";
        }
    }
    return std::nullopt;
}

} // namespace clipnest
