// The server's folder as a publish sees it, through publish::openRemote as the program opens it: listed, looked up,
// renamed in and removed from, and files put into it, gone on from and stopped. Each test runs against OpenSSH's
// sshd (SFTP) and vsftpd (FTPS, which has no MLSD: its listing is LIST -a), started on loopback ports of their own.
#include "publish/connection_check.h"
#include "publish/ftp_listing.h"
#include "publish/remote.h"
#include "support/support.h"

#include <algorithm>
#include <climits>

namespace clipnest::testing {
namespace {

namespace fs = std::filesystem;
using publish::RemoteFile;
using publish::Upload;

// Sorted by name: each with its size when a plain file.
std::string described(std::vector<RemoteFile> files) {
    std::sort(files.begin(), files.end(), [](const RemoteFile& a, const RemoteFile& b) { return a.name < b.name; });
    std::string text;
    for (const RemoteFile& file : files) {
        text += file.name + (file.regular ? " " + std::to_string(file.size) : " (not a plain file)") + "\n";
    }
    return text;
}

// Bytes that differ from one place to the next, so a piece out of place shows.
std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    return bytes;
}

class RemoteFolder : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "sftp") {
            NEEDS(SshServer::available(), "root and openssh-server for an SFTP server");
            ssh_ = std::make_unique<SshServer>();
            // The test's own keys and known hosts, as the user's ssh would read them, and no agent's.
            ::setenv("CLIPNEST_SSH", sshOf(ssh_->home()).c_str(), 1);
            ::unsetenv("SSH_AUTH_SOCK");
        } else {
            NEEDS(FtpsServer::available(), "root and vsftpd for an FTPS server");
            ftps_ = std::make_unique<FtpsServer>();
            settings_.cacert = ftps_->cert().string();
        }
        // The home folder of the server's user: its ssh files, or the .netrc line of the FTP login.
        ::setenv("HOME", (ssh_ ? ssh_->home() : ftps_->home).c_str(), 1);
        remote_ = publish::openRemote(*publish::parseTarget(ssh_ ? ssh_->address() : ftps_->address()), settings_);
        ASSERT_EQ(remote_->connect(), "");
    }
    void TearDown() override {
        ::unsetenv("CLIPNEST_SSH");
        ::setenv("HOME", home_.c_str(), 1);
    }

    publish::Remote& remote() { return *remote_; }
    fs::path folder() const { return ssh_ ? ssh_->folder() : ftps_->channel; }
    fs::path local(const std::string& name) const { return local_.path() / name; }
    // A file left in the folder by someone else, writable by the server's user as if it had stored it.
    void place(const std::string& name, std::string_view bytes) {
        writeFile(folder() / name, bytes);
        if (ftps_) {
            shell("chown " + ftps_->owner + " " + quoted(folder() / name));
        }
    }

    struct Outcome {
        std::string returned, problem = "never finished";
        std::uintmax_t fewest = UINTMAX_MAX; // the fewest bytes the progress said the server held
    };
    // Puts one file; the cancel flag is set once the progress says `stopAt` bytes are there.
    Outcome put(const Upload& upload, std::uintmax_t stopAt = UINTMAX_MAX) {
        Outcome outcome;
        std::atomic<bool> cancel = false;
        publish::PutEvents events;
        events.progress = [&](std::size_t, std::uintmax_t sent, std::uintmax_t) {
            outcome.fewest = std::min(outcome.fewest, sent);
            cancel = cancel || sent >= stopAt;
        };
        events.finished = [&](std::size_t, const std::string& problem) { outcome.problem = problem; };
        outcome.returned = remote().put({upload}, events, cancel);
        return outcome;
    }
    // Ends the server and its connections.
    void dropConnection() {
        if (ssh_) {
            ssh_->killSessions();
            ssh_->stop();
        } else {
            ftps_->killSessions();
            ftps_->ftp.reset();
        }
    }

    std::unique_ptr<SshServer> ssh_;
    std::unique_ptr<FtpsServer> ftps_;
    publish::Settings settings_;

private:
    const std::string home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    std::unique_ptr<publish::Remote> remote_;
    TempDir local_;
};

INSTANTIATE_TEST_SUITE_P(Schemes, RemoteFolder, ::testing::Values("sftp", "ftps"));

// The connection test finds the folder writable and leaves nothing there; a folder that is not there is said with the
// login folder's top names; the folder list holds the folders alone, in name order.
TEST_P(RemoteFolder, TheConnectionTestAndTheFolderListSeeWhatIsThere) {
    using Outcome = publish::ConnectionReport::Outcome;
    publish::Settings settings = settings_;
    settings.to = ssh_ ? ssh_->address() : ftps_->address();
    fs::create_directories(folder() / "zebra");
    fs::create_directories(folder() / "alpha");
    place("notes.txt", "a file, not a folder");
    place(".hidden", "");

    publish::ConnectionReport report = publish::checkConnection(settings);
    EXPECT_EQ(report.outcome, Outcome::Writable) << report.text;
    const std::string folderName = ssh_ ? "public_html" : "channel";
    EXPECT_EQ(report.text, "Connected as " + std::string(ssh_ ? "root" : "anonymous") + "; " + folderName +
                               " holds alpha and 2 other files; writable");
    EXPECT_FALSE(fs::exists(folder() / ".clipnest-connection-test"));
    EXPECT_FALSE(fs::exists(folder() / publish::partName(".clipnest-connection-test")));

    // The folder as an address writes it: from the root with a slash (here the SFTP server's), else in the login
    // folder.
    const std::string path = ssh_ ? folder().string() : "channel";
    const Result<std::vector<std::string>> folders = publish::listFolders(settings, path);
    ASSERT_TRUE(folders) << why(folders);
    EXPECT_EQ(*folders, (std::vector<std::string>{"alpha", "zebra"}));
    EXPECT_FALSE(publish::listFolders(settings, path + "/nothere"));
    if (ftps_) {
        const Result<std::vector<std::string>> top = publish::listFolders(settings, "");
        ASSERT_TRUE(top) << why(top);
        EXPECT_EQ(*top, (std::vector<std::string>{"channel"}));
    }

    settings.to += "nothere/";
    report = publish::checkConnection(settings);
    EXPECT_EQ(report.outcome, Outcome::FolderMissing) << report.text;
    EXPECT_NE(report.text.find("nothere"), std::string::npos) << report.text;
    EXPECT_NE(report.text.find(" is not there"), std::string::npos) << report.text;
    if (ftps_) {
        EXPECT_EQ(report.loginTop, (std::vector<std::string>{"channel"}));
        EXPECT_EQ(report.text, "the folder channel/nothere in the login folder of anonymous on 127.0.0.1 is not there; "
                               "the login folder holds: channel; a folder from the server's root is written with two "
                               "slashes: ftps://anonymous@127.0.0.1:" +
                                   std::to_string(ftps_->port) + "//channel/nothere/");
    }

    if (ftps_) {
        // A folder that is there but that the server will not open is not said to be missing.
        fs::create_directories(ftps_->root / "locked");
        fs::permissions(ftps_->root / "locked", fs::perms::none);
        settings.to = "ftps://anonymous@127.0.0.1:" + std::to_string(ftps_->port) + "/locked/";
        report = publish::checkConnection(settings);
        EXPECT_NE(report.text.find("the folder locked in the login folder of anonymous on 127.0.0.1 does not exist or "
                                   "cannot be written"),
                  std::string::npos)
            << report.text;
    }
    settings.to = "ftp://127.0.0.1/x/";
    EXPECT_EQ(publish::checkConnection(settings).outcome, Outcome::BadAddress) << "plain FTP only when allowed";
}

TEST_P(RemoteFolder, ListsLooksUpRenamesAndRemoves) {
    place("a.mp4", "the video a");
    place(".htaccess", "rules");
    place("caf\xC3\xA9.mp4", "coffee");
    place("\xE2\x98\x83.mp4", "snow"); // no name of the code page
    fs::create_directory(folder() / "sub");
    fs::create_symlink("a.mp4", folder() / "link.php");
    std::vector<RemoteFile> files;
    ASSERT_EQ(remote().list(files), "");
    EXPECT_EQ(described(files), ".htaccess 5\na.mp4 11\ncaf\xE9.mp4 6\nlink.php (not a plain file)\n"
                                "sub (not a plain file)\n");
    ASSERT_EQ(remote().stat({"a.mp4", "sub", "missing.mp4", "caf\xE9.mp4", "link.php"}, files), "");
    EXPECT_EQ(described(files), "a.mp4 11\ncaf\xE9.mp4 6\nlink.php (not a plain file)\nsub (not a plain file)\n");

    // Never over what stands at the new name: both stay as they were.
    for (const std::string to : {"caf\xE9.mp4", "sub"}) {
        EXPECT_NE(remote().rename("a.mp4", to), "") << to;
    }
    EXPECT_EQ(readFile(folder() / "a.mp4"), "the video a");
    EXPECT_EQ(readFile(folder() / "caf\xC3\xA9.mp4"), "coffee");
    EXPECT_TRUE(fs::is_directory(folder() / "sub"));
    EXPECT_EQ(remote().rename("caf\xE9.mp4", "th\xE9.mp4"), "");
    EXPECT_EQ(readFile(folder() / "th\xC3\xA9.mp4"), "coffee");
    EXPECT_FALSE(fs::exists(folder() / "caf\xC3\xA9.mp4"));

    EXPECT_NE(remote().rename("missing.mp4", "b.mp4"), "");

    EXPECT_EQ(remote().remove("a.mp4"), "");
    EXPECT_FALSE(fs::exists(folder() / "a.mp4"));
    EXPECT_EQ(remote().remove("a.mp4"), "") << "not there is gone";
    EXPECT_NE(remote().remove("sub"), "") << "a folder stays";
    EXPECT_EQ(remote().lost(), "");
}

TEST_P(RemoteFolder, GoesOnFromAPartOnlyWhenItIsTheOneToGoOnFrom) {
    const std::string video = pattern(4 << 20), half = video.substr(0, video.size() / 2);
    const std::string part = ".big.mp4.clipnest-part";
    writeFile(local("big.mp4"), video);
    place(part, half);
    Outcome outcome = put({local("big.mp4"), "big.mp4", half.size()});
    EXPECT_EQ(outcome.problem, "");
    EXPECT_TRUE(readFile(folder() / "big.mp4") == video) << "the whole file in place";
    EXPECT_FALSE(fs::exists(folder() / part));
    EXPECT_GE(outcome.fewest, half.size()) << "the half on the server was not sent again";

    // A part of another size, or a link where the part stands (to a file of the right size): removed, and the file
    // is not put; nothing is written through the link.
    place("victim.bin", half);
    for (const bool link : {false, true}) {
        fs::remove(folder() / "big.mp4");
        if (link) {
            fs::create_symlink("victim.bin", folder() / part);
        } else {
            place(part, half.substr(1));
        }
        outcome = put({local("big.mp4"), "big.mp4", half.size()});
        EXPECT_NE(outcome.problem, "") << link;
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder() / part))) << link;
        EXPECT_FALSE(fs::exists(folder() / "big.mp4")) << link;
    }
    EXPECT_TRUE(readFile(folder() / "victim.bin") == half);

    // Whole, but a folder stands at the name: the part goes, and the connection is not lost over it.
    fs::create_directories(folder() / "big.mp4" / "inside");
    place(part, half);
    outcome = put({local("big.mp4"), "big.mp4", half.size()});
    EXPECT_EQ(outcome.returned, "");
    EXPECT_NE(outcome.problem, "");
    EXPECT_FALSE(fs::exists(folder() / part));
    EXPECT_TRUE(fs::is_directory(folder() / "big.mp4" / "inside"));
    EXPECT_EQ(remote().lost(), "");
}

// A file that fails leaves no part. A put stopped part way: its part goes unless kept, and the kept part is the
// file's beginning. The connection goes on: the next file goes up (over FTP on a new connection, and never through a
// link planted at its part's name).
TEST_P(RemoteFolder, AFailedOrStoppedPutLeavesNoPartUnlessKeptAndTheConnectionGoesOn) {
    const std::string video = pattern(32 << 20), part = ".big.mp4.clipnest-part";
    writeFile(local("big.mp4"), video);
    writeFile(local("a.php"), "the page");
    place("victim.txt", "the host's own file");
    fs::create_directories(folder() / "sub.php" / "inside");
    EXPECT_NE(put({local("a.php"), "sub.php"}).problem, "") << "a folder stands at the name";
    EXPECT_TRUE(fs::is_directory(folder() / "sub.php" / "inside"));
    EXPECT_FALSE(fs::exists(folder() / ".sub.php.clipnest-part"));
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "kept" : "not kept");
        const Outcome outcome = put({local("big.mp4"), "big.mp4", 0, keep}, 1 << 20);
        EXPECT_EQ(outcome.returned, "");
        EXPECT_EQ(outcome.problem, "stopped before big.mp4 was complete");
        EXPECT_FALSE(fs::exists(folder() / "big.mp4"));
        EXPECT_EQ(fs::exists(folder() / part), keep);
        const std::string kept = readFile(folder() / part);
        EXPECT_LT(kept.size(), video.size());
        EXPECT_TRUE(video.compare(0, kept.size(), kept) == 0) << "the part is the file's beginning";

        fs::remove(folder() / "a.php");
        fs::create_symlink("victim.txt", folder() / ".a.php.clipnest-part");
        EXPECT_EQ(put({local("a.php"), "a.php"}).problem, "");
        EXPECT_EQ(readFile(folder() / "a.php"), "the page");
        EXPECT_EQ(readFile(folder() / "victim.txt"), "the host's own file");
        std::vector<RemoteFile> found;
        EXPECT_EQ(remote().stat({"a.php"}, found), "");
        EXPECT_EQ(described(found), "a.php 8\n");
    }
}

TEST_P(RemoteFolder, ALostConnectionIsWhatEveryLaterCallSays) {
    dropConnection();
    std::vector<RemoteFile> files;
    const std::string lost = remote().list(files);
    EXPECT_NE(lost, "");
    EXPECT_EQ(remote().lost(), lost);
    EXPECT_EQ(remote().stat({"a.mp4"}, files), lost);
    EXPECT_EQ(remote().remove("a.mp4"), lost);
    EXPECT_EQ(put({local("a.php"), "a.php"}).returned, lost);
}

// An upload the server refuses once for a reason that may pass is sent again, and the files after it go up as well.
TEST(FtpUpload, ARefusalThatMayPassIsTriedAgainAndTheRestGoesOn) {
    NEEDS(onPath("python3"), "python3 for a fake FTP server");
    const TempDir dir;
    const fs::path served = dir.path() / "served";
    fs::create_directories(served);
    const int port = freePort();
    const Process server({"python3", (fs::path(__FILE__).parent_path() / "support/fake_ftp.py").string(),
                          std::to_string(port), "stor426once", "", served.string()},
                         dir.path() / "ftp.log");
    ASSERT_TRUE(answersSoon(port));
    writeFile(dir.path() / "a.php", "page a");
    writeFile(dir.path() / "b.php", "page b");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", dir.path().c_str(), 1); // no .netrc: the anonymous login
    const std::unique_ptr<publish::Remote> remote =
        publish::openRemote(*publish::parseTarget("ftp://127.0.0.1:" + std::to_string(port) + "/"), {});
    std::vector<std::string> problems(2, "never finished");
    publish::PutEvents events;
    events.finished = [&](std::size_t index, const std::string& problem) { problems[index] = problem; };
    const std::atomic<bool> cancel = false;
    EXPECT_EQ(remote->put({{dir.path() / "a.php", "a.php"}, {dir.path() / "b.php", "b.php"}}, events, cancel), "");
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(problems, (Names{"", ""}));
    EXPECT_EQ(filesOf(served), (Files{{"a.php", "page a"}, {"b.php", "page b"}}));
    EXPECT_EQ(remote->lost(), "");
}

// A server that opens no data connection for any upload: that is the connection's problem, which ends the put and is
// said once, not each file's.
TEST(FtpUpload, AServerThatTakesNoUploadAtAllIsTheConnectionsProblem) {
    const TempDir dir;
    const int port = freePort();
    const Process server({"python3", (fs::path(__FILE__).parent_path() / "support/fake_ftp.py").string(),
                          std::to_string(port), "stor425", "", dir.path().string()},
                         dir.path() / "ftp.log");
    ASSERT_TRUE(answersSoon(port));
    std::vector<publish::Upload> uploads;
    for (const std::string name : {"a.php", "b.php", "c.php", "d.php"}) {
        writeFile(dir.path() / name, "page");
        uploads.push_back({dir.path() / name, name});
    }
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", dir.path().c_str(), 1); // no .netrc: the anonymous login
    const std::unique_ptr<publish::Remote> remote =
        publish::openRemote(*publish::parseTarget("ftp://127.0.0.1:" + std::to_string(port) + "/"), {});
    std::vector<std::string> problems;
    publish::PutEvents events;
    events.finished = [&](std::size_t, const std::string& problem) { problems.push_back(problem); };
    const std::atomic<bool> cancel = false;
    const std::string lost = remote->put(uploads, events, cancel);
    ::setenv("HOME", home.c_str(), 1);
    EXPECT_NE(lost.find("the server could not open a connection for the files"), std::string::npos) << lost;
    EXPECT_EQ(remote->lost(), lost);
    EXPECT_LE(problems.size(), 1u) << "the files after the first were never tried";
}

// Listings as other FTP servers give them: MLSD with its facts in any case and the folder's own entries, and ls -l
// lines with a link's target, an owner named like a month, a year for the time and blanks in names.
TEST(FtpListing, ReadsMlsdAndLsLinesAndRefusesWhatItCannotRead) {
    std::vector<RemoteFile> files;
    std::string unread;
    ASSERT_TRUE(publish::readMlsd("type=cdir;modify=20261210165043; .\r\ntype=pdir; ..\r\n"
                                  "Type=File;Size=11;modify=20261210165043; a b.mp4\r\ntype=dir;sizd=4096; sub\r\n"
                                  "type=OS.unix=symlink;size=5; link.php\r\ntype=file;size=3; .htaccess\r\n"
                                  "type=file;size=2; \xE2\x98\x83\r\n",
                                  files, unread));
    EXPECT_EQ(described(files), ".htaccess 3\na b.mp4 11\nlink.php (not a plain file)\nsub (not a plain file)\n");
    files.clear();
    ASSERT_TRUE(publish::readLsLines("total 12\r\n-rw-r--r--    1 1000     may            11 Dec 10 16:50 a b.mp4\r\n"
                                     "drwxr-xr-x    2 0        0            4096 Jan  1  2025 sub\r\n"
                                     "lrwxrwxrwx    1 0        0               5 Dec 10 16:50 link.php -> a.mp4\r\n"
                                     "-rw-r--r--    1 0        0               6 Dec 10 16:50 caf\xC3\xA9.mp4\r\n"
                                     "drwxr-xr-x    2 0        0            4096 Dec 10 16:50 ..\r\n",
                                     files, unread));
    EXPECT_EQ(described(files), "a b.mp4 11\ncaf\xE9.mp4 6\nlink.php (not a plain file)\nsub (not a plain file)\n");

    // A listing only partly understood would make files there look absent.
    EXPECT_FALSE(publish::readLsLines("12-10-26  04:50PM       <DIR>          sub\r\n", files, unread));
    EXPECT_EQ(unread, "12-10-26  04:50PM       <DIR>          sub");
    EXPECT_FALSE(publish::readLsLines("-rw-r--r-- 1 0 0 11 2026-12-10 16:50 a.mp4\n", files, unread)) << "no month";
    EXPECT_FALSE(publish::readMlsd("a.mp4\r\n", files, unread));
    EXPECT_FALSE(publish::readMlsd("size=eleven; a.mp4\r\n", files, unread));
}

} // namespace
} // namespace clipnest::testing
