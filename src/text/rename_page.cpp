#include "text/rename_page.h"

#include "text/individual_page.h"
#include "text/php_literal.h"

#include <algorithm>
#include <iterator>

namespace clipnest {

std::string buildRenamePage(std::string_view oldName, std::string_view newName) {
    // The names are printed through htmlspecialchars because the browser shows the page's output as HTML.
    std::string page = "<?php\n"
                       "// Old Name Of The file\n"
                       "$old_name = \"";
    page.append(phpDoubleQuoted(oldName));
    page.append("\" ;\n"
                "// New Name For The File\n"
                "$new_name = \"");
    page.append(phpDoubleQuoted(newName));
    page.append("\" ;\n"
                "// Checking If File Already Exists\n"
                "if(file_exists($new_name))\n"
                " {\n"
                "   echo \"A File With The Same Name Already Exists\" ;\n"
                " }\n"
                "Else\n"
                " {\n"
                "   if(@rename( $old_name, $new_name))\n"
                "     {\n"
                "        echo \"Successfully Renamed \" . htmlspecialchars($old_name) . \" to \" . "
                "htmlspecialchars($new_name) ;\n"
                "        // One rename only: the page removes itself, or where it may not, its power to rename.\n"
                "        if(!@unlink(__FILE__))\n"
                "          {\n"
                "             @file_put_contents(__FILE__, '<?php echo \"This page has been used up.\" ; ?>') ;\n"
                "          }\n"
                "     }\n"
                "     Else\n"
                "     {\n"
                "        echo \"Error While Renaming \" . htmlspecialchars($old_name) ;\n"
                "     }\n"
                "  }\n"
                "?>");
    return page;
}

namespace {

std::string pairLiteral(std::string_view from, std::string_view to) {
    return "array(\"" + phpDoubleQuoted(from) + "\", \"" + phpDoubleQuoted(to) + "\")";
}

} // namespace

std::string buildRenamePage(std::span<const RenamePair> pairs) {
    std::string page = "<?php\n"
                       "// Old and new names: the video, its page, its comments\n"
                       "$renames = array(\n";
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        page += "    " + pairLiteral(pairs[i].from, pairs[i].to) + (i + 1 < pairs.size() ? ",\n" : "\n");
    }
    page +=
        ") ;\n"
        "$page = \"/\\.php$/\" ;\n"
        "// Checking If Any File Already Exists: nothing is renamed then\n"
        "foreach ($renames as $r)\n"
        " {\n"
        "   if(file_exists($r[1]) && !preg_match($page, $r[1]))\n"
        "     {\n"
        "        echo \"A File With The Same Name Already Exists: \" . htmlspecialchars($r[1]) . \"; nothing was "
        "renamed.\" ;\n"
        "        exit ;\n"
        "     }\n"
        " }\n"
        "if(!is_file($renames[0][0]))\n"
        " {\n"
        "   echo \"Error While Renaming \" . htmlspecialchars($renames[0][0]) . \": there is no such file; nothing was "
        "renamed.\" ;\n"
        "   exit ;\n"
        " }\n"
        "$done = array() ;\n"
        "foreach ($renames as $r)\n"
        " {\n"
        "   if(!is_file($r[0]))\n"
        "     {\n"
        "        continue ;\n"
        "     }\n"
        "   // A page uploaded under its new name already is the one to keep.\n"
        "   $replaced = preg_match($page, $r[1]) && file_exists($r[1]) ;\n"
        "   $ok = $replaced ? @unlink($r[0]) : @rename($r[0], $r[1]) ;\n"
        "   if(!$ok)\n"
        "     {\n"
        "        foreach (array_reverse($done) as $d)\n"
        "          {\n"
        "             @rename($d[1], $d[0]) ;\n"
        "          }\n"
        "        echo \"Error While Renaming \" . htmlspecialchars($r[0]) . \"; nothing was renamed.\" ;\n"
        "        exit ;\n"
        "     }\n"
        "   if(!$replaced)\n"
        "     {\n"
        "        $done[] = $r ;\n"
        "     }\n"
        "   echo \"Successfully Renamed \" . htmlspecialchars($r[0]) . \" to \" . htmlspecialchars($r[1]) . "
        "\"<br>\\n\" ;\n"
        " }\n"
        "// One call only: the page removes itself, or where it may not, its power to rename.\n"
        "if(!@unlink(__FILE__))\n"
        " {\n"
        "   @file_put_contents(__FILE__, '<?php echo \"This page has been used up.\" ; ?>') ;\n"
        " }\n"
        "?>";
    return page;
}

bool renamesOnServer(std::string_view pageText, std::string_view from, std::string_view to) {
    return pageText.find(pairLiteral(from, to)) != std::string_view::npos;
}

bool runsOnServer(std::string_view name) {
    static constexpr std::string_view Handlers[] = {"php",  "php3", "php4", "php5",  "php7", "php8", "phtml",
                                                    "phar", "pht",  "phps", "shtml", "cgi",  "pl",   "asp"};
    for (std::size_t period = name.find('.'); period != std::string_view::npos;) {
        const std::size_t next = name.find('.', period + 1);
        std::string extension(name.substr(period + 1, next == std::string_view::npos ? next : next - period - 1));
        for (char& c : extension) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
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
