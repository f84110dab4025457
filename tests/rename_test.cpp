#include "pages/rename_page.h"
#include "support/test_support.h"

#include <cstdlib>

namespace clipnest::testing {
namespace {

const std::string Page = "change_file_name.php";

void rename(Harness& h, const std::string& oldName, const std::string& newName) {
    h.form().controls.Text18 = oldName;
    h.form().controls.Text24 = newName;
    h.form().Command10();
}

bool phpAvailable() {
    return std::system("command -v php > /dev/null 2>&1") == 0;
}

TEST(RenameTest, PlainAndEmptyNames) {
    Harness h;
    rename(h, "old.mp4", "new.mp4");
    const std::string file = h.file(Page);
    EXPECT_EQ(file, buildRenamePage("old.mp4", "new.mp4") + "\r\n");
    ASSERT_TRUE(file.ends_with("\n?>\r\n"));
    const auto lines = splitLines(file.substr(0, file.size() - 2));
    ASSERT_EQ(lines.size(), 22u);
    EXPECT_EQ(lines[0], "<?php");
    EXPECT_EQ(lines[2], "$old_name = \"old.mp4\" ;");
    EXPECT_EQ(lines[4], "$new_name = \"new.mp4\" ;");
    EXPECT_EQ(lines[21], "?>");
    EXPECT_EQ(h.form().controls.Text18, "old.mp4");
    EXPECT_EQ(h.form().controls.Text24, "new.mp4");
    EXPECT_FALSE(h.form().chainRunning());

    // A second press replaces the page; empty boxes still give a page.
    rename(h, "", "");
    EXPECT_EQ(h.file(Page), buildRenamePage("", "") + "\r\n");
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"\" ;");
}

TEST(RenameTest, NamesAreEncodedOrRefused) {
    Harness h;
    rename(h, "caf\xc3\xa9.mp4", "b.mp4");
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");

    // A character the code page lacks: the page is not written and the failure panel says so.
    rename(h, "snow\xe2\x98\x83.mp4", "b.mp4");
    EXPECT_TRUE(h.form().isVisible(Panel::FileFailure));
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");
}

TEST(RenameTest, AwkwardNamesAreValidPhpAndRenameExactly) {
    if (!phpAvailable()) {
        GTEST_SKIP() << "php is not installed";
    }
    Harness h;
    const std::string oldName = " a\"b$c\\d {$x} ";
    const std::string newName = " new $name\\\".mp4 ";
    rename(h, oldName, newName);
    const std::string dir = h.dir().string();
    EXPECT_EQ(std::system(("php -l '" + dir + "/" + Page + "' > /dev/null 2>&1").c_str()), 0);

    // Run on a server, the page renames exactly the typed file.
    h.put(oldName, "video");
    EXPECT_EQ(std::system(("cd '" + dir + "' && php " + Page + " > out.txt 2>&1").c_str()), 0);
    EXPECT_TRUE(h.has(newName)) << h.file("out.txt");
    EXPECT_FALSE(h.has(oldName));
}

} // namespace
} // namespace clipnest::testing
