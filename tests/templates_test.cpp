#include "homepage/markers.h"
#include "pages/default_homepage.h"
#include "pages/individual_page.h"
#include "pages/rename_page.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t lf = text.find('\n'); lf != std::string::npos; lf = text.find('\n', start)) {
        lines.push_back(text.substr(start, lf - start));
        start = lf + 1;
    }
    lines.push_back(text.substr(start));
    return lines;
}

std::size_t countOf(const std::string& text, std::string_view part) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) {
        ++n;
    }
    return n;
}

// ---- Default homepage ----

TEST(DefaultHomepage, EmptyValuesGive129LinesOf1904Characters) {
    const std::string page = buildDefaultHomepage("", "", "");
    const auto lines = linesOf(page);
    ASSERT_EQ(lines.size(), 129u);
    EXPECT_EQ(page.size(), 1904u);
    EXPECT_EQ(page.find('\r'), std::string::npos);
    EXPECT_EQ(lines.front(), "<!DOCTYPE html>");
    EXPECT_EQ(lines[104], markers::Title);
    EXPECT_EQ(lines[110], markers::Message);
    EXPECT_EQ(lines[121], "");
    EXPECT_EQ(lines[124], markers::EndA);
    EXPECT_EQ(lines[125], markers::EndC);
    EXPECT_EQ(lines[127], "  </body>");
    EXPECT_EQ(lines[128], "  </html>");
}

TEST(DefaultHomepage, ValuesFollowTheirMarkersAndTheSampleTakesLine122) {
    std::string sample;
    for (int i = 1; i <= 13; ++i) {
        sample += "sample line " + std::to_string(i) + (i < 13 ? "\n" : "");
    }
    const std::string title = "<b>Bob's</b> &amp; clips";
    const std::string message = "Welcome";
    const std::string page = buildDefaultHomepage(title, message, sample);
    const auto lines = linesOf(page);
    ASSERT_EQ(lines.size(), 141u);
    EXPECT_EQ(page.size(), 1904u + title.size() + message.size() + sample.size());
    EXPECT_EQ(lines[103], "<h1 class=\"point\">");
    EXPECT_EQ(lines[104], std::string(markers::Title) + title);
    EXPECT_EQ(lines[105], "</h1>");
    EXPECT_EQ(lines[110], std::string(markers::Message) + message);
    EXPECT_EQ(lines[120], "");
    EXPECT_EQ(lines[121], "sample line 1");
    EXPECT_EQ(lines[133], "sample line 13");
    EXPECT_EQ(lines[134], "");
    EXPECT_EQ(lines[136], markers::EndA);
    EXPECT_EQ(lines[137], markers::EndC);
    EXPECT_EQ(lines.back(), "  </html>");
}

// ---- Individual page ----

// Characters of the template apart from its five origin values (the web-font API origin appears twice), LFs
// included: the page markup, the PHP comment block and their 102 line breaks.
constexpr std::size_t IndividualFixedChars = 3537;

std::size_t originChars() {
    return 2 * webFontApiOrigin().size() + webFontStaticOrigin().size() + angularScriptOrigin().size() +
           channelServiceOrigin().size();
}

TEST(IndividualTemplate, ShapeAndSize) {
    const std::string page = buildIndividualPageTemplate();
    const auto lines = linesOf(page);
    ASSERT_EQ(lines.size(), 103u);
    EXPECT_EQ(countOf(page, "\n"), 102u);
    EXPECT_EQ(page.find('\r'), std::string::npos);
    EXPECT_EQ(page.size(), IndividualFixedChars + originChars());
    EXPECT_EQ(lines.front(), "<html lang=\"en\">");
    EXPECT_EQ(lines.back(), "</html>");
    EXPECT_EQ(lines[67], "<?php");
    EXPECT_EQ(lines[97], "?>");
    EXPECT_EQ(lines[98], "</textarea>");
}

TEST(IndividualTemplate, OriginsStandWhereTheLinksNeedThem) {
    const std::string page = buildIndividualPageTemplate();
    const auto lines = linesOf(page);
    const std::string api(webFontApiOrigin());
    EXPECT_EQ(lines[5], "    <link rel=\"preconnect\" href=\"" + api + "\">");
    EXPECT_EQ(lines[6],
              "    <link rel=\"preconnect\" href=\"" + std::string(webFontStaticOrigin()) + "\" crossorigin>");
    EXPECT_EQ(lines[7],
              "    <link href=\"" + api + "/css2?family=Roboto:wght@400;500&display=swap\" rel=\"stylesheet\">");
    EXPECT_NE(lines[30].find("src=\"" + std::string(angularScriptOrigin()) + "/1.5.8/angular.js\""), std::string::npos);
    EXPECT_EQ(lines[31], "    <script src=\"" + std::string(channelServiceOrigin()) + "/app.js\"></script>");
    EXPECT_EQ(page.find("Origin}"), std::string::npos);
}

TEST(IndividualTemplate, TokensAndMarkersStayOnTheirLines) {
    const std::string page = buildIndividualPageTemplate();
    const auto lines = linesOf(page);
    EXPECT_EQ(countOf(page, markers::FileNameToken), 1u);
    EXPECT_EQ(countOf(page, markers::IndividDescripToken), 1u);
    EXPECT_EQ(countOf(page, markers::FileNameLessExtToken), 4u);
    EXPECT_NE(lines[45].find("and the File name. -->"), std::string::npos);
    EXPECT_NE(lines[46].find("<source src=\"p4yFileNamep5y\""), std::string::npos);
    EXPECT_EQ(lines[47], "<!-- t9b3 HOSTS!, PLEASE don't delete this tag marker, or insert anything in " +
                             std::string(markers::IndividualDescriptionTail) + ". -->");
    EXPECT_EQ(lines[48], "<div class=\"desc\">p4yIndividDescripp5y</div>");
    EXPECT_EQ(lines[69], "$filename = 'p4yFileNameLessExtp5y.txt';");

    // Every host marker in the PHP block guards the line right below it.
    int markerCount = 0;
    for (std::size_t i = 67; i + 1 < lines.size(); ++i) {
        if (lines[i].starts_with("// t9b3 HOSTS!")) {
            ++markerCount;
            const bool comments = lines[i].ends_with("'FileName'_comments.txt value below.");
            EXPECT_TRUE(comments || lines[i].ends_with("'FileName'.txt value below.")) << lines[i];
            EXPECT_NE(
                lines[i + 1].find(comments ? "\"p4yFileNameLessExtp5y_comments.txt\"" : "'p4yFileNameLessExtp5y.txt'"),
                std::string::npos)
                << "line " << i + 2;
        }
    }
    EXPECT_EQ(markerCount, 4);
}

TEST(IndividualTemplate, CommentBoxKeepsItsLimitsAndMessages) {
    const std::string page = buildIndividualPageTemplate();
    EXPECT_EQ(countOf(page, "echo \"Sorry, comments for this entry are full.\";"), 1u);
    EXPECT_EQ(countOf(page, "< 30001"), 1u);
    EXPECT_EQ(countOf(page, "> 30000"), 1u);
    EXPECT_EQ(countOf(page, "Sorry, comments are limited to 500 characters."), 1u);
    EXPECT_EQ(countOf(page, "FILE_APPEND | LOCK_EX"), 1u);
    EXPECT_EQ(countOf(page, "fopen"), 0u);
    EXPECT_EQ(countOf(page, "mb_"), 0u);
}

TEST(FillIndividualPage, EscapesTheNameForEachLiteral) {
    struct Case {
        std::string name, inSingle, inDouble;
    };
    const std::vector<Case> cases = {
        {"clip7", "clip7", "clip7"},
        {"Bob's clip", "Bob\\'s clip", "Bob's clip"},
        {"a$b", "a$b", "a\\$b"},
        {"x\\y\"z'{$v}", "x\\\\y\"z\\'{$v}", "x\\\\y\\\"z'{\\$v}"},
    };
    for (const auto& c : cases) {
        std::string page = buildIndividualPageTemplate();
        fillFileNameLessExt(page, c.name);
        const auto lines = linesOf(page);
        EXPECT_EQ(lines[69], "$filename = '" + c.inSingle + ".txt';") << c.name;
        EXPECT_EQ(countOf(page, "\"" + c.inDouble + "_comments.txt\""), 3u) << c.name;
        EXPECT_EQ(countOf(page, markers::FileNameLessExtToken), 0u) << c.name;
    }
}

TEST(FillIndividualPage, NameHoldingTheTokenIsInsertedOnce) {
    std::string page = buildIndividualPageTemplate();
    fillFileNameLessExt(page, markers::FileNameLessExtToken);
    EXPECT_EQ(page, buildIndividualPageTemplate());
}

TEST(FillIndividualPage, FillsAllThreeTokens) {
    std::string page = buildIndividualPageTemplate();
    fillIndividualPage(page, "clip7.mp4", "clip7", "A <i>long</i> description");
    const auto lines = linesOf(page);
    EXPECT_NE(lines[46].find("<source src=\"clip7.mp4\" type=\"video/mp4\" />"), std::string::npos);
    EXPECT_EQ(lines[48], "<div class=\"desc\">A <i>long</i> description</div>");
    EXPECT_EQ(lines[69], "$filename = 'clip7.txt';");
    EXPECT_EQ(page.find("p4y"), std::string::npos);
}

// ---- Rename page ----

TEST(RenamePage, TwentyTwoLinesWithNamesInPlace) {
    const std::string page = buildRenamePage("old.mp4", "new.mp4");
    const auto lines = linesOf(page);
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[0], "<?php");
    EXPECT_EQ(lines[2], "$old_name = \"old.mp4\" ;");
    EXPECT_EQ(lines[4], "$new_name = \"new.mp4\" ;");
    EXPECT_EQ(lines[6], "if(file_exists($new_name))");
    EXPECT_EQ(lines[8], "   echo \"A File With The Same Name Already Exists\" ;");
    EXPECT_EQ(lines[12], "   if(rename( $old_name, $new_name))");
    EXPECT_EQ(lines[18], "        echo \"Error While Renaming \" . htmlspecialchars($old_name) ;");
    EXPECT_EQ(lines[21], "?>");
}

TEST(RenamePage, NamesAreEscapedForDoubleQuotesAndKeepTheirBlanks) {
    const auto lines = linesOf(buildRenamePage(" my \"big\" $file\\1.mp4 ", ""));
    EXPECT_EQ(lines[2], "$old_name = \" my \\\"big\\\" \\$file\\\\1.mp4 \" ;");
    EXPECT_EQ(lines[4], "$new_name = \"\" ;");
}

} // namespace
} // namespace clipnest
