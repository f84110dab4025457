#include "support/test_support.h"

#include <cstdlib>

namespace clipnest::testing {
namespace {

const std::string Page = "change_file_name.php";

TEST(RenameTest, NamesGoIntoThePageInTheCodePage) {
    Harness h;
    renamePage(h, "old.mp4", "new.mp4");
    const auto lines = splitLines(h.file(Page));
    EXPECT_EQ(lines[0], "<?php");
    EXPECT_EQ(lines[2], "$old_name = \"old.mp4\" ;");
    EXPECT_EQ(lines[4], "$new_name = \"new.mp4\" ;");
    EXPECT_EQ(lines[lines.size() - 2], "?>\r");

    // A second press replaces the page; names are written in the code page.
    renamePage(h, "caf\xc3\xa9.mp4", "b.mp4");
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");

    // A character the code page lacks leaves the page unwritten and says so.
    renamePage(h, "snow\xe2\x98\x83.mp4", "b.mp4");
    EXPECT_TRUE(h.form().isVisible(Panel::FileFailure));
    EXPECT_EQ(splitLines(h.file(Page))[2], "$old_name = \"caf\xe9.mp4\" ;");
}

// The page runs on a public server: a name that could reach outside its folder, or that no entry could have, is
// refused with the invalid-name message and the page on disk stays as it was.
TEST(RenameTest, NamesThatCouldLeaveTheFolderAreRefused) {
    Harness h;
    renamePage(h, "old.mp4", "new.mp4");
    const std::string page = h.file(Page);
    const std::pair<std::string, std::string> refused[] = {
        {"../../index.php", "../evil.php"},
        {"old.mp4", "../new.mp4"},
        {"a/b.mp4", "b.mp4"},
        {"a\\b.mp4", "b.mp4"},
        {"", "new.mp4"},
        {"old.mp4", ""},
        {std::string("a\0b.mp4", 7), "b.mp4"},
        {"a..b.mp4", "b.mp4"},
        {"noperiod", "b.mp4"},
        {".htaccess", "b.mp4"},
    };
    for (const auto& [from, to] : refused) {
        SCOPED_TRACE(from + " -> " + to);
        renamePage(h, from, to);
        h.advance(30);
        EXPECT_TRUE(h.form().isVisible(Panel::InvalidName));
        EXPECT_EQ(h.file(Page), page);
        h.runUntilIdle();
    }
}

TEST(RenameTest, AwkwardNamesAreValidPhpAndRenameExactlyOnce) {
    if (std::system("command -v php > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "php is not installed";
    }
    Harness h;
    const std::string oldName = " a'b$c {$x} .mp4";
    const std::string newName = " new $name'.mp4 ";
    renamePage(h, oldName, newName);
    const std::string dir = h.dir().string();
    EXPECT_EQ(std::system(("php -l '" + dir + "/" + Page + "' > /dev/null 2>&1").c_str()), 0);

    // Run on a server, the page renames exactly the typed file, and then deletes itself.
    h.put(oldName, "video");
    EXPECT_EQ(std::system(("cd '" + dir + "' && php " + Page + " > out.txt 2>&1").c_str()), 0);
    EXPECT_TRUE(h.has(newName)) << h.file("out.txt");
    EXPECT_FALSE(h.has(oldName));
    EXPECT_FALSE(h.has(Page));
}

} // namespace
} // namespace clipnest::testing
