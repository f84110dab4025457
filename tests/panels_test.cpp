#include "app/panels.h"

#include <string>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

constexpr Panel AllPanels[] = {Panel::Text8,  Panel::Text11, Panel::Text13, Panel::Text15,
                               Panel::Text17, Panel::Text28, Panel::Text29, Panel::FileFailure};

// True when every LF in the text is the second half of a CR LF and every CR is the first half of one.
bool onlyCrLfBreaks(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            return false;
        }
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) {
            return false;
        }
    }
    return true;
}

std::size_t crLfCount(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos + 2)) {
        ++n;
    }
    return n;
}

TEST(PanelText, Text8AndText13AreByteExact) {
    EXPECT_EQ(panelDesignText(Panel::Text8), "      \r\n"
                                             "      An entry for the entered file \r\n"
                                             "      name was not found on the \r\n"
                                             "      Homepage. (Click to close)\r\n");
    EXPECT_EQ(panelDesignText(Panel::Text13), " \r\n"
                                              "      A homepage.html file was not  \r\n"
                                              "      found in your local folder.  \r\n"
                                              "      Please place one there.\r\n"
                                              "      (Click to close)\r\n");
    EXPECT_EQ(panelDesignText(Panel::Text28), "  Please enter valid file names.");
    EXPECT_EQ(panelDesignText(Panel::FileFailure), "");
}

TEST(PanelText, LongBlankFirstLinesAndTails) {
    EXPECT_EQ(panelDesignText(Panel::Text11).substr(0, 65), std::string(63, ' ') + "\r\n");
    EXPECT_TRUE(panelDesignText(Panel::Text11).ends_with("   will be created.\r\n   \r\n"));
    EXPECT_EQ(panelDesignText(Panel::Text15).substr(0, 73), std::string(71, ' ') + "\r\n");
    EXPECT_TRUE(
        panelDesignText(Panel::Text15).ends_with("   you can place one in the folder now.\r\n   (Click to close)\r\n"));
    EXPECT_EQ(panelDesignText(Panel::Text29), std::string(71, ' ') +
                                                  "\r\n       There is already an entry with \r\n"
                                                  "       the entered file name on the \r\n       Homepage.\r\n");
    EXPECT_EQ(panelDesignText(Panel::Text17), " \r\n   A homepage.html file was not  \r\n"
                                              "   found in your local folder.  \r\n"
                                              "   Please place one there or one   \r\n"
                                              "   will be created by this App.\r\n   (Click to close)\r\n");
}

TEST(PanelText, LineCountsAndBreaks) {
    const std::pair<Panel, std::size_t> breaks[] = {{Panel::Text8, 4},  {Panel::Text11, 8}, {Panel::Text13, 5},
                                                    {Panel::Text15, 7}, {Panel::Text17, 6}, {Panel::Text28, 0},
                                                    {Panel::Text29, 4}};
    for (const auto& [panel, count] : breaks) {
        const std::string text = panelDesignText(panel);
        EXPECT_EQ(crLfCount(text), count) << panelName(panel);
        EXPECT_TRUE(onlyCrLfBreaks(text)) << panelName(panel);
    }
}

TEST(PanelText, FailureTextsNameTheFile) {
    const std::string written = writeFailureText("clip7.php");
    const std::string read = readFailureText("homepage.html");
    EXPECT_EQ(written, "\r\n   Clipnest could not write clip7.php.\r\n   The file on disk was left as it was.\r\n"
                       "   (Click to close)\r\n");
    EXPECT_NE(read.find("could not read homepage.html."), std::string::npos);
    EXPECT_TRUE(onlyCrLfBreaks(read));
    EXPECT_TRUE(read.ends_with("(Click to close)\r\n"));
}

TEST(Panels, StartHiddenWithTheirDesignText) {
    Panels panels;
    for (const Panel p : AllPanels) {
        EXPECT_FALSE(panels.isVisible(p)) << panelName(p);
        EXPECT_EQ(panels[p].text, panelDesignText(p)) << panelName(p);
    }
    EXPECT_STREQ(panelName(Panel::FileFailure), "txtFileFailure");
    panels.show(Panel::Text29);
    EXPECT_TRUE(panels.isVisible(Panel::Text29));
    EXPECT_FALSE(panels.isVisible(Panel::Text28));
    panels.hide(Panel::Text29);
    EXPECT_FALSE(panels.isVisible(Panel::Text29));
}

} // namespace
} // namespace clipnest
