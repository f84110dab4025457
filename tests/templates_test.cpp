#include "support/test_support.h"
#include "text/default_homepage.h"
#include "text/individual_page.h"
#include "text/markers.h"
#include "text/rename_page.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::splitLines;
constexpr auto npos = std::string::npos;

std::size_t countOf(const std::string& text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(part); pos != npos; pos = text.find(part, pos + part.size())) {
        ++n;
    }
    return n;
}

TEST(DefaultHomepage, Has1904CharactersApartFromItsValuesAndKeepsItsMarkerLines) {
    const std::string empty = buildDefaultHomepage("", "", "");
    auto lines = splitLines(empty);
    ASSERT_EQ(lines.size(), 129u);
    EXPECT_EQ(empty.size(), 1904u);
    EXPECT_EQ(empty.find('\r'), npos);
    EXPECT_EQ(lines.front(), "<!DOCTYPE html>");
    EXPECT_EQ(lines[104], markers::Title);
    EXPECT_EQ(lines[110], markers::Message);
    EXPECT_EQ(lines[121], "");
    EXPECT_EQ(lines[124], markers::EndA);
    EXPECT_EQ(lines[125], markers::EndC);
    EXPECT_EQ(lines[127], "  </body>");
    EXPECT_EQ(lines[128], "  </html>");

    // A 13-line sample takes line 122 on; the values follow their markers.
    std::string sample = "sample line 1";
    for (int i = 2; i <= 13; ++i) {
        sample += "\nsample line " + std::to_string(i);
    }
    const std::string title = "<b>Bob's</b> &amp; clips";
    const std::string page = buildDefaultHomepage(title, "Welcome", sample);
    lines = splitLines(page);
    ASSERT_EQ(lines.size(), 141u);
    EXPECT_EQ(page.size(), 1904u + title.size() + 7 + sample.size());
    EXPECT_EQ(lines[103], "<h1 class=\"point\">");
    EXPECT_EQ(lines[104], std::string(markers::Title) + title);
    EXPECT_EQ(lines[105], "</h1>");
    EXPECT_EQ(lines[110], std::string(markers::Message) + "Welcome");
    EXPECT_EQ(lines[120], "");
    EXPECT_EQ(lines[121], "sample line 1");
    EXPECT_EQ(lines[133], "sample line 13");
    EXPECT_EQ(lines[134], "");
    EXPECT_EQ(lines[136], markers::EndA);
    EXPECT_EQ(lines[137], markers::EndC);
}

TEST(IndividualTemplate, ShapeSizeOriginsTokensAndMarkers) {
    const std::string page = buildIndividualPageTemplate();
    const auto lines = splitLines(page);
    const std::string api(webFontApiOrigin());
    ASSERT_GT(lines.size(), 70u);
    EXPECT_EQ(page.find('\r'), npos);
    EXPECT_EQ(lines.front(), "<html lang=\"en\">");
    EXPECT_EQ(lines[67], "<?php");
    EXPECT_EQ(lines.back(), "</html>");

    EXPECT_EQ(lines[5], "    <link rel=\"preconnect\" href=\"" + api + "\">");
    EXPECT_EQ(lines[6],
              "    <link rel=\"preconnect\" href=\"" + std::string(webFontStaticOrigin()) + "\" crossorigin>");
    EXPECT_EQ(lines[7],
              "    <link href=\"" + api + "/css2?family=Roboto:wght@400;500&display=swap\" rel=\"stylesheet\">");
    EXPECT_NE(lines[30].find("src=\"" + std::string(angularScriptOrigin()) + "/1.5.8/angular.js\""), npos);
    EXPECT_EQ(lines[31], "    <script src=\"" + std::string(channelServiceOrigin()) + "/app.js\"></script>");
    EXPECT_EQ(page.find("Origin}"), npos);

    EXPECT_EQ(countOf(page, markers::FileNameToken), 1u);
    EXPECT_EQ(countOf(page, markers::IndividDescripToken), 1u);
    EXPECT_EQ(countOf(page, markers::FileNameLessExtToken), 4u);
    EXPECT_NE(lines[45].find("and the File name. -->"), npos);
    EXPECT_NE(lines[46].find("<source src=\"p4yFileNamep5y\""), npos);
    EXPECT_EQ(lines[47], "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in " +
                             std::string(markers::IndividualDescriptionTail) + ". -->");
    EXPECT_EQ(lines[48], "<div class=\"desc\">p4yIndividDescripp5y</div>");
    EXPECT_EQ(lines[69], "$filename = 'p4yFileNameLessExtp5y_comments.txt';");
    // Every host marker in the PHP block guards the line right below it.
    int markerCount = 0;
    for (std::size_t i = 67; i + 1 < lines.size(); ++i) {
        if (lines[i].starts_with("// t9b3 HOSTS!")) {
            ++markerCount;
            const bool comments = lines[i].ends_with("'FileName'_comments.txt value below.");
            EXPECT_TRUE(comments || lines[i].ends_with("'FileName'.txt value below.")) << lines[i];
            EXPECT_NE(lines[i + 1].find(comments ? "\"p4yFileNameLessExtp5y_comments.txt\""
                                                 : "'p4yFileNameLessExtp5y_comments.txt'"),
                      npos)
                << "line " << i + 2;
        }
    }
    EXPECT_EQ(markerCount, 4);
}

TEST(FillIndividualPage, EscapesTheNameForEachLiteralAndFillsEveryToken) {
    struct Case {
        std::string name, inSingle, inDouble;
    };
    for (const Case& c : std::vector<Case>{{"clip7", "clip7", "clip7"},
                                           {"Bob's clip", "Bob\\'s clip", "Bob's clip"},
                                           {"a$b", "a$b", "a\\$b"},
                                           {"x\\y\"z'{$v}", "x\\\\y\"z\\'{$v}", "x\\\\y\\\"z'{\\$v}"}}) {
        std::string page = buildIndividualPageTemplate();
        fillFileNameLessExt(page, c.name);
        EXPECT_EQ(splitLines(page)[69], "$filename = '" + c.inSingle + "_comments.txt';") << c.name;
        EXPECT_EQ(countOf(page, "\"" + c.inDouble + "_comments.txt\""), 3u) << c.name;
        EXPECT_EQ(countOf(page, markers::FileNameLessExtToken), 0u) << c.name;
    }

    std::string page = buildIndividualPageTemplate();
    fillFileNameLessExt(page, markers::FileNameLessExtToken);
    EXPECT_EQ(page, buildIndividualPageTemplate()) << "a name holding the token is inserted once";

    page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip7.mp4", "clip7", "A <i>long</i> description");
    const auto lines = splitLines(page);
    EXPECT_NE(lines[46].find("<source src=\"clip7.mp4\" type=\"video/mp4\" />"), npos);
    EXPECT_EQ(lines[48], "<div class=\"desc\">A <i>long</i> description</div>");
    EXPECT_EQ(lines[69], "$filename = 'clip7_comments.txt';");
    EXPECT_EQ(page.find("p4y"), npos);
}

// The page as a person would write it by hand, checked line by line against the design once.
TEST(RenamePage, NamesEscapedForDoubleQuotesAndThePageDeletesItselfAfterUse) {
    const std::string expected = "<?php\n"
                                 "// Old Name Of The file\n"
                                 "$old_name = \"old.mp4\" ;\n"
                                 "// New Name For The File\n"
                                 "$new_name = \"new.mp4\" ;\n"
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
                                 "        // One rename only: the page removes itself, or where it may not, its power "
                                 "to rename.\n"
                                 "        if(!@unlink(__FILE__))\n"
                                 "          {\n"
                                 "             @file_put_contents(__FILE__, '<?php echo \"This page has been used "
                                 "up.\" ; ?>') ;\n"
                                 "          }\n"
                                 "     }\n"
                                 "     Else\n"
                                 "     {\n"
                                 "        echo \"Error While Renaming \" . htmlspecialchars($old_name) ;\n"
                                 "     }\n"
                                 "  }\n"
                                 "?>";
    EXPECT_TRUE(testing::sameText(expected, buildRenamePage("old.mp4", "new.mp4")));

    const auto escaped = splitLines(buildRenamePage(" my {$big} $file'1.mp4 ", ""));
    EXPECT_EQ(escaped[2], "$old_name = \" my {\\$big} \\$file'1.mp4 \" ;") << "blanks are kept";
    EXPECT_EQ(escaped[4], "$new_name = \"\" ;");
}

} // namespace
} // namespace clipnest
