// Publishing and fetching comments against a server kept in memory: no root, no network.

#include "comments/moderation.h"
#include "platform/clock.h"
#include "platform/program.h"
#include "publish/destination.h"
#include "publish/file_rates.h"
#include "publish/manifest.h"
#include "publish/publisher.h"
#include "publish/sftp.h"
#include "support/support.h"
#include "text/discovery.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
using publish::Report;
using publish::Target;

// A server's folder in memory. A file named in `refuse` is refused with that problem; at the file named `lostAt`
// the connection is lost (half of it stays as its part), and those after it in the call never start; at `cancelAt`
// the user presses Cancel (half of it arrives, and stays as its part only when the put keeps parts).
struct FakeServer {
    std::mutex mutex;
    std::map<std::string, std::string> files;
    std::vector<std::string> putOrder;
    std::map<std::string, std::string> refuse;
    std::string lostAt, cancelAt;
    std::atomic<bool>* cancel = nullptr;
    std::string connectProblem;
    int connections = 0;
    std::uintmax_t sent = 0; // bytes put, a part gone on from not counted
    // When not 0, each connection sends at this many bytes a second, telling its progress as it goes.
    std::uintmax_t bytesPerSecond = 0;
};

class FakeRemote final : public publish::Remote {
public:
    explicit FakeRemote(FakeServer& server) : server_(server) {}
    std::string connect() override {
        const std::lock_guard guard(server_.mutex);
        server_.connections += connected_ ? 0 : 1;
        connected_ = true;
        return server_.connectProblem;
    }
    std::string put(const std::vector<publish::Upload>& files, const publish::PutEvents& events,
                    const std::atomic<bool>& cancel) override {
        for (std::size_t i = 0; i < files.size() && !cancel; ++i) {
            if (const std::uintmax_t rate = server_.bytesPerSecond) {
                const std::uintmax_t size = fs::file_size(files[i].local);
                events.started(i);
                for (std::uintmax_t sent = 0; sent < size;) {
                    const std::uintmax_t chunk = std::min(size - sent, rate / 20 + 1);
                    std::this_thread::sleep_for(std::chrono::microseconds(chunk * 1'000'000 / rate));
                    sent += chunk;
                    events.progress(i, sent, size);
                }
            }
            const std::lock_guard guard(server_.mutex);
            const std::string& name = files[i].name;
            const std::string bytes = readFile(files[i].local), part = publish::partName(name);
            if (name == server_.lostAt || name == server_.cancelAt) {
                // As the real ones do: the file in flight ends with the connection's problem, or as stopped.
                const bool lost = name == server_.lostAt;
                if (lost || files[i].keepPart) {
                    server_.files[part] = bytes.substr(0, bytes.size() / 2);
                    events.progress(i, bytes.size() / 2, bytes.size());
                }
                server_.cancel->store(!lost);
                events.finished(i, lost ? "the connection to the server was lost" : "stopped before " + name);
                if (lost) {
                    return "the connection to the server was lost";
                }
                continue;
            }
            if (!server_.bytesPerSecond) {
                events.started(i);
            }
            server_.putOrder.push_back(name);
            const auto refused = server_.refuse.find(name);
            const bool resumes = files[i].resumeFrom > 0 && server_.files[part].size() == files[i].resumeFrom;
            server_.sent += bytes.size() - (resumes ? files[i].resumeFrom : 0);
            if (refused == server_.refuse.end()) {
                server_.files[name] = bytes;
            }
            server_.files.erase(part);
            events.finished(i, refused == server_.refuse.end() ? "" : refused->second);
        }
        return "";
    }
    std::string get(const std::string& name, std::string& bytes, bool& missing) override {
        const std::lock_guard guard(server_.mutex);
        const auto found = server_.files.find(name);
        missing = found == server_.files.end();
        bytes = missing ? "" : found->second;
        return "";
    }
    std::string stat(const std::vector<std::string>& names, std::vector<publish::RemoteFile>& found) override {
        const std::lock_guard guard(server_.mutex);
        found.clear();
        for (const std::string& name : names) {
            if (const auto it = server_.files.find(name); it != server_.files.end()) {
                found.push_back({name, it->second.size()});
            }
        }
        return "";
    }
    std::string list(std::vector<publish::RemoteFile>& files) override {
        const std::lock_guard guard(server_.mutex);
        files.clear();
        for (const auto& [name, bytes] : server_.files) {
            files.push_back({name, bytes.size()});
        }
        return "";
    }
    std::string rename(const std::string& from, const std::string& to) override {
        const std::lock_guard guard(server_.mutex);
        if (!server_.files.contains(from) || server_.files.contains(to) || server_.refuse.contains(to)) {
            return "cannot rename " + from + " to " + to;
        }
        server_.files[to] = server_.files[from];
        server_.files.erase(from);
        return "";
    }
    std::string remove(const std::string& name) override {
        const std::lock_guard guard(server_.mutex);
        server_.files.erase(name);
        return "";
    }
    std::string lost() const override { return ""; }

private:
    FakeServer& server_;
    bool connected_ = false;
};

// A channel of two entries with a.mp4 in the folder, published over one connection so the order is the upload's.
class OfflinePublish : public ::testing::Test {
protected:
    void SetUp() override {
        h_.entry("a.mp4", "A");
        h_.entry("b.mp4", "B");
        h_.put("a.mp4", "the video a");
        settings_.connections = 1;
        target_ = *publish::parseTarget("sftp://alice@example.net/site/");
        server_.cancel = &cancel_;
    }
    Report publish(const publish::Options& options = {}) {
        cancel_ = false;
        return publish::publishChannel(h_.dir(), settings_, target_, {}, cancel_, options,
                                       [&] { return std::make_unique<FakeRemote>(server_); });
    }
    Names put() {
        Names order;
        std::swap(order, server_.putOrder);
        return order;
    }
    // The files the channel's record says the server has.
    Names recorded() const {
        Names names;
        publish::Manifest manifest = publish::Manifest::load(h_.dir());
        for (const auto& [name, published] : manifest.of(target_.recordKey()).files) {
            names.push_back(name);
        }
        return names;
    }
    Names serverNames() {
        Names names;
        for (const auto& [name, bytes] : server_.files) {
            names.push_back(name);
        }
        return names;
    }
    // The homepage on the server, and every page it links, links only videos the server has (of the channel's).
    void expectWhole() {
        const auto found = server_.files.find("homepage.html");
        const std::string homepage = found == server_.files.end() ? "" : found->second;
        for (const auto& [name, bytes] : server_.files) {
            if (name != "homepage.html" && !contains(homepage, "href=\"" + name + "\"")) {
                continue;
            }
            for (const std::string video : {"a.mp4", "b.mp4", "c.mp4", "d.mp4"}) {
                if (contains(bytes, "src=\"" + video) && h_.has(video)) {
                    EXPECT_TRUE(server_.files.contains(video)) << name << " links " << video;
                }
            }
        }
    }

    Harness h_;
    FakeServer server_;
    std::atomic<bool> cancel_ = false;
    publish::Settings settings_;
    Target target_;
};

TEST_F(OfflinePublish, WhatPagesNameGoesUpBeforeThemAndOnlyChangesGoAgain) {
    h_.put(discovery::FeedFile, "<feed/>");
    h_.put(discovery::SitemapFile, "<urlset/>");
    h_.put("style.css", "body {}");
    settings_.extra = {"style.css"};
    Report r = publish();
    EXPECT_TRUE(r.error.empty()) << r.error;
    const Names first = put();
    EXPECT_EQ(first,
              (Names{".htaccess", "a.mp4", "style.css", "a.php", "b.php", "feed.xml", "sitemap.xml", "homepage.html"}));
    for (const std::string& name : first) {
        EXPECT_EQ(server_.files[name], h_.file(name)) << name;
    }
    std::vector<std::string> all = first;
    std::sort(all.begin(), all.end());
    EXPECT_EQ(recorded(), all);

    r = publish();
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_TRUE(put().empty()) << "nothing changed, nothing goes up";
    EXPECT_EQ(server_.connections, 1) << "nor is a connection made";

    h_.put("a.mp4", "the video a, cut again");
    r = publish();
    EXPECT_EQ(put(), Names{"a.mp4"});
    EXPECT_EQ(server_.files["a.mp4"], "the video a, cut again");
    EXPECT_EQ(r.uploaded, Names{"a.mp4"});
}

// Uploads are shared out over the connections the settings allow once there is enough to share: every file arrives
// once, whichever connection took it.
TEST_F(OfflinePublish, ManyFilesGoOverSeveralConnections) {
    settings_.connections = 3;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "style" + std::to_string(i) + ".css";
        h_.put(name, "body {} /* " + name + " */");
        settings_.extra.push_back(name);
    }
    const Report r = publish();
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(server_.connections, 3);
    Names order = put(), unique = order;
    std::sort(unique.begin(), unique.end());
    unique.erase(std::unique(unique.begin(), unique.end()), unique.end());
    EXPECT_EQ(unique.size(), order.size()) << "no file went twice";
    EXPECT_EQ(order.size(), 13U);
    EXPECT_EQ(order.back(), "homepage.html") << "the homepage still goes last";
    for (const std::string& name : order) {
        EXPECT_EQ(server_.files[name], h_.file(name)) << name;
    }
}

// Two connections that each send at the server's rate: each file's rate is its own connection's, and the whole
// publish's figures add up to what went, never go back or beyond the whole, and its rate is the two connections'.
TEST_F(OfflinePublish, EachFilesRateIsItsConnectionsAndTheWholeAddsUp) {
    constexpr double Rate = 400'000;
    settings_.connections = 2;
    server_.bytesPerSecond = static_cast<std::uintmax_t>(Rate);
    for (int i = 0; i < 20; ++i) {
        const std::string name = "style" + std::to_string(i) + ".css";
        h_.put(name, std::string(60'000, 'x'));
        settings_.extra.push_back(name);
    }
    std::vector<publish::Overall> seen;
    publish::FileRates rates;
    std::map<std::string, double> fileRates;
    publish::Events events;
    events.starting = [&](const publish::ChannelFile& f, std::size_t, std::size_t) {
        rates.started(f.name, monotonicMs());
    };
    events.progress = [&](const publish::ChannelFile& f, std::uintmax_t sent, std::uintmax_t) {
        rates.progress(f.name, sent, monotonicMs());
    };
    events.finished = [&](const publish::ChannelFile& f, const std::string&) {
        fileRates[f.name] = rates.finished(f.name, f.now.size, monotonicMs());
    };
    events.overall = [&](const publish::Overall& o) { seen.push_back(o); };
    cancel_ = false;
    const Report r = publish::publishChannel(h_.dir(), settings_, target_, events, cancel_, {},
                                             [&] { return std::make_unique<FakeRemote>(server_); });
    ASSERT_TRUE(r.whole()) << r.error;
    EXPECT_EQ(server_.connections, 2);
    ASSERT_FALSE(seen.empty());
    std::uintmax_t all = 0;
    for (const publish::ChannelFile& f : r.changed) {
        all += f.now.size;
    }
    int whole = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const publish::Overall& o = seen[i];
        EXPECT_EQ(o.files, r.changed.size());
        EXPECT_EQ(o.bytes, all);
        EXPECT_LE(o.bytesDone, o.bytes);
        EXPECT_LE(o.filesDone, o.files);
        if (i > 0) {
            EXPECT_GE(o.bytesDone, seen[i - 1].bytesDone) << "never goes back";
            EXPECT_GE(o.filesDone, seen[i - 1].filesDone);
        }
        whole += o.filesDone == o.files && o.bytesDone == o.bytes ? 1 : 0;
    }
    EXPECT_EQ(whole, 1) << "the whole comes to its end once";
    EXPECT_EQ(seen.front().secondsLeft, -1) << "unknown before the rate has settled";
    const publish::Overall& last = seen.back();
    EXPECT_EQ(last.filesDone, last.files);
    EXPECT_EQ(last.secondsLeft, 0);
    // Two connections at the rate each, within twice either way; each large file at its connection's.
    EXPECT_GT(last.bytesPerSecond, Rate) << last.bytesPerSecond;
    EXPECT_LT(last.bytesPerSecond, 4 * Rate) << last.bytesPerSecond;
    for (int i = 0; i < 20; ++i) {
        const double rate = fileRates["style" + std::to_string(i) + ".css"];
        EXPECT_GT(rate, Rate / 2) << i;
        EXPECT_LT(rate, Rate * 2) << i;
    }
}

// Files that end without being sent (found on the server already, held back, never begun) are settled all the
// same: the whole comes to its end, and its bytes are only those that had to go.
TEST_F(OfflinePublish, FilesNotSentStillBringTheWholeToItsEnd) {
    server_.files["a.mp4"] = "the video a"; // there already, with the same bytes
    server_.refuse["b.php"] = "permission denied";
    std::vector<publish::Overall> seen;
    publish::Events events;
    events.overall = [&](const publish::Overall& o) { seen.push_back(o); };
    cancel_ = false;
    const Report r = publish::publishChannel(h_.dir(), settings_, target_, events, cancel_, {},
                                             [&] { return std::make_unique<FakeRemote>(server_); });
    EXPECT_EQ(r.found, (Names{"a.mp4"}));
    EXPECT_FALSE(r.held.empty()) << "the homepage waits for b.php";
    ASSERT_FALSE(seen.empty());
    const publish::Overall& last = seen.back();
    EXPECT_EQ(last.files, r.changed.size());
    EXPECT_EQ(last.filesDone, last.files) << "every file came to its end";
    std::uintmax_t sent = 0;
    for (const std::string& name : r.uploaded) {
        sent += server_.files[name].size();
    }
    EXPECT_EQ(last.bytesDone, sent) << "neither the file found there nor those held back count as sent";
    EXPECT_EQ(last.bytes, last.bytesDone);
}

// A file's rate is from its own figures: a part gone on from is not counted as sent, and a file told in one figure
// is timed from its start.
TEST(FileRates, EachFileIsTimedFromItsOwnFigures) {
    publish::FileRates rates;
    rates.started("a.mp4", 1000);
    rates.started("b.mp4", 1500);
    EXPECT_FALSE(rates.progress("a.mp4", 8'000'000, 1100)) << "the part gone on from, not a rate";
    EXPECT_DOUBLE_EQ(*rates.progress("a.mp4", 9'000'000, 2100), 1'000'000.0);
    EXPECT_FALSE(rates.progress("b.mp4", 100'000, 1600));
    EXPECT_DOUBLE_EQ(*rates.progress("b.mp4", 300'000, 2600), 200'000.0) << "b's own start, not a's";
    EXPECT_DOUBLE_EQ(rates.finished("a.mp4", 10'000'000, 3100), 1'000'000.0);
    rates.started("c.css", 5000);
    EXPECT_FALSE(rates.progress("c.css", 2000, 5500));
    EXPECT_DOUBLE_EQ(rates.finished("c.css", 2000, 6000), 2000.0) << "one figure: from its start";
    EXPECT_DOUBLE_EQ(rates.finished("c.css", 2000, 7000), 0.0) << "forgotten once ended";
}

// A file that did not arrive holds back what names it, with the old copy left live; the record says what reached the
// server, and the next publish sends only what is missing.
TEST_F(OfflinePublish, WhatNamesAFileThatDidNotArriveIsHeldBack) {
    h_.put("b.mp4", "the video b");
    server_.refuse["b.mp4"] = "permission denied";
    Report r = publish();
    EXPECT_EQ(r.failed, (publish::Problems{{"b.mp4", "permission denied"}}));
    ASSERT_EQ(r.held.size(), 2u);
    EXPECT_EQ(r.held[0].first, "b.php");
    EXPECT_TRUE(contains(r.held[0].second, "it names b.mp4, which did not arrive; the server has no b.php yet"))
        << r.held[0].second;
    EXPECT_EQ(r.held[1].first, "homepage.html");
    EXPECT_FALSE(r.whole());
    EXPECT_EQ(serverNames(), (Names{".htaccess", "a.mp4", "a.php"}));
    EXPECT_EQ(recorded(), serverNames());
    put();

    server_.refuse.clear();
    server_.lostAt = "b.php";
    r = publish();
    EXPECT_EQ(r.stopped, "the connection to the server was lost");
    EXPECT_EQ(r.cutOff, (Names{"b.php", "homepage.html"}));
    EXPECT_EQ(recorded(), (Names{".htaccess", "a.mp4", "a.php", "b.mp4"}));
    expectWhole();
    put();

    server_.lostAt.clear();
    r = publish();
    EXPECT_EQ(put(), (Names{"b.php", "homepage.html"})) << "the part b.php's lost connection left is tidied too";
    EXPECT_TRUE(r.whole() && r.failed.empty() && r.stopped.empty()) << r.kept.size();
    EXPECT_EQ(serverNames(), (Names{".htaccess", "a.mp4", "a.php", "b.mp4", "b.php", "homepage.html"}));
    expectWhole();
}

// Cancel part way through a large video: no page, feed or homepage names it; its part stays out of sight, and the
// next publish goes on from it, sending only the rest.
TEST_F(OfflinePublish, ACancelledLargeVideoIsGoneOnFromAndNothingLinksItMeanwhile) {
    const std::string large(publish::ResumeAtLeast + 1000, 'v');
    h_.put("b.mp4", large);
    h_.put(discovery::FeedFile, "<feed/>");
    server_.cancelAt = "b.mp4";
    Report r = publish();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(serverNames(), (Names{".b.mp4.clipnest-part", ".htaccess", "a.mp4"}));
    EXPECT_TRUE(std::any_of(r.notes.begin(), r.notes.end(), [](const std::string& note) {
        return contains(note, "b.mp4 was stopped part way") &&
               contains(note, "no earlier copy of b.mp4 is on the server");
    }));
    put();

    server_.cancelAt.clear();
    server_.sent = 0;
    r = publish();
    EXPECT_TRUE(r.whole());
    EXPECT_EQ(server_.files["b.mp4"], large);
    EXPECT_LT(server_.sent, large.size()) << "only what the part lacked went again, with the pages";
    EXPECT_FALSE(server_.files.contains(".b.mp4.clipnest-part"));
    expectWhole();

    // A part of a video changed since is no use: it goes, and the video goes whole.
    h_.put("b.mp4", large + "more");
    server_.cancelAt = "b.mp4";
    publish();
    server_.cancelAt.clear();
    h_.put("b.mp4", large + "other");
    server_.sent = 0;
    r = publish();
    EXPECT_EQ(server_.files["b.mp4"], large + "other");
    EXPECT_GE(server_.sent, large.size());
}

// A name Clipnest never put in this folder is the host's when the server holds other bytes there: it stays, and what
// names it waits, until the user lets it go. Identical files are taken as sent; the server's .htaccess keeps its lines.
TEST_F(OfflinePublish, TheServersOwnFilesAreNeitherReplacedNorLost) {
    server_.files["a.mp4"] = "the video a";                   // the same bytes: recorded, not sent
    server_.files["b.php"] = "<?php the host's own page";     // other bytes: kept
    server_.files[".htaccess"] = "AddHandler php82 .php\r\n"; // the hosting panel's line
    Report r = publish();
    EXPECT_EQ(r.found, (Names{"a.mp4"}));
    EXPECT_EQ(r.kept, (Names{"b.php"}));
    EXPECT_EQ(server_.files["b.php"], "<?php the host's own page");
    EXPECT_FALSE(server_.files.contains("homepage.html")) << "it would link the host's b.php";
    EXPECT_EQ(put(), (Names{".htaccess", "a.php"}));
    const std::string rules = server_.files[".htaccess"];
    EXPECT_TRUE(rules.starts_with("AddHandler php82 .php\r\n")) << rules;
    EXPECT_TRUE(contains(rules, "# BEGIN Clipnest") && contains(rules, "# END Clipnest")) << rules;

    r = publish({false, false, false, {"b.php"}});
    EXPECT_TRUE(r.whole()) << (r.kept.empty() ? "" : r.kept[0]);
    EXPECT_EQ(server_.files["b.php"], h_.file("b.php"));
    EXPECT_EQ(server_.files[".htaccess"], rules) << "the merged rules go once";

    // The block changes with a new version: merged again into what the server has now.
    server_.files[".htaccess"] = "# the host's line\n" + rules;
    publish::Manifest m = publish::Manifest::load(h_.dir());
    m.of(target_.recordKey()).files[".htaccess"].sha256 = std::string(64, '0');
    m.save(h_.dir());
    publish();
    EXPECT_EQ(server_.files[".htaccess"], "# the host's line\n" + rules);
}

// A rename everywhere is done on the server in the publish: the video and its comments move, the new page goes up,
// the old page sends its visitors on, and the rename page stays home. When the homepage cannot follow, the renames
// are taken back.
TEST_F(OfflinePublish, RenamesAreDoneOnTheServerAndTakenBackWhenTheHomepageCannotFollow) {
    ASSERT_TRUE(publish().whole());
    server_.files["a_comments.txt"] = "a visitor's comment";
    h_.rename("a.mp4", "c.mp4");
    server_.refuse["homepage.html"] = "permission denied";
    Report r = publish();
    EXPECT_TRUE(r.renamed.empty());
    EXPECT_EQ(server_.files["a.mp4"], "the video a") << "taken back";
    EXPECT_EQ(server_.files["a_comments.txt"], "a visitor's comment");
    EXPECT_FALSE(server_.files.contains("c.mp4"));
    expectWhole();

    server_.refuse.clear();
    put();
    r = publish();
    EXPECT_TRUE(r.whole());
    EXPECT_EQ(r.renamed, (std::vector<RenamePair>{{"a.mp4", "c.mp4"}, {"a_comments.txt", "c_comments.txt"}}));
    EXPECT_EQ(put(), (Names{"homepage.html", "a.php"})) << "the video is renamed, not sent again";
    EXPECT_EQ(server_.files["c.mp4"], "the video a");
    EXPECT_EQ(server_.files["c_comments.txt"], "a visitor's comment");
    EXPECT_FALSE(server_.files.contains("change_file_name.php"));
    EXPECT_TRUE(contains(server_.files["a.php"], "c.php")) << server_.files["a.php"];
    expectWhole();
    r = publish();
    EXPECT_TRUE(put().empty()) << "nothing is left to do: not even the rename page";

    // A rename the server cannot do: its files go up whole instead, and the rename page with them.
    h_.rename("c.mp4", "d.mp4");
    server_.files["d_comments.txt"] = "a comment on a page not there yet";
    r = publish();
    EXPECT_TRUE(r.renamed.empty());
    // b.php follows its neighbour to its new page.
    EXPECT_EQ(put(), (Names{"d.mp4", "d.php", "b.php", "change_file_name.php", "homepage.html"}));
    expectWhole();
}

// With --delete, what the channel put there and no longer has goes; the visitors' comments and renamed videos' old
// pages stay. A dry run only says what would go.
TEST_F(OfflinePublish, DeleteRemovesOnlyWhatTheChannelPutThereAndNoLongerHas) {
    h_.put("b.mp4", "the video b");
    h_.put("b.jpg", "poster");
    ASSERT_TRUE(publish().whole());
    server_.files["b_comments.txt"] = "a visitor's comment";
    server_.files["own.html"] = "the host's own page";
    h_.remove("b.mp4");
    Report r = publish({true, false, true, {}});
    EXPECT_EQ(r.removed, (Names{"b.jpg", "b.mp4", "b.php"}));
    EXPECT_TRUE(server_.files.contains("b.mp4")) << "a dry run removes nothing";
    r = publish({false, false, true, {}});
    EXPECT_EQ(r.removed, (Names{"b.jpg", "b.mp4", "b.php"}));
    EXPECT_EQ(serverNames(), (Names{".htaccess", "a.mp4", "a.php", "b_comments.txt", "homepage.html", "own.html"}));
    EXPECT_EQ(recorded(), (Names{".htaccess", "a.mp4", "a.php", "homepage.html"}));

    // Nothing else changed: --delete alone still goes to the server.
    h_.put("x.css", "body {}");
    settings_.extra = {"x.css"};
    publish();
    settings_.extra.clear();
    r = publish({false, false, true, {}});
    EXPECT_EQ(r.removed, (Names{"x.css"}));
    EXPECT_FALSE(server_.files.contains("x.css"));
}

// Another server folder has a record of its own: files it already holds with the same bytes are recorded, not sent.
TEST_F(OfflinePublish, AnotherFolderHoldingTheSameFilesIsNotSentThemAgain) {
    ASSERT_TRUE(publish().whole());
    put();
    target_ = *publish::parseTarget("ftps://alice@example.net/site/");
    const Report r = publish();
    EXPECT_TRUE(r.whole());
    EXPECT_TRUE(put().empty());
    EXPECT_EQ(r.found.size(), r.changed.size());
}

TEST_F(OfflinePublish, ALoginRefusedIsSaidAndNothingIsRecorded) {
    server_.connectProblem = "the server refused the login";
    const Report r = publish();
    EXPECT_EQ(r.error, "the server refused the login");
    EXPECT_TRUE(put().empty());
    EXPECT_TRUE(recorded().empty());
}

// SFTP against a server run in ssh's place: the atomic rename is found wherever the server lists it among its
// extensions; without it the old file steps aside for the rename, and is back in its place when the rename fails.
TEST(Sftp, ReplacesAFileWithOrWithoutTheAtomicRename) {
    const TempDir dir;
    const fs::path server = dir.path() / "server/site", log = dir.path() / "requests";
    fs::create_directories(server);
    writeFile(dir.path() / "a.txt", "new bytes");
    ::setenv("CLIPNEST_SSH", (fs::path(CLIPNEST_TESTS_DIR) / "support/fake_sftp.py").c_str(), 1);
    ::setenv("FAKE_SFTP_ROOT", (dir.path() / "server").c_str(), 1);
    ::setenv("FAKE_SFTP_LOG", log.c_str(), 1);
    const auto put = [&](const char* extensions, bool refusePlacing) {
        ::setenv("FAKE_SFTP_EXTENSIONS", extensions, 1);
        ::setenv("FAKE_SFTP_REFUSE_PLACING", refusePlacing ? "1" : "", 1);
        writeFile(server / "a.txt", "old");
        fs::remove(log);
        const std::unique_ptr<publish::Remote> remote =
            publish::openSftp(*publish::parseTarget("sftp://alice@example.net/site/"), {}, nullptr);
        std::string problem = "never finished";
        publish::PutEvents events;
        events.finished = [&problem](std::size_t, const std::string& p) { problem = p; };
        const std::atomic<bool> cancel = false;
        const std::string lost = remote->put({{dir.path() / "a.txt", "a.txt"}}, events, cancel);
        return lost.empty() ? problem : lost;
    };
    EXPECT_EQ(put("statvfs@openssh.com,posix-rename@openssh.com", false), "");
    EXPECT_EQ(readFile(server / "a.txt"), "new bytes");
    EXPECT_TRUE(contains(readFile(log), "posix-rename@openssh.com\n")) << readFile(log);

    EXPECT_EQ(put("statvfs@openssh.com", false), "");
    EXPECT_EQ(readFile(server / "a.txt"), "new bytes");
    EXPECT_FALSE(contains(readFile(log), "posix-rename"));

    EXPECT_NE(put("statvfs@openssh.com", true), "");
    EXPECT_EQ(readFile(server / "a.txt"), "old") << "the old file is back in its place";
    for (const char* name :
         {"CLIPNEST_SSH", "FAKE_SFTP_ROOT", "FAKE_SFTP_LOG", "FAKE_SFTP_EXTENSIONS", "FAKE_SFTP_REFUSE_PLACING"}) {
        ::unsetenv(name);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(server), fs::directory_iterator()), 1)
        << "nothing but a.txt is left on the server";
}

// Each server folder has a record of its own, and what a publish left half done there survives a save.
TEST(Manifest, EachFolderKeepsItsOwnRecord) {
    const TempDir dir;
    const std::string hash(64, 'a'), page(64, 'b');
    fs::create_directories(dir.path() / ".clipnest");
    writeFile(dir.path() / ".clipnest/published", hash + " 1 2 a.php\n"); // kept before addresses were
    publish::Manifest m = publish::Manifest::load(dir.path());
    ASSERT_NE(m.of("sftp://h/site/").find("a.php"), nullptr) << "a record kept before addresses were is the first's";
    EXPECT_EQ(m.of("ftp://h/other/").find("a.php"), nullptr);
    publish::Record& other = m.of("ftp://h/other/");
    other.record("b tulips.mp4", {hash, 3, 4});
    other.record("c.php", {page, 5, 0});
    other.parts["b tulips.mp4"] = {hash, 30, 40};
    other.moved.insert("c.php");
    other.renamesDone.insert(page);
    other.unfinished = true;
    ASSERT_TRUE(m.save(dir.path()));

    publish::Manifest loaded = publish::Manifest::load(dir.path());
    EXPECT_EQ(loaded.records().size(), 2u);
    EXPECT_EQ(*loaded.of("sftp://h/site/").find("a.php"), (publish::Published{hash, 1, 2}));
    const publish::Record& back = loaded.of("ftp://h/other/");
    EXPECT_EQ(back.files, other.files);
    EXPECT_EQ(back.parts, other.parts);
    EXPECT_EQ(back.moved, other.moved);
    EXPECT_EQ(back.renamesDone, other.renamesDone);
    EXPECT_TRUE(back.unfinished);
    EXPECT_FALSE(loaded.of("sftp://h/site/").unfinished);
}

TEST(Address, TheAddressTakenApart) {
    struct Case {
        std::string url, user, host;
        int port;
        std::string path, display;
    };
    for (const Case& c : {
             Case{"sftp://[::1]:2222/site/", "", "[::1]", 2222, "/site/", "sftp://[::1]:2222/site/"},
             Case{"sftp://bob@[2001:db8::7]/site", "bob", "[2001:db8::7]", 0, "/site/",
                  "sftp://bob@[2001:db8::7]/site/"},
             Case{"sftp://alice@example.net:22/~/www", "alice", "example.net", 22, "/~/www/",
                  "sftp://alice@example.net:22/~/www/"},
             Case{"ftps://example.net", "", "example.net", 0, "/", "ftps://example.net/"},
             Case{"ftp://me@you@example.net/x/", "me@you", "example.net", 0, "/x/", "ftp://me@you@example.net/x/"},
             // A '#' and a percent sign are the folder's name as written, not a fragment or an escape.
             Case{"sftp://h/site#2/", "", "h", 0, "/site#2/", "sftp://h/site#2/"},
             Case{"sftp://h/my%20site", "", "h", 0, "/my%20site/", "sftp://h/my%20site/"},
         }) {
        const Result<Target> t = publish::parseTarget(c.url);
        ASSERT_TRUE(t) << c.url << ": " << why(t);
        EXPECT_EQ(t->user, c.user) << c.url;
        EXPECT_EQ(t->host, c.host) << c.url;
        EXPECT_EQ(t->port, c.port) << c.url;
        EXPECT_EQ(t->path, c.path) << c.url;
        EXPECT_EQ(t->display(), c.display) << c.url;
    }
}

// A path is read inside the login folder whatever the scheme; two slashes start it at the server's root; "/~/", as
// older settings write it, is the login folder too. The record of what is on the server follows the folder, not the
// spelling, and an SFTP path once read from the root has a record of its own.
TEST(Address, APathIsInsideTheLoginFolderUnlessItStartsWithTwoSlashes) {
    struct Case {
        std::string url, folder, described, key;
    };
    for (const Case& c : {
             Case{"sftp://bob@example.net/public_html", "public_html/",
                  "the folder public_html in the login folder of bob on example.net",
                  "sftp://bob@example.net/~/public_html/"},
             Case{"sftp://bob@example.net/~/public_html/", "public_html/",
                  "the folder public_html in the login folder of bob on example.net",
                  "sftp://bob@example.net/~/public_html/"},
             Case{"sftp://mychannel//var/www/html", "/var/www/html/", "the folder /var/www/html on mychannel",
                  "sftp://mychannel//var/www/html/"},
             Case{"sftp://mychannel", "", "the login folder on mychannel", "sftp://mychannel/~/"},
             Case{"sftp://mychannel/~/", "", "the login folder on mychannel", "sftp://mychannel/~/"},
             Case{"ftps://bob@example.net:2121/www/site/", "www/site/",
                  "the folder www/site in the login folder of bob on example.net",
                  "ftps://bob@example.net:2121/www/site/"},
             Case{"ftp://example.net//srv/ftp", "/srv/ftp/", "the folder /srv/ftp on example.net",
                  "ftp://example.net//srv/ftp/"},
             Case{"ftps://example.net/~/www", "www/", "the folder www in the login folder on example.net",
                  "ftps://example.net/www/"},
         }) {
        const Result<Target> t = publish::parseTarget(c.url);
        ASSERT_TRUE(t) << c.url << ": " << why(t);
        EXPECT_EQ(t->folder(), c.folder) << c.url;
        EXPECT_EQ(t->described(), c.described) << c.url;
        EXPECT_EQ(t->recordKey(), c.key) << c.url;
    }
    EXPECT_NE(publish::parseTarget("sftp://h/site/")->recordKey(), publish::parseTarget("sftp://h//site/")->recordKey())
        << "one folder read from the root before is another now";
    EXPECT_FALSE(publish::parseTarget("sftp://h//../etc")) << "no way up from the root either";
}

// A missing folder's message shows the login folder's top: folders first, hidden names left out, a few only.
TEST(Address, AMissingFolderNamesWhatTheLoginFolderHolds) {
    const Target t = *publish::parseTarget("sftp://bob@example.net/public_html");
    std::vector<publish::RemoteFile> entries = {{"notes.txt", 3, true, false}, {".ssh", 0, false, true},
                                                {"www", 0, false, true},       {"caf\xE9", 0, false, true},
                                                {"logs", 0, false, true},      {"a.txt", 3, true, false}};
    const std::vector<std::string> top = publish::topNames(entries);
    EXPECT_EQ(top, (std::vector<std::string>{"caf\xC3\xA9", "logs", "www", "a.txt", "notes.txt"}));
    EXPECT_EQ(publish::topNames(entries, 2), (std::vector<std::string>{"caf\xC3\xA9", "logs"}));
    EXPECT_EQ(publish::missingFolder(t, {"www", "logs"}, true),
              "the folder public_html in the login folder of bob on example.net is not there; the login folder "
              "holds: www, logs");
    EXPECT_EQ(publish::missingFolder(t, {}, true),
              "the folder public_html in the login folder of bob on example.net is not there; the login folder is "
              "empty");
    EXPECT_NE(publish::missingFolder(t, {}, false).find("could not be listed"), std::string::npos);
    // A path of several folders, as SFTP addresses once read from the root, is shown as written from the root.
    EXPECT_EQ(publish::missingFolder(*publish::parseTarget("sftp://bob@example.net:2222/var/www/html"), {"www"}, true),
              "the folder var/www/html in the login folder of bob on example.net is not there; the login folder holds: "
              "www; a folder from the server's root is written with two slashes: "
              "sftp://bob@example.net:2222//var/www/html/");
}

TEST(Address, AnAddressThatCannotBeReadIsRefusedWithWhy) {
    for (const auto& [url, why] : std::vector<std::pair<std::string, std::string>>{
             {"http://example.net/", "the address must start with sftp://, ftps:// or ftp://"},
             {"example.net/site", "the address must start with sftp://, ftps:// or ftp://"},
             {"sftp://h:/site", "the port '' is no port number"},
             {"sftp://h:99999/site", "the port '99999' is no port number"},
             {"sftp://h:22x/site", "the port '22x' is no port number"},
             {"sftp://[::1]:0/site", "the port '0' is no port number"},
             {"sftp:///site", "the address needs a host and a folder"},
             {"sftp://bob@/site", "the address needs a host and a folder"},
             {"sftp://:22/site", "the address needs a host and a folder"},
             {"sftp://h/site/../etc", "the address needs a host and a folder"},
             {"sftp://bob:secret@h/site", "the address holds a password"},
             {"sftp://[::1/site", "is no host name nor IPv6 address in brackets"},
             {"sftp://[::1]2222/site", "is no host name nor IPv6 address in brackets"},
         }) {
        const Result<Target> t = publish::parseTarget(url);
        ASSERT_FALSE(t) << url;
        EXPECT_NE(clipnest::why(t).find(why), std::string::npos) << url << ": " << clipnest::why(t);
    }
}

TEST(Settings, ReadingThemCreatesNothingAndWhatIsSavedReadsBack) {
    const TempDir dir;
    publish::Settings s;
    EXPECT_TRUE(publish::loadSettings(dir.path()));
    EXPECT_EQ(publish::keptAddress(dir.path()), "");
    const auto chosen = publish::chooseDestination(dir.path(), "", false, true);
    ASSERT_FALSE(chosen);
    EXPECT_EQ(chosen.error().text, "there is no address to publish to");
    EXPECT_FALSE(fs::exists(dir.path() / ".clipnest")) << "reading never makes a folder";

    s.to = "sftp://h/site/";
    s.extra = {"style.css", "logo.png"};
    s.insecure = true;
    s.key = "/k";
    s.knownHosts = "/kh";
    s.cacert = "/ca";
    s.site = "https://example.net/garden/";
    s.maxUpload = 200 << 20;
    s.connections = 3;
    s.scripts = {"https://cdn.example.net/a.js"};
    s.fonts = {"https://fonts.example.net/f.css"};
    ASSERT_TRUE(publish::saveSettings(dir.path(), s));
    const Result<publish::Settings> loaded = publish::loadSettings(dir.path());
    ASSERT_TRUE(loaded) << why(loaded);
    const publish::Settings& back = *loaded;
    EXPECT_EQ(back.to, s.to);
    EXPECT_EQ(back.extra, s.extra);
    EXPECT_FALSE(back.insecure) << "`insecure` allows plain ftp:// only, and is not kept for an sftp:// address";
    EXPECT_EQ(back.key, s.key);
    EXPECT_EQ(back.knownHosts, s.knownHosts);
    EXPECT_EQ(back.cacert, s.cacert);
    EXPECT_EQ(back.site, s.site);
    EXPECT_EQ(back.maxUpload, s.maxUpload);
    EXPECT_EQ(back.connections, s.connections);
    EXPECT_EQ(back.scripts, s.scripts);
    EXPECT_EQ(back.fonts, s.fonts);

    s.to = "ftp://h/site/";
    ASSERT_TRUE(publish::saveSettings(dir.path(), s));
    EXPECT_TRUE(publish::loadSettings(dir.path())->insecure) << "kept where it applies";
    // Switching to SFTP drops it, as an address given once is kept.
    EXPECT_FALSE(publish::keepAddress(dir.path(), "sftp://h/site/", false));
    EXPECT_FALSE(publish::loadSettings(dir.path())->insecure);
    EXPECT_NE(readFile(dir.path() / publish::SettingsFile).find("to = sftp://h/site/\n"), std::string::npos);
    EXPECT_EQ(readFile(dir.path() / publish::SettingsFile).find("insecure"), std::string::npos);
    EXPECT_EQ(publish::loadSettings(dir.path())->key, "/k") << "the other settings stay";
}

// A size or a count out of its range is refused with the setting's name, not taken as some other number.
TEST(Settings, SizesAndCountsOutOfRangeAreRefused) {
    const TempDir dir;
    fs::create_directories(dir.path() / ".clipnest");
    const auto load = [&](const std::string& line) {
        writeFile(dir.path() / ".clipnest/publish.conf", line + "\n");
        return publish::loadSettings(dir.path());
    };
    for (const auto& [line, bytes] : std::vector<std::pair<std::string, std::uintmax_t>>{
             {"max_upload = 7", 7},
             {"max_upload = 2k", 2048},
             {"max_upload = 200M", 200u << 20},
             {"max_upload = 3G", std::uintmax_t{3} << 30},
             {"max_upload = 17179869183G", std::uintmax_t{17179869183} << 30}}) {
        const Result<publish::Settings> s = load(line);
        ASSERT_TRUE(s) << line << ": " << why(s);
        EXPECT_EQ(s->maxUpload, bytes) << line;
    }
    const publish::Settings counts =
        *load("connections = 8\nfeed_items = 3\nnotify_per_day = 7\nmax_height = 4320\ncrf = 51");
    EXPECT_EQ(
        std::vector<int>({counts.connections, counts.feedItems, counts.notifyPerDay, counts.maxHeight, counts.crf}),
        std::vector<int>({8, 3, 7, 4320, 51}));
    EXPECT_EQ(load("max_height = 144\ncrf = 0")->maxHeight, 144);
    EXPECT_EQ(load("crf = 0")->crf, 0);
    for (const std::string bad :
         {"max_upload = 0", "max_upload = 0M", "max_upload = 17179869184G", "max_upload = 5T", "max_upload = -1",
          "max_upload = M", "connections = 0", "connections = 9", "connections = 2x", "feed_items = 0",
          "feed_items = 99999999999", "notify_per_day = 0", "max_height = 143", "max_height = 4321", "crf = -1",
          "crf = 52", "crf = 5x", "unknown = 1"}) {
        const Result<publish::Settings> s = load(bad);
        ASSERT_FALSE(s) << bad;
        EXPECT_NE(why(s).find(bad.substr(0, bad.find(' '))), std::string::npos) << why(s);
    }
}

TEST(Program, OnlyAnExecutableFileOnThePathIsAProgram) {
    const TempDir dir;
    writeFile(dir.path() / "readable", "#!/bin/sh\n");
    fs::permissions(dir.path() / "readable", fs::perms::owner_read | fs::perms::owner_write);
    writeFile(dir.path() / "runnable", "#!/bin/sh\n");
    fs::permissions(dir.path() / "runnable", fs::perms::owner_all);
    fs::create_directory(dir.path() / "folder");
    const char* was = std::getenv("PATH");
    const std::string saved = was ? was : "";
    ::setenv("PATH", dir.path().c_str(), 1);
    const bool readable = onPath("readable"), runnable = onPath("runnable"), folder = onPath("folder");
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_FALSE(readable) << "a file that may not be run";
    EXPECT_TRUE(runnable);
    EXPECT_FALSE(folder);
}

TEST(Moderation, EachVideosCommentsAreKeptApart) {
    Harness h;
    h.entry("a.mp4", "A");
    h.entry("b.mp4", "B");
    FakeServer server;
    const std::string a = "On a\n2026-12-01 08:00:00\r\n\n", b = "On b\n2026-12-02 09:00:00\r\n\n";
    server.files = {{"a_comments.txt", a}, {"b_comments.txt", b}};
    FakeRemote remote(server);
    const publish::FetchReport r = publish::fetchComments(h.dir(), remote);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.videos, 2u);
    EXPECT_EQ(r.comments, 2u);
    EXPECT_EQ(h.file(".clipnest/comments/a_comments.txt"), a);
    EXPECT_EQ(h.file(".clipnest/comments/b_comments.txt"), b);
}

// What is new since the host last looked: the first fetch counts every comment; a fetch after two new posts counts
// those two, by video; the next one none. The host's own reply is never new. The server's line gives each comment its
// name, whether it is held and whether it is the host's.
TEST(Moderation, AFetchSaysWhichCommentsAreNewSinceTheLastOne) {
    Harness h;
    h.entry("a.mp4", "A");
    h.entry("b.mp4", "B");
    FakeServer server;
    const std::string first = "First\n2026-12-01 08:00:00\r\nn=0123456789abcdef 2026-12-01\n";
    server.files = {{"a_comments.txt", first}};
    const auto fetch = [&] {
        FakeRemote remote(server);
        return publish::fetchComments(h.dir(), remote);
    };
    publish::FetchReport r = fetch();
    EXPECT_EQ(r.fresh, 1u) << "the first fetch counts all";

    const std::string held = "Hi\n2026-12-02 08:00:00\r\n"
                             "n=0123456789abcdef h=1 t=fedcba9876543210 a=Ren%C3%A9e%20B%25 2026-12-02\n",
                      reply = "Thanks\n2026-12-02 09:00:00\r\nhost s=00112233445566aa\n",
                      onB = "On b\n2026-12-02 10:00:00\r\nn=1111111111111111 t=2222222222222222\n";
    server.files = {{"a_comments.txt", first + held + reply}, {"b_comments.txt", onB}};
    r = fetch();
    EXPECT_EQ(r.fresh, 2u);
    const std::vector<std::pair<std::string, std::size_t>> byVideo = {{"a.mp4", 1}, {"b.mp4", 1}};
    EXPECT_EQ(r.freshByVideo, byVideo);
    const std::vector<publish::ListedComment> fresh = publish::newComments(h.dir());
    ASSERT_EQ(fresh.size(), 2u);
    EXPECT_EQ(fresh[0].comment.text, "Hi");
    EXPECT_EQ(fresh[0].comment.name, "Ren\xC3\xA9"
                                     "e B%");
    EXPECT_TRUE(fresh[0].comment.held);
    EXPECT_TRUE(fresh[0].waiting());
    EXPECT_EQ(fresh[1].comment.text, "On b");
    EXPECT_EQ(fresh[1].comment.name, "") << "no name given";
    EXPECT_FALSE(fresh[1].comment.held);
    const std::vector<publish::ListedComment> all = publish::fetchedComments(h.dir());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_TRUE(all[2].comment.host);
    EXPECT_FALSE(all[2].isNew) << "the host's own reply";
    EXPECT_FALSE(all[0].isNew || all[0].comment.held || all[0].comment.host);

    r = fetch();
    EXPECT_EQ(r.fresh, 0u);
    EXPECT_TRUE(r.freshByVideo.empty());
    EXPECT_TRUE(publish::newComments(h.dir()).empty());
}

} // namespace
} // namespace clipnest::testing
