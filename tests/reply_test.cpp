// The host's replies from the desktop, posted to a stand-in video page under PHP's own server: the page checks the
// signature as the published pages do and answers "stored" or "refused".
#include "comments/moderation.h"
#include "comments/reply.h"
#include "support/support.h"

#include <chrono>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

// A video page's handling of a host's reply: its thread is the page's own name's, the signature hash_hmac over
// "reply FILE\nTIME\nTEXT" under the channel's secret, the time within ten minutes; a stored reply goes at the end of
// the thread's file as the page stores it.
std::string standInPage(const std::string& secret) {
    return R"php(<?php
$secret = ')php" +
           secret + R"php(';
$file = basename(__FILE__, '.php') . '_comments.txt';
$text = $_POST['reply'] ?? '';
$rt = $_POST['rt'] ?? '';
$rs = $_POST['rs'] ?? '';
if (!preg_match('/^[0-9]+$/', $rt) || abs(time() - (int)$rt) > 600
    || !hash_equals(hash_hmac('sha256', "reply $file\n$rt\n$text", $secret), $rs)) {
    http_response_code(403);
    echo 'refused';
    exit;
}
file_put_contents(__DIR__ . '/' . $file, $text . "\n" . date('Y-m-d H:i:s') . "\r\nhost s=" . substr($rs, 0, 16) . "\n",
                  FILE_APPEND);
echo 'stored';
)php";
}

std::int64_t now() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A channel whose address (site) is PHP's own server on a free port, serving the stand-in pages of its videos.
class Replies : public ::testing::Test {
protected:
    void SetUp() override {
        NEEDS(onPath("php"), "php for a stand-in video page");
        fs::create_directories(root());
        server_ = std::make_unique<Process>(
            std::vector<std::string>{"php", "-n", "-S", "127.0.0.1:" + std::to_string(port_), "-t", root()},
            site_.path() / "php.log");
        ASSERT_TRUE(answersSoon(port_));
        h.entry("red roses.mp4", "Roses");
        h.entry("a.mp4", "A");
    }
    std::string site() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    std::string root() const { return (site_.path() / "www").string(); }
    void page(const std::string& name, const std::string& secret = TestSecret) {
        writeFile(fs::path(root()) / name, standInPage(secret));
    }
    std::string stored(const std::string& name) const {
        return fs::exists(fs::path(root()) / name) ? readFile(fs::path(root()) / name) : "";
    }
    void useSite(const std::string& site) { h.put(".clipnest/publish.conf", "site = " + site + "\n"); }
    // The program run on the channel; its output and errors in one.
    std::string clipnest(const std::string& args, int& status) {
        return shell("cd " + quoted(h.dir()) + " && " CLIPNEST_PROGRAM " " + args, &status);
    }

    Harness h;

private:
    TempDir site_;
    int port_ = freePort();
    std::unique_ptr<Process> server_;
};

TEST_F(Replies, ASignedReplyIsStoredAndATamperedOneRefused) {
    page("red roses.php");
    useSite(site());
    // The page's name and thread hold a space: the address encodes it, the signature names the file as it is.
    publish::ReplyOutcome outcome = publish::postReply(h.dir(), "red roses.mp4", "Thank you!\r\nMore soon");
    EXPECT_TRUE(outcome.stored) << outcome.said;
    EXPECT_EQ(outcome.said, "The reply is on red roses.php; fetch the comments to see it listed.");
    const std::vector<publish::StoredComment> thread = publish::parseComments(stored("red roses_comments.txt"));
    ASSERT_EQ(thread.size(), 1u) << stored("red roses_comments.txt");
    EXPECT_EQ(thread[0].text, "Thank you!\nMore soon") << "line breaks go as LF";
    EXPECT_TRUE(thread[0].host);

    // What the page refuses: other words under the signature, another channel's secret, a reply signed an hour ago.
    const std::string url = site() + "red%20roses.php";
    publish::FormFields fields = publish::replyForm(TestSecret, "red roses_comments.txt", now(), "Fine words");
    EXPECT_EQ(publish::postForm(url, fields).body, "stored") << "the form as made";
    fields[0].second = "Buy now";
    publish::HttpAnswer answer = publish::postForm(url, fields);
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(answer.body, "refused");
    answer = publish::postForm(url, publish::replyForm(std::string(64, 'd'), "red roses_comments.txt", now(), "Hi"));
    EXPECT_EQ(answer.status, 403);
    answer = publish::postForm(site() + "a.php", publish::replyForm(TestSecret, "red roses_comments.txt", now(), "Hi"));
    EXPECT_EQ(answer.status, 404) << "no page a.php yet";
    page("a.php");
    answer = publish::postForm(site() + "a.php", publish::replyForm(TestSecret, "red roses_comments.txt", now(), "Hi"));
    EXPECT_EQ(answer.status, 403) << "signed for another thread";
    outcome = publish::postReply(h.dir(), "red roses.mp4", "Late", now() - 3600);
    EXPECT_FALSE(outcome.stored);
    EXPECT_TRUE(outcome.said.starts_with("The page red roses.php refused the reply (HTTP 403)")) << outcome.said;
    EXPECT_EQ(publish::parseComments(stored("red roses_comments.txt")).size(), 2u) << "nothing refused was stored";

    // A page that is not there, one published before the pages took replies, a server that does not answer: said,
    // never taken for stored.
    h.entry("lilies.mp4", "Lilies");
    outcome = publish::postReply(h.dir(), "lilies.mp4", "Hi");
    EXPECT_FALSE(outcome.stored);
    EXPECT_EQ(outcome.said, "The page lilies.php did not store the reply (HTTP 404).");
    writeFile(fs::path(root()) / "lilies.php", "<?php echo '<html><p>Lilies, stored in spring</p></html>';\n");
    outcome = publish::postReply(h.dir(), "lilies.mp4", "Hi");
    EXPECT_FALSE(outcome.stored);
    EXPECT_EQ(outcome.said,
              "The page lilies.php did not store the reply (HTTP 200): publish the channel so its pages take replies.");
    writeFile(fs::path(root()) / "lilies.php", "<?php echo \"stored\\r\\n\";\n");
    EXPECT_TRUE(publish::postReply(h.dir(), "lilies.mp4", "Hi").stored) << "the word, with a line break after it";
    useSite("http://127.0.0.1:" + std::to_string(freePort()) + "/");
    outcome = publish::postReply(h.dir(), "red roses.mp4", "Hi");
    EXPECT_FALSE(outcome.stored);
    EXPECT_TRUE(outcome.said.starts_with("The reply did not reach red roses.php: ")) << outcome.said;
}

// `clipnest reply` answers a comment of the last fetch, starting with @NAME when the comment gave one; without the
// channel's address it says where replies go; the reply's thread shows under the channel's title from the next publish.
TEST_F(Replies, TheProgramRepliesToAFetchedCommentByItsNumber) {
    page("a.php");
    h.title("Garden", "Welcome");
    fs::create_directories(h.dir() / ".clipnest/comments");
    h.put(".clipnest/comments/a_comments.txt", "Nice\n2026-12-01 08:00:00\r\nn=0123456789abcdef a=Bob\n"
                                               "Hello\n2026-12-01 09:00:00\r\nn=0123456789abcdef\n");
    int status = -1;
    std::string out = clipnest("reply a.mp4 1 Thanks", status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "Replies go to the live page: set the channel's address (site) first.\n");
    EXPECT_EQ(stored("a_comments.txt"), "");

    useSite(site());
    out = clipnest("reply a.mp4 1 'Thanks!'", status);
    EXPECT_EQ(status, 0) << out;
    out = clipnest("reply a.mp4 2 'Welcome'", status);
    EXPECT_EQ(status, 0) << out;
    const std::vector<publish::StoredComment> thread = publish::parseComments(stored("a_comments.txt"));
    ASSERT_EQ(thread.size(), 2u) << stored("a_comments.txt");
    EXPECT_EQ(thread[0].text, "@Bob Thanks!");
    EXPECT_EQ(thread[1].text, "Welcome") << "no name, no @";
    EXPECT_EQ(h.file("comment_moderation.txt"), "site " + site() + "\nhost Garden\n");

    out = clipnest("reply a.mp4 9 'Hi'", status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("a.mp4 has no comment 9 among those last fetched"), npos) << out;
    out = clipnest("reply a.mp4 1 '  '", status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "A reply needs some text.\n");
    EXPECT_EQ(publish::parseComments(stored("a_comments.txt")).size(), 2u);
}

// The whole way, with the page the channel itself wrote: `clipnest reply` posts to it, the page stores the reply as
// the host's under the channel's title, and the same signed post sent again is refused, as is a visitor's post that
// dresses up as the host.
TEST(RepliesToTheRealPage, TheChannelsOwnPageStoresTheHostsReplyOnce) {
    NEEDS(onPath("php"), "php to run the channel's own page");
    Harness h;
    h.title("Garden", "Welcome");
    h.entry("red roses.mp4", "Roses");
    const int port = freePort();
    const std::string site = "http://127.0.0.1:" + std::to_string(port) + "/";
    const TempDir logs;
    const Process server({"php", "-S", "127.0.0.1:" + std::to_string(port), "-t", h.dir().string()},
                         logs.path() / "php.log");
    ASSERT_TRUE(answersSoon(port));
    h.put(".clipnest/publish.conf", "site = " + site + "\n");
    fs::create_directories(h.dir() / ".clipnest/comments");
    h.put(".clipnest/comments/red roses_comments.txt", "Lovely\n2026-12-01 08:00:00\r\nn=0123456789abcdef a=Ann\n");
    int status = -1;
    const std::string out =
        shell("cd " + quoted(h.dir()) + " && " CLIPNEST_PROGRAM " reply 'red roses.mp4' 1 'Thank you!' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    const std::vector<publish::StoredComment> thread =
        publish::parseComments(readFile(h.dir() / "red roses_comments.txt"));
    ASSERT_EQ(thread.size(), 1u);
    EXPECT_EQ(thread[0].text, "@Ann Thank you!");
    EXPECT_TRUE(thread[0].host);
    const std::string page = shell("curl -s " + quoted(site + "red%20roses.php"));
    EXPECT_NE(page.find("class=\"comment host\""), npos) << page;
    EXPECT_NE(page.find("Garden"), npos) << "shown under the channel's title";

    const std::string url = site + "red%20roses.php";
    const publish::FormFields fields = publish::replyForm(TestSecret, "red roses_comments.txt", now(), "Once");
    EXPECT_EQ(publish::postForm(url, fields).body, "stored");
    const publish::HttpAnswer again = publish::postForm(url, fields);
    EXPECT_EQ(again.status, 403) << "a replayed reply";
    EXPECT_EQ(publish::parseComments(readFile(h.dir() / "red roses_comments.txt")).size(), 2u);
}

} // namespace
} // namespace clipnest::testing
