#include "pages/rename_page.h"
#include "support/test_support.h"

#include <cstdlib>

namespace clipnest::testing {
namespace {

const std::string Page = "change_file_name.php";

TEST(RenameTest, PlainEmptyAndCodePageNames) {
    Harness h;
    renamePage(h, "old.mp4", "new.mp4");
    const std::string file = h.file(Page);
    EXPECT_EQ(file, buildRenamePage("old.mp4", "new.mp4") + "\r\n");
    const auto lines = splitLines(file);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[0], "<?php");
    EXPECT_EQ(lines[2], "$old_name = \"old.mp4\" ;");
    EXPECT_EQ(lines[4], "$new_name = \"new.mp4\" ;");
    EXPECT_EQ(lines[21], "?>\r");

    // A second press replaces the page; empty boxes still give a page.
    renamePage(h, "", "");
    EXPECT_EQ(h.file(Page), buildRenamePage("", "") + "\r\n");
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"\" ;");

    // Names are written in the code page; a character it lacks leaves the page unwritten and says so.
    renamePage(h, "caf\xc3\xa9.mp4", "b.mp4");
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");

    renamePage(h, "snow\xe2\x98\x83.mp4", "b.mp4");
    EXPECT_TRUE(h.form().isVisible(Panel::FileFailure));
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");
}

TEST(RenameTest, AwkwardNamesAreValidPhpAndRenameExactly) {
    if (std::system("command -v php > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "php is not installed";
    }
    Harness h;
    const std::string oldName = " a\"b$c\\d {$x} ";
    const std::string newName = " new $name\\\".mp4 ";
    renamePage(h, oldName, newName);
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
