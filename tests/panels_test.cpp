#include "shell/panels.h"

#include <string>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

// True when every line break in the text is a CR LF.
bool onlyCrLfBreaks(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 2);
    }
    return text.find_first_of("\r\n") == std::string::npos;
}

TEST(PanelText, ByteExactWithCrLfBreaks) {
    EXPECT_EQ(panelDesignText(Panel::EntryNotFound), "      \r\n"
                                                     "      An entry for the entered file \r\n"
                                                     "      name was not found on the \r\n"
                                                     "      Homepage. (Click to close)\r\n");
    EXPECT_EQ(panelDesignText(Panel::EntryExists), std::string(71, ' ') +
                                                       "\r\n       There is already an entry with \r\n"
                                                       "       the entered file name on the \r\n       Homepage.\r\n");
    EXPECT_EQ(panelDesignText(Panel::PageNotFound).substr(0, 65), std::string(63, ' ') + "\r\n");
    EXPECT_TRUE(panelDesignText(Panel::PageNotFound).ends_with("   will be created.\r\n   \r\n"));
    EXPECT_EQ(panelDesignText(Panel::InvalidNames), "  Please enter valid file names.");
    EXPECT_EQ(panelDesignText(Panel::FileFailure), "");
    EXPECT_EQ(writeFailureText("clip7.php"), "\r\n   Clipnest could not write clip7.php.\r\n"
                                             "   The file on disk was left as it was.\r\n   (Click to close)\r\n");
    const std::string read = readFailureText("homepage.html");
    EXPECT_NE(read.find("could not read homepage.html."), std::string::npos);
    EXPECT_TRUE(read.ends_with("(Click to close)\r\n"));
    EXPECT_TRUE(onlyCrLfBreaks(read));
    for (const Panel p : {Panel::EntryNotFound, Panel::PageNotFound, Panel::NoHomepage, Panel::HomepageWillBeCreated,
                          Panel::HomepageNotFound, Panel::EntryExists}) {
        EXPECT_TRUE(onlyCrLfBreaks(panelDesignText(p))) << panelName(p);
        EXPECT_TRUE(panelDesignText(p).ends_with("\r\n")) << panelName(p);
    }
}

TEST(Panels, StartHiddenWithTheirDesignTextAndShowOneAtATime) {
    Panels panels;
    for (const Panel p : {Panel::EntryNotFound, Panel::PageNotFound, Panel::NoHomepage, Panel::HomepageWillBeCreated,
                          Panel::HomepageNotFound, Panel::InvalidNames, Panel::EntryExists, Panel::FileFailure}) {
        EXPECT_FALSE(panels.isVisible(p)) << panelName(p);
        EXPECT_EQ(panels[p].text, panelDesignText(p)) << panelName(p);
    }
    panels.show(Panel::EntryExists);
    EXPECT_TRUE(panels.isVisible(Panel::EntryExists));
    EXPECT_FALSE(panels.isVisible(Panel::InvalidNames));
    panels.hide(Panel::EntryExists);
    EXPECT_FALSE(panels.isVisible(Panel::EntryExists));
}

} // namespace
} // namespace clipnest
