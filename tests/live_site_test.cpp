// The live site as visitors see it while and after the channel is published: sshd takes the uploads into a folder
// that Apache with mod_php serves, as a cheap host does, and every address the site names is fetched over HTTP.
#include "support/support.h"

#include <chrono>
#include <regex>
#include <set>
#include <thread>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto npos = std::string::npos;

struct Response {
    int status = 0;
    std::string body, location;
};

Response http(const std::string& args) {
    const std::string out = shell("curl -s --path-as-is --max-time 10 -w '\\n%{http_code} %{redirect_url}' " + args);
    const std::size_t last = out.rfind('\n');
    Response r{std::atoi(out.c_str() + last + 1), out.substr(0, last), ""};
    const std::size_t blank = out.find(' ', last);
    r.location = blank == npos ? "" : out.substr(blank + 1);
    return r;
}

class LiveSite : public ::testing::Test {
protected:
    void SetUp() override {
        NEEDS(SshServer::available() && ApacheServer::installed() && onPath("curl php"),
              "root, openssh-server, apache2, libapache2-mod-php, php and curl");
        sshd_ = std::make_unique<SshServer>();
        // Apache's workers (www-data) reach the folder through the server's own.
        for (const fs::path& dir : {sshd_->dir(), sshd_->dir() / "server"}) {
            fs::permissions(dir, fs::perms::others_exec, fs::perm_options::add);
        }
        apache_ = std::make_unique<ApacheServer>(sshd_->folder());
        ASSERT_TRUE(apache_->running()) << apache_->log();
        h_.entry("a.mp4", "A");
        h_.entry("b.mp4", "B");
        h_.put("a.mp4", "the video a");
        h_.put("b.mp4", "the video b");
    }

    // The built program on the channel, with the test's ssh and home; its status and all it said.
    int clipnest(const std::string& args, std::string* said = nullptr) {
        int rc = 0;
        const std::string out = shell(
            "cd " + quoted(h_.dir()) + " && env -u SSH_AUTH_SOCK HOME=" + quoted(sshd_->home()) +
                " CLIPNEST_SSH=" + quoted(ssh_.empty() ? sshOf(sshd_->home()) : ssh_) + " " CLIPNEST_PROGRAM " " + args,
            &rc);
        if (said) {
            *said = out;
        }
        return rc;
    }
    std::string publish(const std::string& more = "") {
        std::string said;
        last_ = clipnest("publish --to " + sshd_->address() + " " + more, &said);
        return said;
    }
    Response get(const std::string& path) { return http(quoted(apache_->url() + path)); }

    // Every page, video, poster and list the live homepage and feed name, and the video each live page names,
    // answers 200.
    void expectWhole() {
        std::set<std::string> names{"homepage.html"};
        const std::regex linked("(?:href|src|poster)=\"([^\":/?#]+)\"|<link>[^<]*/([^</]+)</link>");
        std::vector<std::string> pages{"homepage.html", "feed.xml"};
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const Response page = get(pages[i]);
            if (pages[i] == "feed.xml" && page.status == 404) {
                continue;
            }
            ASSERT_EQ(page.status, 200) << pages[i];
            // What the page shows: the disabled sample entry inside a comment links nothing.
            const std::string shown = std::regex_replace(page.body, std::regex("<!--[^]*?-->"), "");
            for (std::sregex_iterator m(shown.begin(), shown.end(), linked), end; m != end; ++m) {
                const std::string name = (*m)[1].matched ? (*m)[1].str() : (*m)[2].str();
                if (names.insert(name).second && name.ends_with(".php")) {
                    pages.push_back(name);
                }
            }
        }
        for (const std::string& name : names) {
            EXPECT_EQ(get(name).status, 200) << name << " is named on the live site";
        }
    }
    // The bytes the last publish sent to the server: its ssh here keeps a copy of what it is given.
    std::uintmax_t sentByLastPublish() {
        std::uintmax_t bytes = 0;
        for (const auto& e : fs::directory_iterator(sent_.path())) {
            bytes += fs::file_size(e.path());
            fs::remove(e.path());
        }
        return bytes;
    }
    void countSent() {
        const fs::path program = sent_.path().parent_path() / (sent_.path().filename().string() + "-ssh");
        // ssh makes its stdout, which is Clipnest's one socket, non-blocking: it gets a pipe of its own here.
        writeFile(program, "#!/bin/sh\ntee " + quoted(sent_.path().string()) + "/stream.$$ | " +
                               quoted(sshOf(sshd_->home()).string()) + " \"$@\" | cat\n");
        fs::permissions(program, fs::perms::owner_all);
        ssh_ = program;
    }
    fs::path server() const { return sshd_->folder(); }

    Harness h_;
    std::unique_ptr<SshServer> sshd_;
    std::unique_ptr<ApacheServer> apache_;
    int last_ = -1;
    TempDir sent_;
    fs::path ssh_;
};

// A publish killed part way through a large video leaves the live site whole: everything it names answers, the
// hidden part is not served, and the next publish goes on from the part instead of sending the video again.
TEST_F(LiveSite, APublishKilledPartWayLeavesTheSiteWholeAndIsGoneOnFrom) {
    ASSERT_EQ(clipnest("publish --site " + apache_->url()), 0);
    publish();
    ASSERT_EQ(last_, 0);
    expectWhole();

    const std::string video(120'000'000, 'v');
    h_.put("c.mp4", video);
    h_.entry("c.mp4", "C");
    const TempDir logs;
    Process running({"env", "-u", "SSH_AUTH_SOCK", "HOME=" + sshd_->home().string(),
                     "CLIPNEST_SSH=" + sshOf(sshd_->home()).string(), CLIPNEST_PROGRAM, "-C", h_.dir().string(),
                     "publish"},
                    logs.path() / "killed");
    const fs::path part = server() / ".c.mp4.clipnest-part";
    bool underWay = false;
    for (int i = 0; i < 30000 && !underWay; ++i) {
        std::error_code ec;
        underWay = fs::file_size(part, ec) > 70'000'000 && !ec;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_TRUE(underWay) << readFile(logs.path() / "killed");
    running.stop(SIGKILL);
    expectWhole();
    EXPECT_EQ(get(".c.mp4.clipnest-part").status, 403);
    EXPECT_EQ(get(".C.MP4.CLIPNEST-PART").status, 403);
    EXPECT_EQ(get(".htaccess").status, 403);
    EXPECT_EQ(get("c.php").status, 404) << "no page of the video goes up before it";

    countSent();
    const std::string said = publish();
    EXPECT_EQ(last_, 0) << said;
    EXPECT_EQ(readFile(server() / "c.mp4"), video);
    const std::uintmax_t sent = sentByLastPublish();
    EXPECT_GT(sent, 10'000u);
    EXPECT_LT(sent, video.size() / 2) << "gone on from the part, not sent again";
    for (const auto& e : fs::directory_iterator(server())) {
        EXPECT_EQ(e.path().filename().string().find("clipnest-"), npos) << e.path();
    }
    expectWhole();
}

// The host's own files on the server are neither replaced nor lost; a rename published keeps every address
// answering, sends the old page on for good, takes no comment there, and keeps a closed thread closed; --delete
// removes only what the channel put there and no longer has.
TEST_F(LiveSite, TheHostsFilesStayRenamesRedirectAndDeleteTakesOnlyTheChannels) {
    writeFile(server() / "index.php", "<?php echo 'the host\\'s own index';");
    writeFile(server() / ".htaccess", "Options -Indexes\n# the host's own line\n");
    ASSERT_EQ(clipnest("publish --site " + apache_->url()), 0);
    std::string said = publish();
    ASSERT_EQ(last_, 0) << said;
    EXPECT_TRUE(readFile(server() / ".htaccess").starts_with("Options -Indexes\n# the host's own line\n"));
    EXPECT_EQ(get("").body, h_.file("homepage.html")) << "/ is the homepage";
    ASSERT_EQ(clipnest("close a.mp4"), 0);

    // A rename onto the host's own page is not done there, and the live site stays as it was.
    h_.rename("a.mp4", "index.mp4");
    said = publish();
    EXPECT_EQ(last_, 1) << said;
    EXPECT_NE(said.find("index.php was not replaced"), npos) << said;
    EXPECT_EQ(get("index.php").body, "the host's own index");
    expectWhole();

    h_.rename("index.mp4", "roses.mp4");
    said = publish();
    EXPECT_EQ(last_, 0) << said;
    expectWhole();
    EXPECT_EQ(get("index.php").body, "the host's own index");
    const Response old = get("a.php");
    EXPECT_EQ(old.status, 301);
    EXPECT_EQ(old.location, apache_->url() + "roses.php");
    const Response posted = http("--data-urlencode 'text=to the old thread' " + quoted(apache_->url() + "a.php"));
    EXPECT_EQ(posted.status, 301);
    EXPECT_FALSE(fs::exists(server() / "a_comments.txt") || fs::exists(server() / "roses_comments.txt"));
    EXPECT_NE(get("roses.php").body.find("Comments on this video are closed."), npos);

    writeFile(server() / "b_comments.txt", "a visitor's comment");
    h_.remove("b.mp4");
    said = publish("--delete");
    EXPECT_EQ(last_, 0) << said;
    for (const std::string name : {"b.mp4", "b.php"}) {
        EXPECT_FALSE(fs::exists(server() / name)) << name;
    }
    for (const std::string name : {"b_comments.txt", "index.php", "a.php", "roses.mp4", "roses.php"}) {
        EXPECT_TRUE(fs::exists(server() / name)) << name;
    }
    expectWhole();
}

} // namespace
} // namespace clipnest::testing
