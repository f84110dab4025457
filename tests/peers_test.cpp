// The pages on their real peers: Apache with PHP as a module (as hosts run it) and PHP's built-in server run the video
// pages and the rename page, headless Chromium builds the homepage a visitor sees, and the preview serves the folder as
// the host's server would. The rules inside the pages are PHPUnit's (tests/php).
#include "comments/moderation.h"
#include "media/convert.h"
#include "platform/preview_server.h"
#include "publish/plan.h"
#include "support/support.h"
#include "text/document.h"
#include "text/moved_page.h"
#include "text/page_text.h"
#include "text/templates.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <ctime>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
constexpr auto npos = std::string::npos;
using namespace std::string_literals;

struct Response {
    int status = 0;
    std::string body;
};
Response curl(const std::string& args) {
    const std::string out = shell("curl -s --path-as-is --max-time 10 -w '\\n%{http_code}' " + args);
    const std::size_t last = out.rfind('\n');
    return {std::atoi(out.c_str() + last + 1), out.substr(0, last)};
}

// The comment form's token of a page served `secondsAgo`, signed with the test channels' secret as the page signs
// it: the time, a nonce of its own, their signature.
std::string formToken(long secondsAgo, const std::string& secret = TestSecret) {
    const std::string time = std::to_string(std::time(nullptr) - secondsAgo);
    return time + "-" +
           shell("php -n -r " + quoted("$n = bin2hex(random_bytes(8)); echo $n . '-' . hash_hmac('sha256', 'comment " +
                                       time + " ' . $n, '" + secret + "');"));
}

// PHP's built-in web server for `root` on a free loopback port; every diagnostic goes to its log, none into the pages.
class PhpServer {
public:
    explicit PhpServer(const fs::path& root)
        : root_(root), server_({"php", "-n", "-d", "error_reporting=-1", "-d", "display_errors=0", "-d", "log_errors=1",
                                "-S", "127.0.0.1:" + std::to_string(port_), "-t", root},
                               log_) {}

    bool running() const { return answersSoon(port_); }
    const std::string& url() const { return url_; }
    Response get(const std::string& path) const { return curl(quoted(url_ + path)); }
    // Posts `bytes` as a person would, with a token of a page loaded 10 seconds ago and no post counted against the
    // address yet: as the form's text field (percent-encoded by curl), or without `asText` as the rest of the form.
    Response post(const std::string& path, std::string_view bytes, bool asText = true) const {
        fs::remove(root_ / "comment_rate_limits.txt");
        return send(path, bytes, "-d t=" + formToken(10), asText);
    }
    // Posts `bytes` as the whole form, curl's `extra` arguments added.
    Response send(const std::string& path, std::string_view bytes, const std::string& extra = "",
                  bool asText = true) const {
        writeFile(dir_.path() / "form", bytes);
        return curl("-L " + std::string(asText ? "--data-urlencode text@" : "--data-binary @") +
                    (dir_.path() / "form").string() + " " + extra + " " + quoted(url_ + path));
    }
    // The lines of its log that name a PHP diagnostic.
    Lines diagnostics() const {
        std::istringstream lines(readFile(log_));
        Lines found;
        for (std::string line; std::getline(lines, line);) {
            if (std::regex_search(line, std::regex("Warning|Notice|Deprecated|Fatal|Parse error"))) {
                found.push_back(line);
            }
        }
        return found;
    }
    // How many times a visitor asked for each path ("/roses.jpg"), from its log.
    std::map<std::string, int> asked() const {
        std::map<std::string, int> times;
        const std::regex request(R"(\]: (GET|HEAD) (/[^ ?\n]*))");
        const std::string log = readFile(log_);
        for (std::sregex_iterator it(log.begin(), log.end(), request), end; it != end; ++it) {
            ++times[(*it)[2].str()];
        }
        return times;
    }

    // Every request its log shows answered with an error status, as "404 GET /path".
    Lines failed() const {
        Lines found;
        const std::regex request(R"(\[([45]\d\d)\]: ([A-Z]+ [^ \n]*))");
        const std::string log = readFile(log_);
        for (std::sregex_iterator it(log.begin(), log.end(), request), end; it != end; ++it) {
            found.push_back((*it)[1].str() + " " + (*it)[2].str());
        }
        return found;
    }

private:
    fs::path root_;
    TempDir dir_;
    fs::path log_ = dir_.path() / "server.log";
    int port_ = freePort();
    std::string url_ = "http://127.0.0.1:" + std::to_string(port_) + "/";
    Process server_;
};

// The comments a served individual page shows, each as its text (still escaped, line breaks as they were posted)
// and a line break.
std::string shown(const Response& r) {
    if (!contains(r.body, "<div class=\"comments\">")) {
        return "<no comments>";
    }
    std::string out;
    const std::regex comment(
        R"(<p class="comment(?: host)?"><span class="name">[^<]*</span>([\s\S]*?)<span class="date">)"
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d</span></p>)");
    for (std::sregex_iterator it(r.body.begin(), r.body.end(), comment), end; it != end; ++it) {
        out += std::regex_replace((*it)[1].str(), std::regex("<br>"), "") + "\n";
    }
    return out;
}

// A person comments as on a host and through PHP's own server: loads the video page, waits a few seconds, posts
// with the page's own token; the comment is stored under the page's name and shown escaped, and the page says
// nothing of refusals. The box's rules one by one are PHPUnit's (tests/php).
TEST(Apache, APersonCommentsOnAVideoPageAsOnAHost) {
    NEEDS(onPath("php curl") && ApacheServer::installed(), "php, curl, apache2 and libapache2-mod-php");
    Harness onHost, onPhp;
    onHost.entry("Bob's $clip {1}.mp4", "About it");
    onPhp.entry("Bob's $clip {1}.mp4", "About it");
    ApacheServer apache(onHost.dir());
    PhpServer php(onPhp.dir());
    ASSERT_TRUE(apache.running()) << apache.log();
    ASSERT_TRUE(php.running());
    const std::string page = "Bob%27s%20%24clip%20%7B1%7D.php";
    const std::pair<Harness*, std::string> servers[] = {{&onHost, apache.url()}, {&onPhp, php.url()}};
    std::vector<std::string> tokens;
    for (const auto& [h, url] : servers) {
        const Response loaded = curl(quoted(url + page));
        EXPECT_EQ(loaded.status, 200) << url;
        EXPECT_FALSE(contains(loaded.body, TestSecret));
        std::smatch m;
        tokens.push_back(std::regex_search(loaded.body, m, std::regex("name=\"t\" value=\"([0-9a-f-]+)\"")) ? m[1].str()
                                                                                                            : "");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& [h, url] = servers[i];
        const std::string form = "--data-urlencode 'text=Lovely <b>roses</b>' -d website= -d t=" + tokens[i] + " ";
        // Answered by sending the visitor back to the page; the same post sent again is stored once.
        for (int time = 0; time < 2; ++time) {
            EXPECT_EQ(shell("curl -s -o /dev/null -w '%{http_code} %header{location}' " + form + quoted(url + page)),
                      "303 " + page + "#comments")
                << url;
        }
        const Response posted = curl("-L " + form + quoted(url + page));
        EXPECT_EQ(posted.status, 200) << url;
        EXPECT_FALSE(contains(posted.body, "class=\"notice\"")) << url << posted.body;
        EXPECT_EQ(shown(posted), "Lovely &lt;b&gt;roses&lt;/b&gt;\n") << url;
        EXPECT_TRUE(h->file("Bob's $clip {1}_comments.txt").starts_with("Lovely <b>roses</b>\n")) << url;
        EXPECT_EQ(shown(curl(quoted(url + page))), "Lovely &lt;b&gt;roses&lt;/b&gt;\n") << url;
    }
    EXPECT_FALSE(std::regex_search(apache.log(), std::regex("PHP (Warning|Notice|Deprecated|Fatal|Parse)")))
        << apache.log();
    EXPECT_EQ(php.diagnostics(), Lines{});
}

// On a host: a held thread tells the poster and shows the comment once the host approved it, the host's signed reply
// is stored once and shown under the channel's title, and a stored comment mails the host one note through the
// server's own mail().
TEST(Apache, HeldCommentsRepliesAndMailOnAHost) {
    NEEDS(onPath("php curl") && ApacheServer::installed(), "php, curl, apache2 and libapache2-mod-php");
    Harness h;
    h.entry("roses.mp4", "Roses");
    const TempDir mail;
    fs::permissions(mail.path(), fs::perms::all);
    const fs::path sendmail = mail.path() / "sendmail", sent = mail.path() / "sent";
    writeFile(sendmail, "#!/bin/sh\ncat >> " + quoted(sent) + "\n");
    fs::permissions(sendmail, fs::perms::all);
    const std::string rules = "hold *\nhost Garden & co\nnotify host@example.net\nsite https://videos.example/\n";
    h.put("comment_moderation.txt", rules);
    ApacheServer apache(h.dir(), "php_admin_value sendmail_path " + sendmail.string() + "\n");
    ASSERT_TRUE(apache.running()) << apache.log();
    const std::string page = quoted(apache.url() + "roses.php");
    std::smatch token;
    const std::string loaded = curl(page).body;
    ASSERT_TRUE(std::regex_search(loaded, token, std::regex("name=\"t\" value=\"([0-9a-f-]+)\""))) << loaded;
    std::this_thread::sleep_for(std::chrono::milliseconds(3100));

    const std::string form =
        "--data-urlencode 'text=Pretty <i>' --data-urlencode 'name=Ann <b>' -d website= -d t=" + token[1].str() + " ";
    const std::string answer = shell("curl -s -o /dev/null -w '%{http_code} %header{location}' " + form + page);
    EXPECT_TRUE(std::regex_match(answer, std::regex("303 roses\\.php\\?said=held&keep=&k=[0-9a-f]{32}#comments")))
        << answer;
    const Response told = curl("-L " + form + page);
    EXPECT_TRUE(contains(told.body, "Thank you; your comment will appear once the channel's host has read it."))
        << told.body;
    EXPECT_EQ(shown(told), "");
    const std::string stored = h.file("roses_comments.txt");
    EXPECT_TRUE(std::regex_match(stored, std::regex("Pretty <i>\\n[^\\r]*\\r\\nn=[0-9a-f]{16} h=1 t=[0-9a-f]{16} "
                                                    "a=Ann%20%3Cb%3E\\n")))
        << stored;
    const std::string hash = shell("php -n -r " + quoted("echo hash('sha256', file_get_contents('" +
                                                         (h.dir() / "roses_comments.txt").string() + "'));"));
    h.put("comment_moderation.txt", rules + "approve " + hash + "\n");
    const Response approved = curl(page);
    EXPECT_EQ(shown(approved), "Pretty &lt;i&gt;\n");
    EXPECT_TRUE(contains(approved.body, "<span class=\"name\">Ann &lt;b&gt;</span>"));

    const std::string rt = std::to_string(std::time(nullptr));
    const std::string rs = shell("php -n -r " + quoted("echo hash_hmac('sha256', \"reply roses_comments.txt\\n" + rt +
                                                       "\\nThanks\", '" + TestSecret + "');"));
    const std::string reply = "-d reply=Thanks -d rt=" + rt + " -d rs=" + rs + " " + page;
    const Response first = curl(reply), replayed = curl(reply);
    EXPECT_EQ(first.status, 200);
    EXPECT_EQ(first.body, "stored");
    EXPECT_EQ(replayed.status, 403);
    EXPECT_EQ(replayed.body, "refused");
    EXPECT_TRUE(
        contains(curl(page).body, "<p class=\"comment host\"><span class=\"name\">Garden &amp; co</span>Thanks"));

    const std::string mails = readFile(sent);
    EXPECT_EQ(std::count(mails.begin(), mails.end(), '@'), 1) << "one note, to the host only: " << mails;
    EXPECT_TRUE(contains(mails, "To: host@example.net")) << mails;
    EXPECT_TRUE(contains(mails, "https://videos.example/roses.php")) << mails;
    EXPECT_FALSE(contains(mails, "127.0.0.1") || contains(mails, "Ann")) << mails;
    EXPECT_FALSE(std::regex_search(apache.log(), std::regex("PHP (Warning|Notice|Deprecated|Fatal|Parse)")))
        << apache.log();
}

// The rename page on a host and through PHP's own server renames once and is gone: a later call cannot rename a
// fresh file of the old name.
TEST(Apache, TheRenamePageRenamesOnceAndIsGone) {
    NEEDS(onPath("php curl") && ApacheServer::installed(), "php, curl, apache2 and libapache2-mod-php");
    const std::string oldName = "my $clip's.mp4", newName = "new & {$better}.mp4";
    Harness onHost, onPhp;
    ApacheServer apache(onHost.dir());
    PhpServer php(onPhp.dir());
    ASSERT_TRUE(apache.running()) << apache.log();
    ASSERT_TRUE(php.running());
    for (const auto& [h, url] : {std::pair{&onHost, apache.url()}, std::pair{&onPhp, php.url()}}) {
        h->rename(oldName, newName);
        h->put(oldName, "video");
        EXPECT_EQ(curl(quoted(url + "change_file_name.php")).body,
                  "Successfully Renamed my $clip&#039;s.mp4 to new &amp; {$better}.mp4")
            << url;
        EXPECT_EQ(h->file(newName), "video");
        EXPECT_FALSE(h->has(oldName));
        EXPECT_FALSE(h->has("change_file_name.php"));
        h->put(oldName, "fresh");
        EXPECT_EQ(curl(quoted(url + "change_file_name.php")).status, 404) << url;
        EXPECT_EQ(h->file(oldName), "fresh");
    }
    EXPECT_FALSE(std::regex_search(apache.log(), std::regex("PHP (Warning|Notice|Deprecated|Fatal|Parse)")))
        << apache.log();
    EXPECT_EQ(php.diagnostics(), Lines{});
}

// A host serves the homepage byte for byte, with no character set of its own over the page's code page, and the
// video pages as PHP's output, never their code.
TEST(Apache, TheHomepageAndTheVideoPagesAreServedAsAHostServesThem) {
    NEEDS(onPath("curl") && ApacheServer::installed(), "curl, apache2 and libapache2-mod-php");
    Harness h;
    h.title("Caf\xC3\xA9 garden", "Videos");
    h.entry("roses.mp4", "Roses");
    ApacheServer apache(h.dir());
    ASSERT_TRUE(apache.running()) << apache.log();
    const Response homepage = curl(quoted(apache.url() + "homepage.html"));
    EXPECT_EQ(homepage.status, 200);
    EXPECT_EQ(homepage.body, h.file("homepage.html"));
    EXPECT_EQ(shell("curl -s -o /dev/null -w '%{content_type}' " + quoted(apache.url() + "homepage.html")),
              "text/html");
    const Response page = curl(quoted(apache.url() + "roses.php"));
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(contains(page.body, "<form method=\"POST\">"));
    EXPECT_FALSE(contains(page.body, "<?php"));
}

// What visitors post and what moderation keeps is the server's own: the channel's .htaccess, as publish keeps it with
// the host's own lines around its block, refuses them on a host (and itself), and makes "/" the homepage; the preview
// refuses them alike. Other files are served as before.
TEST(Apache, TheCommentFilesAreNotServedAndSlashIsTheHomepage) {
    NEEDS(onPath("php curl") && ApacheServer::installed(), "php, curl, apache2 and libapache2-mod-php");
    Harness h;
    h.entry("roses.mp4", "Roses");
    h.put("roses_comments.txt", "Hidden words\n2026-12-01 10:00:00\r\n");
    h.put("comment_moderation.txt", "roses.mp4\thide\t1 Hidden\r\n");
    h.put("comment_rate_limits.txt", "192.0.2.0 Hidden\r\n");
    h.put("comment_mail_count.txt", "2026-12-01 1 Hidden\n");
    h.put("notes.txt", "public notes");
    h.put("roses.mp4", "video");
    // A publish's part and the old file it steps aside from, any hidden name, a comment file in another case.
    h.put(".roses.php.clipnest-part", h.file("roses.php"));
    ASSERT_TRUE(contains(h.file(".roses.php.clipnest-part"), TestSecret));
    for (const char* name :
         {".anything", "Roses_Comments.TXT", "X.mp4.CLIPNEST-OLD", "ROSES_COMMENTS.TXT", "Comment_Moderation.txt",
          "Comment_Rate_Limits.TXT", "COMMENT_RATE_LIMITS.TXT", "Comment_Mail_Count.TXT"}) {
        h.put(name, "Hidden");
    }
    const std::string own = "# the host's own\nAddType text/plain .log\n";
    h.put(".htaccess", own);
    publish::planPublish(h.dir(), {}, {});
    const std::string rules = h.file(".htaccess");
    EXPECT_TRUE(rules.starts_with(own + "# BEGIN Clipnest")) << rules;
    h.put(".htaccess", rules + "# after\n");
    const publish::Plan plan = publish::planPublish(h.dir(), {}, {});
    EXPECT_EQ(h.file(".htaccess"), rules + "# after\n") << "a block as this version writes it is left as it is";
    EXPECT_EQ(plan.files.front().name, ".htaccess") << "it goes up first, before any comment box";

    ApacheServer apache(h.dir());
    ASSERT_TRUE(apache.running()) << apache.log();
    PreviewServer preview;
    const Result<std::string> started = preview.start(h.dir(), templates::previewRouter());
    ASSERT_TRUE(started) << why(started);
    for (const std::string& base : {apache.url(), preview.address()}) {
        for (const char* name : {"roses_comments.txt", "comment_moderation.txt", "comment_rate_limits.txt", ".htaccess",
                                 "ROSES_COMMENTS.TXT", "Comment_Moderation.txt", "Comment_Rate_Limits.TXT",
                                 "comment_mail_count.txt", "Comment_Mail_Count.TXT"}) {
            const Response r = curl(quoted(base + name));
            EXPECT_TRUE(r.status == 403 || r.status == 404) << base << name << " " << r.status;
            EXPECT_FALSE(contains(r.body, "Hidden") || contains(r.body, "BEGIN")) << base << name;
        }
        const Response home = curl(quoted(base));
        EXPECT_EQ(home.status, 200) << base;
        EXPECT_EQ(home.body, h.file("homepage.html")) << base;
        EXPECT_EQ(curl(quoted(base + "notes.txt")).body, "public notes") << base;
        EXPECT_EQ(curl(quoted(base + "roses.php")).status, 200) << base;
    }
    for (const char* name :
         {".roses.php.clipnest-part", ".anything", "Roses_Comments.TXT", "X.mp4.CLIPNEST-OLD", "Comment_Moderation.txt",
          "COMMENT_RATE_LIMITS.TXT", "comment_mail_count.txt", "Comment_Mail_Count.TXT"}) {
        const Response r = curl(quoted(apache.url() + name));
        EXPECT_EQ(r.status, 403) << name;
        EXPECT_FALSE(contains(r.body, "Hidden") || contains(r.body, TestSecret)) << name;
    }
    EXPECT_EQ(curl(quoted(apache.url() + "roses.mp4")).body, "video");
}

// A renamed video's old page on a host sends a visit and a posted comment on to the new page for good, and stores
// nothing.
TEST(Apache, AMovedPageSendsVisitsAndCommentsOnToTheNewPage) {
    NEEDS(onPath("php curl") && ApacheServer::installed(), "php, curl, apache2 and libapache2-mod-php");
    Harness h;
    h.entry("roses.mp4", "Roses");
    h.put("old roses.php", buildMovedPage("red ros\xE9s.php"));
    const Files before = filesOf(h.dir());
    ApacheServer apache(h.dir());
    ASSERT_TRUE(apache.running()) << apache.log();
    const std::string answer =
        "-s -o /dev/null -w '%{http_code} %header{location}' " + quoted(apache.url() + "old%20roses.php");
    EXPECT_EQ(shell("curl " + answer), "301 red%20ros%C3%A9s.php");
    EXPECT_EQ(shell("curl --data-urlencode 'text=Lovely roses' -d website= -d t=" + formToken(10) + " " + answer),
              "301 red%20ros%C3%A9s.php");
    EXPECT_EQ(filesOf(h.dir()), before);
    EXPECT_FALSE(std::regex_search(apache.log(), std::regex("PHP (Warning|Notice|Deprecated|Fatal|Parse)")))
        << apache.log();
}

// Names the request accepts that hold, eight at a time, every code-page byte a name may have, before the period and
// after it, and the PHP syntax that could open a variable or an expression.
std::vector<std::string> awkwardNames() {
    std::vector<std::string> names = {"Bob's clip.mp4", "a$b.mp4", "{$x}.mp4", "${y}'.mp4", "it's $5 {now}.mov"};
    std::string chars;
    for (int b = 0x21; b <= 0xFF; ++b) {
        if (std::string_view("\x7F\x81\x8D\x8F\x90\x9D\\/:*?\"<>|#%.").find(static_cast<char>(b)) == npos) {
            chars += static_cast<char>(b);
        }
    }
    for (std::size_t at = 0; at < chars.size(); at += 8) {
        names.push_back("a " + chars.substr(at, 8) + "." + chars.substr(at, 8));
    }
    return names;
}

// Pages made from awkward names typed as UTF-8 and served by PHP: each page refuses a post when the comments stored
// under its name are full, else stores it there and shows them; the rename of its video takes the page and the
// comments along, here and (through the rename page, on a server folder of its own) there, under exactly the names.
TEST(PhpNames, EveryLiteralOfThePagesNamesTheFile) {
    NEEDS(onPath("php curl"), "php and curl");
    Harness h;
    PhpServer server(h.dir());
    const TempDir there;
    PhpServer remote(there.path());
    ASSERT_TRUE(server.running() && remote.running());
    const auto url = [](const std::string& name) {
        std::string path;
        for (const unsigned char c : name) {
            path += "%" + std::string(1, "0123456789ABCDEF"[c / 16]) + "0123456789ABCDEF"[c % 16];
        }
        return path;
    };
    const auto put = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(there.path() / name, std::ios::binary) << bytes;
    };
    for (const std::string& name : awkwardNames()) {
        SCOPED_TRACE(name);
        // Every file stands under the name's UTF-8, here and there; a name beyond ASCII has its entry once its video
        // is in the folder.
        const std::string disk = codePageToUtf8(name);
        const std::string lessExt(withoutExtension(disk));
        const std::string page = url(lessExt + ".php"), comments = lessExt + "_comments.txt";
        h.put(disk, "video");
        h.entry(disk, "About it");
        h.put(comments, std::string(29990, 'x'));
        EXPECT_TRUE(contains(server.post(page, "posted").body, "Sorry, comments for this entry are full."));
        h.put(comments, "stored before\n");
        EXPECT_EQ(shown(server.post(page, "posted")), "stored before\nposted\n");
        EXPECT_TRUE(h.file(comments).starts_with("stored before\nposted\n"));

        put(disk, "video");
        put(lessExt + ".php", "page");
        put(comments, "comments");
        h.rename(disk, "old-" + disk);
        EXPECT_FALSE(h.has(lessExt + ".php") || h.has(comments));
        EXPECT_EQ(shown(server.post(url("old-" + lessExt + ".php"), "again")), "stored before\nposted\nagain\n");
        std::filesystem::copy_file(h.dir() / "change_file_name.php", there.path() / "change_file_name.php");
        EXPECT_TRUE(remote.get("change_file_name.php").body.starts_with("Successfully Renamed"));
        const Files renamed = filesOf(there.path());
        EXPECT_EQ(renamed,
                  (Files{{"old-" + disk, "video"}, {lessExt + ".php", "page"}, {"old-" + comments, "comments"}}))
            << "the page goes up under its new name with the next publish";
        for (const auto& [file, bytes] : renamed) {
            std::filesystem::remove(there.path() / file);
        }
    }
    EXPECT_EQ(server.diagnostics(), Lines{});
    EXPECT_EQ(remote.diagnostics(), Lines{});
}

using Shown = std::array<std::string, 3>; // source, link, description

// The DOM Chromium builds for the file, serialised; empty when the browser fails.
// The DOM of an address instead, with Chromium's further `flags`.
std::string dumpDomOf(const std::string& address, const std::string& flags = "") {
    const TempDir profile;
    int rc = 0;
    const std::string dom =
        shell("(timeout 120 chromium --headless --no-sandbox --disable-gpu "
              "--disable-background-networking --no-first-run --disable-component-update "
              "--disable-sync --user-data-dir=" +
                  quoted(profile.path()) + " " + flags + " --dump-dom " + quoted(address) + " 2> /dev/null)",
              &rc);
    return rc == 0 ? dom : "";
}

std::string dumpDom(const std::string& file) {
    return dumpDomOf("file://" + file);
}

std::string between(const std::string& text, std::size_t from, std::string_view open, std::string_view close) {
    const std::size_t start = text.find(open, from);
    if (start == std::string::npos) {
        return "<missing>";
    }
    return text.substr(start + open.size(), text.find(close, start + open.size()) - start - open.size());
}

// Every gallery entry in the DOM, in document order, with its description as a reader sees it.
std::vector<Shown> galleryEntries(const std::string& dom) {
    std::vector<Shown> entries;
    const std::string open = "<div class=\"gallery\">";
    for (std::size_t at = dom.find(open); at != std::string::npos; at = dom.find(open, at + 1)) {
        entries.push_back({between(dom, at, "<source src=\"", "\""), between(dom, at, "<a href=\"", "\""),
                           shownText(between(dom, at, "<div class=\"desc\">", "</div>"))});
    }
    return entries;
}

// Typed text that looks like the page's own placeholders, wrappers or attribute quotes stays text: no later Step
// reads it back as a placeholder, and the browser builds no attribute or element from it.
// A person in a browser on a phone-wide screen: the homepage fits it and has its title; the video page loads (one
// A name that reads as a character reference: the browser asks for exactly the files the homepage's entry names
// (its page and its video), each of which the server has.
TEST(Browser, ANameThatReadsAsAReferenceReachesItsFiles) {
    NEEDS(onPath("php chromium"), "php and chromium");
    Harness h;
    h.put("b&amp;c.mp4", "the video");
    h.entry("b&amp;c.mp4", "Ampersand");
    h.put("probe.html", R"(<!DOCTYPE html><html><body>
<iframe id="home" src="homepage.html"></iframe><pre id="asked">nothing</pre>
<script>
document.getElementById('home').onload = async () => {
    const page = document.getElementById('home').contentDocument;
    const held = [...page.querySelectorAll('noscript.video')].map(n => n.textContent).join('');
    const sources = new DOMParser().parseFromString(held, 'text/html').querySelectorAll('source');
    const asked = [...page.querySelectorAll('div.gallery a'), ...page.querySelectorAll('source'), ...sources]
        .map(e => e.getAttribute('href') || e.getAttribute('src'));
    const answers = [];
    for (const name of asked) {
        answers.push(name + ' ' + (await fetch(name)).status);
    }
    document.getElementById('asked').textContent = answers.join(', ');
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "probe.html", "--virtual-time-budget=20000");
    EXPECT_NE(dom.find("<pre id=\"asked\">b&amp;amp;c.php 200, b&amp;amp;c.mp4 200</pre>"), npos) << dom;
}

// title, the same heading and description, a link home, nothing asked of another origin, nothing wider than the
// screen, the field for bots out of sight, a button a finger can hit), a comment is typed, a few seconds pass, Post
// Comment is pressed, and the comment is on the page that comes back.
TEST(Browser, APersonPostsACommentOnTheFirstTryOnAPhoneWideVideoPage) {
    NEEDS(onPath("php chromium"), "php and chromium");
    Harness h;
    h.entry("roses.mp4", "Pruning roses",
            "How and when to prune roses, a long description that has to wrap on a "
            "small screen: https://example.net/a-rather-long-address-without-breaks");
    h.entry("tulips.mp4", "Planting tulips");
    h.title("Garden", "A new clip every Sunday");
    h.put("wait.php", "<?php sleep(4); echo 'waited';");
    h.put("person.html", R"(<!DOCTYPE html><html><body>
<iframe id="page" src="roses.php" style="width: 390px; height: 844px; border: 0"></iframe>
<iframe id="home" src="homepage.html" style="width: 390px; height: 844px; border: 0"></iframe>
<pre id="seen">nothing</pre><pre id="layout">nothing</pre><pre id="gallery">nothing</pre>
<script>
const home = document.getElementById('home');
home.onload = () => {
    const page = home.contentDocument;
    document.getElementById('gallery').textContent =
        (page.documentElement.scrollWidth <= 390 ? 'fits' : 'too wide') + ' title ' + page.title;
};
const frame = document.getElementById('page');
let loads = 0;
frame.onload = () => {
    const page = frame.contentDocument;
    if (++loads === 1) {
        const trap = page.getElementById('comment-website').getBoundingClientRect();
        const elsewhere = frame.contentWindow.performance.getEntriesByType('resource')
            .filter(r => !r.name.startsWith(location.origin + '/')).length;
        document.getElementById('layout').textContent = 'width ' + page.documentElement.scrollWidth +
            ' trap ' + (trap.right <= 0 || trap.bottom <= 0 ? 'out of sight' : 'in sight') +
            ' titles ' + page.querySelectorAll('title').length + ' ' + page.title +
            ' heading ' + page.querySelector('h1').textContent +
            ' home ' + page.querySelectorAll('a[href="homepage.html"]').length + ' elsewhere ' + elsewhere +
            ' button ' + (page.querySelector('input[type=submit]').getBoundingClientRect().height >= 48 ? 'tall' : 'short') +
            ' description ' + page.querySelector('meta[name=description]').content;
        page.getElementById('comment-text').value = 'Lovely roses';
        const wait = new XMLHttpRequest();
        wait.open('GET', 'wait.php');
        wait.onload = () => page.querySelector('input[type=submit]').click();
        wait.send();
    } else {
        document.getElementById('seen').textContent = page.querySelector('.comments').innerText.trim() +
            ' | box: ' + page.getElementById('comment-text').value;
    }
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "person.html", "--virtual-time-budget=60000");
    EXPECT_NE(dom.find("<pre id=\"layout\">width 390 trap out of sight titles 1 Pruning roses heading Pruning roses "
                       "home 1 elsewhere 0 button tall description Pruning roses</pre>"),
              npos)
        << dom;
    EXPECT_TRUE(std::regex_search(dom, std::regex("<pre id=\"seen\">Anonymous\\s*Lovely roses\\s*\\d{4}-\\d\\d-\\d\\d "
                                                  "\\d\\d:\\d\\d:\\d\\d \\| box: </pre>")))
        << dom;
    EXPECT_NE(dom.find("<pre id=\"gallery\">fits title Garden</pre>"), npos)
        << "the homepage fits a phone and names itself in the browser: " << dom;
    EXPECT_TRUE(h.file("roses_comments.txt").starts_with("Lovely roses\n"));
    EXPECT_EQ(server.diagnostics(), Lines{});
}

// A visit of a homepage of twelve entries on a phone-wide screen: each poster is a picture the browser loads as it
// comes into view (headless Chromium loads them all at once), asked for once, and no video is asked for or laid out
// before one is played; nothing is wider than the screen, however long the words of the title and message. A click
// on a poster plays its video in its place, out of the link, and the page stays.
TEST(Browser, APhoneWideVisitShowsLazyPostersAndPlaysAVideoWhereItIs) {
    NEEDS(onPath("php chromium ffmpeg"), "php, chromium and ffmpeg");
    Harness h;
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error -f lavfi -i color=c=red:s=640x360 -frames:v 1 -f mjpeg " +
              quoted(h.dir() / "poster.jpg") +
              " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10:duration=2 -c:v libx264 "
              "-pix_fmt yuv420p -movflags +faststart " +
              quoted(h.dir() / "played.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    const std::string poster = h.file("poster.jpg"), played = h.file("played.mp4");
    for (int i = 1; i <= 12; ++i) {
        const std::string name = "clip" + std::to_string(i);
        h.put(name + ".jpg", poster);
        h.put(name + ".mp4", i == 12 ? played : "not fetched");
        h.entry(name + ".mp4", "Video number " + std::to_string(i));
    }
    h.title("Averyveryverylongchanneltitlewithoutanyspacesatallfromtheveryfirstlettertothelast",
            "Andalongmessagetoo,https://example.net/a-rather-long-address-without-any-breaks-in-it-at-all");
    h.put("phone.html", R"(<!DOCTYPE html><html><body style="margin: 0">
<iframe id="home" src="homepage.html" style="width: 390px; height: 844px; border: 0"></iframe>
<pre id="seen">nothing</pre>
<script>
const home = document.getElementById('home'), seen = document.getElementById('seen');
const asked = (end) => home.contentWindow.performance.getEntriesByType('resource')
    .filter(r => r.name.endsWith(end)).map(r => r.name.replace(/.*\//, '')).sort().join(' ');
const later = (ms) => new Promise(done => setTimeout(done, ms));
home.onload = async () => {
    await later(2000);
    const page = home.contentDocument;
    const wide = [...page.querySelectorAll('body *')].filter(e => e.getBoundingClientRect().right > 390.5).length;
    seen.textContent = (page.documentElement.scrollWidth <= 390 ? 'fits' : 'too wide') + ' wider ' + wide +
        ' posters ' + [...page.querySelectorAll('.gallery span.clip img[loading="lazy"]')]
            .filter((img, i) => img.getAttribute('src') === 'clip' + (i + 1) + '.jpg').length +
        ' videos ' + page.querySelectorAll('video').length + ' mp4 ' + asked('.mp4');
    page.querySelectorAll('.gallery span.clip')[11].click();
    await later(500);
    const video = page.querySelector('video');
    // Playback begins once the clip has come and been decoded, which on a busy machine takes its time.
    if (video && video.paused) {
        await Promise.race([new Promise(done => video.addEventListener('playing', done)), later(15000)]);
    }
    seen.textContent += ' | played ' + video.currentSrc.replace(/.*\//, '') + ' paused ' + video.paused +
        ' in a link ' + !!video.closest('a') + ' posters ' + page.querySelectorAll('span.clip').length +
        ' page ' + home.contentWindow.location.pathname;
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "phone.html",
                                      "--virtual-time-budget=20000 --autoplay-policy=no-user-gesture-required");
    EXPECT_NE(
        dom.find("<pre id=\"seen\">fits wider 0 posters 12 videos 0 mp4  | played clip12.mp4 paused false in a link "
                 "false posters 11 page /homepage.html</pre>"),
        npos)
        << dom;
    std::map<std::string, int> posters, videos;
    for (const auto& [path, times] : server.asked()) {
        (path.ends_with(".jpg") ? posters : videos)[path] = times;
    }
    for (const auto& [path, times] : posters) {
        EXPECT_EQ(times, 1) << path;
    }
    EXPECT_EQ(videos.count("/clip1.mp4"), 0u) << "only the video played is asked for";
}

// A phone's HEVC .mov and a camera's MPEG-2 .mpg, once converted, are videos Chromium decodes: it reads their frames
// (readyState at least HAVE_CURRENT_DATA) at their size, the portrait one standing upright.
TEST(Browser, ConvertedClipsPlayInChromium) {
    NEEDS(onPath("php chromium ffmpeg ffprobe"), "php, chromium and ffmpeg");
    const TempDir dir;
    int rc = 0;
    shell("cd " + quoted(dir.path()) +
              " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=10 -f lavfi -i sine -t 2 -c:v "
              "libx265 -x265-params log-level=error -pix_fmt yuv420p -c:a aac -shortest flat.mov"
              " && ffmpeg -nostdin -loglevel error -i flat.mov -c copy -metadata:s:v:0 rotate=90 phone.mov"
              " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine -t 2 -c:v "
              "mpeg2video -c:a mp2 -shortest camera.mpg",
          &rc);
    ASSERT_EQ(rc, 0);
    WorkingFolder folder(dir.path());
    for (const auto& [video, made] : {std::pair{"phone.mov", "phone.mp4"}, std::pair{"camera.mpg", "camera.mp4"}}) {
        const media::Conversion c = media::convertVideo(folder, video, {});
        ASSERT_EQ(c.result, media::Conversion::Result::Made) << video << ": " << c.message;
        ASSERT_TRUE(folder.replace(c.made, made));
    }
    writeFile(dir.path() / "play.html", R"(<!DOCTYPE html><html><body>
<video id="phone" src="phone.mp4" muted preload="auto"></video>
<video id="camera" src="camera.mp4" muted preload="auto"></video>
<pre id="seen">nothing</pre>
<script>
const later = (ms) => new Promise(done => setTimeout(done, ms));
window.onload = async () => {
    await later(3000);
    document.getElementById('seen').textContent = [...document.querySelectorAll('video')].map(v =>
        v.id + ' ' + (v.readyState >= 2 ? 'decoded' : 'not decoded ' + v.readyState + ' ' + (v.error && v.error.code)) +
        ' ' + v.videoWidth + 'x' + v.videoHeight).join(', ');
};
</script></body></html>)");
    PhpServer server(dir.path());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "play.html", "--virtual-time-budget=10000");
    EXPECT_NE(dom.find("<pre id=\"seen\">phone decoded 240x320, camera decoded 320x240</pre>"), npos) << dom;
}

// A visit of a homepage of two entries on a phone: the first entry's poster stands within the first screen, a click
// where the poster is (as the element the browser finds there, and as a mouse over the entry's hover shade gives it)
// plays its video in place with the page staying, a click on the playing video leaves the page too, and a click on the
// second entry's description opens its page. Nothing the visit asks for is missing.
TEST(Browser, OnAPhoneAPosterPlaysInPlaceAndTheDescriptionOpensThePage) {
    NEEDS(onPath("php chromium ffmpeg"), "php, chromium and ffmpeg");
    Harness h;
    int rc = 0;
    shell("ffmpeg -nostdin -loglevel error -f lavfi -i color=c=red:s=640x360 -frames:v 1 -f mjpeg " +
              quoted(h.dir() / "poster.jpg") +
              " && ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10:duration=4 -c:v libx264 "
              "-pix_fmt yuv420p -movflags +faststart " +
              quoted(h.dir() / "played.mp4"),
          &rc);
    ASSERT_EQ(rc, 0);
    for (const std::string name : {"tulips", "roses"}) {
        h.put(name + ".jpg", h.file("poster.jpg"));
        h.put(name + ".mp4", h.file("played.mp4"));
    }
    h.entry("tulips.mp4", "Planting tulips");
    h.entry("roses.mp4", "Pruning roses");
    h.title("Garden", "A new clip every Sunday");
    h.put("phone.html", R"(<!DOCTYPE html><html><head><link rel="icon" href="data:,"></head><body style="margin: 0">
<iframe id="home" src="homepage.html" style="width: 390px; height: 844px; border: 0"></iframe>
<pre id="seen">nothing</pre><pre id="measured"></pre>
<script>
const home = document.getElementById('home'), seen = document.getElementById('seen');
const later = (ms) => new Promise(done => setTimeout(done, ms));
const say = (text) => { seen.textContent = (seen.textContent === 'nothing' ? '' : seen.textContent + ' | ') + text; };
const middle = (element) => {
    const box = element.getBoundingClientRect();
    return [box.left + box.width / 2, box.top + box.height / 2];
};
// A click as the browser would give it at the middle of `element`, scrolled into view: to what it finds there, or
// to `shade`.
const click = (page, element, shade) => {
    element.scrollIntoView({block: 'center'});
    const [x, y] = middle(element);
    (shade || page.elementFromPoint(x, y)).dispatchEvent(new MouseEvent('click',
        {bubbles: true, cancelable: true, view: page.defaultView, clientX: x, clientY: y, button: 0}));
};
const played = async (page, entry, shade) => {
    const poster = entry.querySelector('span.clip');
    if (!poster) {
        return 'no poster';
    }
    click(page, poster, shade && entry.querySelector(shade));
    await later(500);
    const video = entry.querySelector('video');
    if (video && video.paused) {
        await Promise.race([new Promise(done => video.addEventListener('playing', done)), later(5000)]);
    }
    return video ? 'paused ' + video.paused + ' in a link ' + !!video.closest('a') + ' page ' +
        home.contentWindow.location.pathname : 'no video';
};
let loads = 0, homeType = '';
home.onload = async () => {
    const page = home.contentDocument;
    if (++loads > 1) {
        const type = getComputedStyle(page.querySelector('h1')).fontFamily;
        say('opened ' + home.contentWindow.location.pathname + ' ' + page.querySelector('h1').textContent + ' ' +
            (type === homeType ? 'in the same type' : 'in ' + type + ', the homepage in ' + homeType));
        return;
    }
    await later(500);
    const entries = page.querySelectorAll('div.gallery');
    const fonts = new Set([page.body, page.querySelector('h1'), entries[0].querySelector('div.desc')]
        .map(e => getComputedStyle(e).fontFamily));
    homeType = fonts.size === 1 ? [...fonts][0] : [...fonts].join(' and ');
    const top = entries[0].querySelector('span.clip').getBoundingClientRect();
    const title = page.querySelector('h1').getBoundingClientRect().top;
    document.getElementById('measured').textContent = 'title at ' + page.querySelector('h1').getBoundingClientRect().top +
        ' first entry at ' + entries[0].getBoundingClientRect().top + ' poster ' + top.top + ' to ' + top.bottom;
    say('title ' + (title <= 40 ? 'at the top' : 'below a band of ' + title) + ', first poster ' +
        (top.top <= 422 && top.bottom <= 844 ? 'on the first screen' : 'from ' + top.top + ' to ' + top.bottom));
    say('first ' + await played(page, entries[0]));
    const video = entries[0].querySelector('video');
    if (video) {
        click(page, video);
        await later(500);
        say('after a click on it ' + home.contentWindow.location.pathname);
    }
    say('second ' + await played(page, entries[1], '.videofile'));
    click(page, entries[1].querySelector('div.desc'));
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "phone.html",
                                      "--virtual-time-budget=20000 --autoplay-policy=no-user-gesture-required");
    EXPECT_NE(dom.find("<pre id=\"seen\">title at the top, first poster on the first screen | first paused false in a "
                       "link false page "
                       "/homepage.html | after a click on it /homepage.html | second paused false in a link false "
                       "page /homepage.html | opened /roses.php Pruning roses in the same type</pre>"),
              npos)
        << dom;
    EXPECT_EQ(server.failed(), Lines{});
    EXPECT_EQ(server.diagnostics(), Lines{});
}

// A visitor walks a served channel from one video page to the next and back through the pages' own links, each
// reaching the neighbour the homepage puts there, and goes home by the link that names the channel.
TEST(Browser, AVideoPagesPreviousAndNextLinksReachItsNeighboursAndItsChannelsNameLinksHome) {
    NEEDS(onPath("php chromium"), "php and chromium");
    Harness h;
    h.entry("tulips.mp4", "Planting tulips");
    h.entry("roses.mp4", "Pruning roses");
    h.entry("lilies.mp4", "Lilies & more");
    h.title("Tom & Jerry's garden", "");
    h.put("walk.html", R"(<!DOCTYPE html><html><head><link rel="icon" href="data:,"></head><body>
<iframe id="page" src="roses.php"></iframe><pre id="seen"></pre>
<script>
const frame = document.getElementById('page'), seen = document.getElementById('seen');
// What is clicked on each page in turn.
const clicks = ['a[rel=next]', 'a[rel=prev]', 'a[rel=prev]', 'a[href="homepage.html"]'];
let loads = 0;
frame.onload = () => {
    const page = frame.contentDocument;
    const heading = page.querySelector('h1'), home = page.querySelector('a[href="homepage.html"]');
    const rels = [...page.querySelectorAll('a[rel]')].map(a => a.rel + ' ' + a.textContent).join(', ');
    seen.textContent += (loads ? ' | ' : '') + frame.contentWindow.location.pathname + ': ' +
        (heading ? heading.textContent.trim() : '') + (rels ? ' (' + rels + ')' : '') +
        (loads === 0 && home ? ' home ' + home.textContent : '');
    const link = loads < clicks.length && page.querySelector(clicks[loads]);
    ++loads;
    if (link) {
        link.click();
    }
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "walk.html", "--virtual-time-budget=20000");
    EXPECT_NE(dom.find("<pre id=\"seen\">/roses.php: Pruning roses (prev Previous: Planting tulips, next Next: Lilies "
                       "&amp; more) home \xE2\x86\x90 Tom &amp; Jerry's garden | /lilies.php: Lilies &amp; more (prev "
                       "Previous: Pruning roses) | /roses.php: Pruning roses (prev Previous: Planting tulips, next "
                       "Next: Lilies &amp; more) | /tulips.php: Planting tulips (next Next: Pruning roses) | "
                       "/homepage.html: Tom &amp; Jerry's garden</pre>"),
              npos)
        << dom;
    EXPECT_EQ(server.failed(), Lines{});
    EXPECT_EQ(server.diagnostics(), Lines{});
}

// The caption files beside a video are the text tracks Chromium gives its video on the page, the first shown.
TEST(Browser, TheVideoPageHasATextTrackForEachCaptionFile) {
    NEEDS(onPath("php chromium"), "php and chromium");
    Harness h;
    h.put("roses.vtt", "WEBVTT\n\n00:00.000 --> 00:05.000\nPruning roses\n");
    h.put("roses.de.vtt", "WEBVTT\n\n00:00.000 --> 00:05.000\nRosen schneiden\n");
    h.entry("roses.mp4", "Pruning roses");
    h.put("look.html", R"(<!DOCTYPE html><html><body>
<iframe id="page" src="roses.php"></iframe><pre id="seen">nothing</pre>
<script>
const frame = document.getElementById('page');
frame.onload = () => {
    const tracks = frame.contentDocument.querySelector('video').textTracks;
    document.getElementById('seen').textContent = 'tracks ' + tracks.length + ' ' +
        [...tracks].map(t => t.kind + ':' + t.language + ':' + t.label + ':' + t.mode).join(' ');
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "look.html", "--virtual-time-budget=10000");
    EXPECT_NE(dom.find("<pre id=\"seen\">tracks 2 captions::Captions:showing captions:de:Deutsch:disabled</pre>"), npos)
        << dom;
}

TEST(Browser, HomepageShowsExactlyTheLiveEntriesAndTypedTextNeverBecomesMarkup) {
    NEEDS(onPath("chromium"), "chromium");
    Harness h;
    const std::string evil = "x\" onerror=\"document.title='pwned'\" y=\"";
    const std::string lookalikes = "p4yHomepageDescripp5y p4yFileNamep5y s4j--> <!--n9h between this tag and the "
                                   "Entry description";
    h.title(evil, lookalikes);
    std::vector<Shown> expected;
    for (int i = 1; i <= 20; ++i) {
        const std::string name = "clip" + std::to_string(i);
        const std::string description = i == 7 ? "Tom & Jerry <live> at 5 > 4" : "Video number " + std::to_string(i);
        h.entry(name + ".mp4", description);
        expected.push_back({name + ".mp4", name + ".php", description});
    }
    h.remove("clip5.mp4");
    expected.erase(expected.begin() + 4);
    h.insert("extra.mp4", "clip10.mp4", "Slipped in");
    expected.insert(expected.begin() + 8, {"extra.mp4", "extra.php", "Slipped in"});
    h.entry("p4yHomepageDescripp5y.mp4", "First");
    for (const auto& [name, text] : {std::pair{"first", lookalikes},
                                     {"other", evil},
                                     {"said", "I said \"two. is next"},
                                     {"two", std::string("Two")}}) {
        h.entry(name + std::string(".mp4"), text);
        expected.push_back({name + std::string(".mp4"), name + std::string(".php"), text});
    }
    h.insert("top.mp4", "first.mp4", evil);
    expected.insert(expected.end() - 4, {"top.mp4", "top.php", evil});
    ASSERT_FALSE(h.shown(Message::FileFailure));

    std::string dom = dumpDom((h.dir() / "homepage.html").string());
    ASSERT_NE(dom.find("</html>"), npos) << "chromium gave no DOM";
    EXPECT_EQ(between(dom, 0, "<title>", "</title>"), evil) << "the browser title is the homepage title, as typed";
    EXPECT_NE(dom.find("p4yFileNamep5y\""), npos) << "the sample entry stays in the page's comments";
    for (std::size_t open = dom.find("<!--"); open != npos; open = dom.find("<!--", open)) {
        dom.erase(open, dom.find("-->", open) + 3 - open);
    }
    EXPECT_EQ(galleryEntries(dom), expected);
    EXPECT_NE(dom.find("p4yHomepageDescripp5y p4yFileNamep5y s4j--&gt; &lt;!--n9h between this tag"), npos)
        << "the message shows as typed";
}

// A video named beyond ASCII, as a person saves it (café.mp4 in UTF-8): served by a server that sends charset=UTF-8,
// the homepage's link and (its poster clicked) source lead a browser to exactly the files on disk; a comment is stored
// under the page's own comments file; a thread closed from the desktop is closed on the page; the rename page renames
// all three there.
TEST(Browser, ANameBeyondAsciiLeadsTheBrowserToTheFilesAsTheyStandOnDisk) {
    NEEDS(onPath("php chromium curl"), "php, chromium and curl");
    const std::string cafe = "caf\xC3\xA9", the = "th\xC3\xA9";
    Harness h;
    h.put(cafe + ".mp4", "not really a video");
    h.entry(cafe + ".mp4", "Sunday \xE2\x80\x93 " + cafe + " edition");
    ASSERT_FALSE(h.shown(Message::FileFailure));
    EXPECT_TRUE(h.has(cafe + ".php"));
    h.put("person.html", R"(<!DOCTYPE html><html><body>
<iframe id="home" src="homepage.html"></iframe><pre id="seen">nothing</pre>
<script>
const home = document.getElementById('home');
home.onload = async () => {
    const page = home.contentDocument;
    page.querySelector('.gallery span.clip').click(); // the poster becomes the video
    const link = page.querySelector('.gallery a').href, source = page.querySelector('.gallery source').src;
    const status = async (address) => (await fetch(address)).status;
    document.getElementById('seen').textContent = link.substring(location.origin.length) + ' ' + await status(link) +
        ' ' + source.substring(location.origin.length) + ' ' + await status(source) + ' | ' +
        page.querySelector('.gallery .desc').textContent;
};
</script></body></html>)");
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());
    const std::string dom = dumpDomOf(server.url() + "person.html", "--virtual-time-budget=20000");
    EXPECT_NE(dom.find("<pre id=\"seen\">/caf%C3%A9.php 200 /caf%C3%A9.mp4 200 | Sunday \xE2\x80\x93 " + cafe +
                       " edition</pre>"),
              npos)
        << dom;

    const Response posted = server.post("caf%C3%A9.php", "Lovely");
    EXPECT_EQ(shown(posted), "Lovely\n") << posted.body;
    EXPECT_TRUE(h.file(cafe + "_comments.txt").starts_with("Lovely\n"));
    ASSERT_TRUE(publish::setClosed(h.dir(), "caf\xE9.mp4", true));
    EXPECT_TRUE(contains(server.get("caf%C3%A9.php").body, "Comments on this video are closed."));

    // The server's copy of the channel, its video and comments renamed there by the page the desktop wrote (the new
    // page goes up with the next publish).
    const TempDir there;
    for (const std::string& name : {cafe + ".mp4", cafe + ".php", cafe + "_comments.txt"}) {
        fs::copy_file(h.dir() / name, there.path() / name);
    }
    h.rename(cafe + ".mp4", the + ".mp4");
    fs::copy_file(h.dir() / "change_file_name.php", there.path() / "change_file_name.php");
    PhpServer host(there.path());
    ASSERT_TRUE(host.running());
    EXPECT_TRUE(
        contains(host.get("change_file_name.php").body, "Successfully Renamed " + cafe + ".mp4 to " + the + ".mp4"));
    for (const std::string& name : {the + ".mp4", the + "_comments.txt"}) {
        EXPECT_TRUE(fs::exists(there.path() / name)) << name;
    }
    EXPECT_FALSE(fs::exists(there.path() / (cafe + ".mp4")));
    EXPECT_EQ(server.diagnostics(), Lines{});
    EXPECT_EQ(host.diagnostics(), Lines{});
}

// `clipnest preview` prints the address, serves until Ctrl+C, and stops its server then.
TEST(Preview, CommandServesUntilInterrupted) {
    NEEDS(onPath("php curl"), "php and curl");
    Harness h;
    h.entry("roses.mp4", "Roses");
    writeFile(h.dir().parent_path() / "secret.txt", "outside the channel");
    const TempDir out;
    Process preview({CLIPNEST_PROGRAM, "-C", h.dir(), "preview"}, out.path() / "log");
    std::string line;
    for (int i = 0; i < 500 && !contains(line = readFile(out.path() / "log"), "homepage.html"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::size_t from = line.find("http://");
    const std::size_t to = line.find("homepage.html");
    ASSERT_NE(to, std::string::npos) << line;
    const std::string base = line.substr(from, to - from);
    // The pages and a posted comment are served; no file that is hidden or outside the folder.
    EXPECT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << "loopback only: " << base;
    const Response home = curl(quoted(base + "homepage.html"));
    EXPECT_EQ(home.status, 200);
    EXPECT_EQ(shell("curl -sI " + quoted(base + "homepage.html") + " | tr -d '\\r' | grep -i '^content-type:'"),
              "Content-Type: text/html; charset=UTF-8\n")
        << "as many hosts send it";
    EXPECT_NE(home.body.find("<source src=\"roses.mp4\""), std::string::npos);
    EXPECT_EQ(curl(quoted(base + "roses.php")).status, 200);
    const Response posted =
        curl("-L --data-urlencode 'text=Lovely roses' -d t=" + formToken(10) + " " + quoted(base + "roses.php"));
    EXPECT_NE(posted.body.find("Lovely roses"), std::string::npos) << posted.body.substr(0, 300);
    EXPECT_NE(h.file("roses_comments.txt").find("Lovely roses"), std::string::npos);

    EXPECT_NE(curl(quoted(base)).body.find("<source src=\"roses.mp4\""), npos) << "the homepage at /";

    // Nothing hidden, nothing outside, however the path is spelt, and no link that leads out.
    writeFile(h.dir() / ".clipnest/publish.conf", "to = sftp://me@example.net/site\n");
    fs::create_symlink(h.dir().parent_path() / "secret.txt", h.dir() / "leak.txt");
    for (const char* path : {".clipnest/history/000001/operation", "/.clipnest/publish.conf", "%2e%2e/secret.txt",
                             "../secret.txt", "leak.txt", "%2Fleak.txt"}) {
        const Response r = curl(quoted(base + path));
        EXPECT_EQ(r.status, 404) << path;
        EXPECT_FALSE(contains(r.body, "outside the channel") || contains(r.body, "sftp://")) << path;
    }
    // PHP runs only for the channel's own pages; another .php is refused, and the command line says so.
    writeFile(h.dir() / "evil.php", "<?php echo 'ran ' . 'evil';");
    const Response evil = curl(quoted(base + "evil.php"));
    EXPECT_EQ(evil.status, 404);
    EXPECT_FALSE(contains(evil.body, "ran evil"));
    // A video is served in the ranges a browser asks for, so it can be sought in.
    std::string video(1000, 'v');
    video.replace(10, 10, "0123456789");
    writeFile(h.dir() / "roses.mp4", video);
    EXPECT_EQ(curl("-H 'Range: bytes=10-19' " + quoted(base + "roses.mp4")).body, "0123456789");
    EXPECT_EQ(curl("-H 'Range: bytes=10-19' " + quoted(base + "roses.mp4")).status, 206);
    EXPECT_EQ(curl("-H 'Range: bytes=990-' " + quoted(base + "roses.mp4")).body, std::string(10, 'v'));
    EXPECT_EQ(curl("-H 'Range: bytes=5000-' " + quoted(base + "roses.mp4")).status, 416);
    // A number too large to be a place in any file is refused, not read as another number.
    const std::string nines(5000, '9');
    for (const std::string& range : {"0-" + nines, nines + "-", "-" + nines, "0-9999999999999999999"s}) {
        const Response r = curl("-H 'Range: bytes=" + range + "' " + quoted(base + "roses.mp4"));
        EXPECT_EQ(r.status, 416) << range.substr(0, 30);
        EXPECT_EQ(r.body, "") << range.substr(0, 30);
    }
    EXPECT_EQ(curl("-H 'Range: bytes=990-999999999' " + quoted(base + "roses.mp4")).body, std::string(10, 'v'))
        << "an end past the file is the file's end";
    // Only the preview's own names are answered: a page of another site whose name was pointed at 127.0.0.1 (DNS
    // rebinding) reads nothing and posts nothing.
    const std::string port = base.substr(std::string("http://127.0.0.1:").size(), base.size() - 18);
    EXPECT_EQ(curl("-H 'Host: localhost:" + port + "' " + quoted(base + "homepage.html")).status, 200);
    for (const std::string& host : {"evil.example"s, "evil.example:" + port, "127.0.0.1"s, "localhost:1"s, ""s}) {
        const Response page = curl("-H 'Host: " + host + "' " + quoted(base + "homepage.html"));
        EXPECT_EQ(page.status, 421) << host;
        EXPECT_FALSE(contains(page.body, "roses.mp4")) << host;
        const Response post = curl("-H 'Host: " + host + "' --data-urlencode 'text=Rebound' -d t=" + formToken(10) +
                                   " " + quoted(base + "roses.php"));
        EXPECT_EQ(post.status, 421) << host;
    }
    EXPECT_FALSE(contains(h.file("roses_comments.txt"), "Rebound"));
    EXPECT_EQ(curl(quoted(base + "roses.mp4")).body, video);
    // No link is served, even one to a file of the folder: one to a page would hand out its PHP and its secret.
    fs::create_symlink("roses.php", h.dir() / "src.txt");
    EXPECT_EQ(curl(quoted(base + "src.txt")).status, 404);
    const auto servers = [&] { return shell("pgrep -f " + quoted("[-]t " + h.dir().string() + " ") + " | wc -l"); };
    EXPECT_NE(servers(), "0\n");
    EXPECT_EQ(preview.stop(SIGINT), 0);
    EXPECT_EQ(servers(), "0\n") << "PHP's server and every worker of it end with the command";
    EXPECT_TRUE(contains(readFile(out.path() / "log"), "note: preview: evil.php is not one of the channel's pages"));
    EXPECT_NE(curl(quoted(base + "homepage.html")).status, 200) << "the server stopped with the command";
    fs::remove(h.dir().parent_path() / "secret.txt");
}

// A preview whose program is killed outright leaves no PHP process behind: the guard ends them all.
TEST(Preview, NothingOutlivesAKilledPreview) {
    NEEDS(onPath("php"), "php");
    Harness h;
    h.entry("roses.mp4", "Roses");
    const TempDir out;
    Process preview({CLIPNEST_PROGRAM, "-C", h.dir(), "preview"}, out.path() / "log");
    for (int i = 0; i < 500 && !contains(readFile(out.path() / "log"), "homepage.html"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const auto servers = [&] { return shell("pgrep -f " + quoted("[-]t " + h.dir().string() + " ") + " | wc -l"); };
    EXPECT_EQ(servers(), "5\n") << "PHP's server and its four workers";
    preview.stop(SIGKILL);
    for (int i = 0; i < 100 && servers() != "0\n"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(servers(), "0\n");
}

// The preview's router is a file no other user can have put in its place: a router planted beforehand where a
// predictable name would have been, for every process number likely to come next, is never run.
TEST(Preview, ARouterPlantedByAnotherUserIsNeverRun) {
    NEEDS(onPath("php curl setpriv"), "php, curl and setpriv");
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to run the preview as another user";
    }
    Harness h;
    h.entry("roses.mp4", "Roses");
    fs::permissions(h.dir(), fs::perms::all);
    fs::permissions(h.dir() / "homepage.html", fs::perms::all);
    const int last = std::stoi(readFile("/proc/sys/kernel/ns_last_pid"));
    std::vector<fs::path> planted;
    for (int pid = last + 1; pid < last + 400; ++pid) {
        planted.push_back(fs::temp_directory_path() / ("clipnest-preview-" + std::to_string(pid) + ".php"));
        writeFile(planted.back(), "<?php echo 'planted'; return true;");
    }
    const TempDir out;
    fs::permissions(out.path(), fs::perms::all);
    Process preview(
        {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", CLIPNEST_PROGRAM, "-C", h.dir(), "preview"},
        out.path() / "log");
    std::string line;
    for (int i = 0; i < 500 && !contains(line = readFile(out.path() / "log"), "homepage.html"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::size_t from = line.find("http://");
    ASSERT_NE(from, npos) << line;
    const Response home = curl(quoted(line.substr(from, line.find("homepage.html") + 13 - from)));
    EXPECT_EQ(home.status, 200);
    EXPECT_TRUE(contains(home.body, "<source src=\"roses.mp4\"")) << home.body.substr(0, 200);
    EXPECT_EQ(preview.stop(SIGINT), 0);
    for (const fs::path& p : planted) {
        fs::remove(p);
    }
}

} // namespace
} // namespace clipnest::testing
