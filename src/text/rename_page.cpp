#include "text/rename_page.h"

#include "text/php_literal.h"

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

} // namespace clipnest
