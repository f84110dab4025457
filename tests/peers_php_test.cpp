// The generated PHP pages run by PHP itself: lint, string literals evaluated by the interpreter, and the comment box
// and rename page served by PHP's built-in web server and driven over real HTTP.
#include "app/page_text.h"
#include "homepage/document.h"
#include "pages/individual_page.h"
#include "pages/rename_page.h"
#include "support/test_support.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

namespace clipnest {
namespace {

using testing::Harness;
using testing::TempDir;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool havePhp() {
    return std::system("php -v > /dev/null 2>&1") == 0;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Runs a shell command, returning its exit status and (via `out`) everything it printed.
int run(const std::string& command, std::string& out) {
    const TempDir tmp;
    const fs::path log = tmp.path() / "out.txt";
    const int rc = std::system((command + " > '" + log.string() + "' 2>&1").c_str());
    out = readFile(log);
    return rc;
}

std::string hex(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 15];
    }
    return out;
}

// ---- PHP's built-in web server and a minimal HTTP/1.0 client ----

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

int connectTo(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string percentEncoded(std::string_view bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (std::isalnum(b) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

struct Response {
    int status = 0;
    std::string body;
};

class PhpServer {
public:
    // Serves `root` on a free loopback port; every diagnostic goes to the log, none into the pages.
    explicit PhpServer(const fs::path& root) : log_(logDir_.path() / "server.log") {
        for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
            port_ = freePort();
            const std::string address = "127.0.0.1:" + std::to_string(port_);
            pid_ = ::fork();
            if (pid_ == 0) {
                const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
                ::dup2(fd, 1);
                ::dup2(fd, 2);
                ::execlp("php", "php", "-n", "-d", "error_reporting=-1", "-d", "display_errors=0", "-d", "log_errors=1",
                         "-S", address.c_str(), "-t", root.c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
            if (!waitUntilListening()) {
                stop();
            }
        }
    }
    ~PhpServer() { stop(); }
    PhpServer(const PhpServer&) = delete;
    PhpServer& operator=(const PhpServer&) = delete;

    bool running() const { return pid_ > 0; }

    Response request(const std::string& path, const std::string* form = nullptr) const {
        Response response;
        const int fd = connectTo(port_);
        if (fd < 0) {
            return response;
        }
        std::string req = (form ? "POST /" : "GET /") + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
        if (form) {
            req +=
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + std::to_string(form->size()) +
                "\r\n\r\n" + *form;
        } else {
            req += "\r\n";
        }
        std::string_view rest = req;
        while (!rest.empty()) {
            const ssize_t n = ::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        std::string raw;
        char buffer[8192];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
            raw.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(fd);
        const std::size_t head = raw.find("\r\n\r\n");
        if (raw.starts_with("HTTP/") && head != std::string::npos) {
            response.status = std::atoi(raw.c_str() + raw.find(' ') + 1);
            response.body = raw.substr(head + 4);
        }
        return response;
    }

    // Lines of the log written since the last call that name a PHP diagnostic.
    std::vector<std::string> newDiagnostics() {
        const std::string log = readFile(log_);
        std::vector<std::string> found;
        std::istringstream lines(log.substr(std::min(seen_, log.size())));
        seen_ = log.size();
        for (std::string line; std::getline(lines, line);) {
            for (const char* word : {"Warning", "Notice", "Deprecated", "Fatal", "Parse error"}) {
                if (line.find(word) != std::string::npos) {
                    found.push_back(line);
                    break;
                }
            }
        }
        return found;
    }

private:
    bool waitUntilListening() const {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                return false;
            }
            if (const int fd = connectTo(port_); fd >= 0) {
                ::close(fd);
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void stop() {
        if (pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGTERM);
        const auto end = std::chrono::steady_clock::now() + 5s;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(10ms);
        }
        pid_ = -1;
    }

    TempDir logDir_;
    fs::path log_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::size_t seen_ = 0;
};

// ---- The comment box of a generated individual page, served for real ----

const std::string VideoName = "Bob's $clip {1}.mp4";
const std::string PageName = "Bob's $clip {1}.php";
const std::string CommentsName = "Bob's $clip {1}_comments.txt";
const std::string SizeName = "Bob's $clip {1}.txt";

class CommentBox : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!havePhp()) {
            return;
        }
        harness_ = new Harness();
        Form& f = harness_->form();
        f.controls.Text2 = VideoName;
        f.controls.Text4 = "About it";
        f.Command1();
        harness_->runChains();
        server_ = new PhpServer(harness_->dir());
    }
    static void TearDownTestSuite() {
        delete server_;
        delete harness_;
        server_ = nullptr;
        harness_ = nullptr;
    }
    void SetUp() override {
        if (!havePhp()) {
            GTEST_SKIP() << "php is not on PATH";
        }
        ASSERT_TRUE(harness_->has(PageName));
        ASSERT_TRUE(server_->running());
        fs::remove(dir() / CommentsName);
        fs::remove(dir() / SizeName);
    }
    void TearDown() override {
        if (server_ != nullptr) {
            EXPECT_EQ(server_->newDiagnostics(), std::vector<std::string>{});
        }
    }

    static fs::path dir() { return harness_->dir(); }
    static std::string comments() { return readFile(dir() / CommentsName); }

    // Posts the form as the page's own form does; `text` is sent as typed, percent-encoded.
    static Response post(std::string_view text) {
        const std::string form = "text=" + percentEncoded(text);
        return server_->request(percentEncoded(PageName), &form);
    }
    // What the page shows inside its comments box.
    static std::string shown(const Response& r) {
        const std::string open = "style=\"width: 400px; height: 470px\" readonly>";
        const std::size_t from = r.body.find(open);
        const std::size_t to = r.body.rfind("</textarea>");
        if (from == std::string::npos || to == std::string::npos || to < from) {
            return "<no comments box>";
        }
        return r.body.substr(from + open.size(), to - from - open.size());
    }

    static Harness* harness_;
    static PhpServer* server_;
};

Harness* CommentBox::harness_ = nullptr;
PhpServer* CommentBox::server_ = nullptr;

const std::regex StoredDate(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\r\n\n)");

TEST_F(CommentBox, PageIsServedAndEachCommentIsStoredWithDateAndEmptyLine) {
    const Response page = server_->request(percentEncoded(PageName));
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<source src=\"Bob's $clip {1}.mp4\""), std::string::npos);
    EXPECT_FALSE(fs::exists(dir() / CommentsName)) << "a plain visit stores nothing";

    const Response first = post("Nice one");
    EXPECT_EQ(first.status, 200);
    post("Line one\r\nline two");
    const std::string stored = comments();
    EXPECT_TRUE(std::regex_match(stored, std::regex("Nice one\n" + std::string(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)") +
                                                    "\r\n\nLine one\r\nline two\n.*\r\n\n")))
        << stored;
    EXPECT_NE(shown(first).find("Nice one\n"), std::string::npos) << shown(first);
}

TEST_F(CommentBox, MarkupInACommentIsShownAsText) {
    const std::string attack = "</textarea><script>alert(1)</script>";
    const Response r = post(attack);
    EXPECT_EQ(comments().substr(0, attack.size() + 1), attack + "\n");
    EXPECT_NE(shown(r).find("&lt;/textarea&gt;&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(r.body.find("<script>alert"), std::string::npos);
}

TEST_F(CommentBox, FiveHundredCharactersAreStoredAndOneMoreIsRefused) {
    std::string limit;
    for (int i = 0; i < 500; ++i) {
        limit += i % 2 ? "\xC3\xA9" : "x"; // 500 characters, 750 bytes
    }
    post(limit);
    EXPECT_EQ(comments().substr(0, limit.size() + 1), limit + "\n");

    const std::string before = comments();
    const Response r = post(limit + "y");
    EXPECT_NE(r.body.find("Sorry, comments are limited to 500 characters."), std::string::npos);
    EXPECT_EQ(comments(), before);
}

TEST_F(CommentBox, FullEntryRefusesComments) {
    writeFile(dir() / SizeName, std::string(30001, 'x'));
    const Response r = post("one more");
    EXPECT_NE(r.body.find("Sorry, comments for this entry are full."), std::string::npos);
    EXPECT_FALSE(fs::exists(dir() / CommentsName));

    writeFile(dir() / SizeName, std::string(30000, 'x'));
    const Response fits = post("still fits");
    EXPECT_EQ(fits.body.find("Sorry"), std::string::npos);
    EXPECT_EQ(comments().substr(0, 11), "still fits\n");
}

TEST_F(CommentBox, OddPostsStoreNothingHarmful) {
    const std::string arrayField = "text%5B%5D=x";
    const Response array = server_->request(percentEncoded(PageName), &arrayField);
    EXPECT_EQ(array.status, 200);
    EXPECT_FALSE(fs::exists(dir() / CommentsName)) << "an array in place of the text is ignored";

    const std::string noText = "date=2020-01-01&other=1";
    server_->request(percentEncoded(PageName), &noText);
    EXPECT_FALSE(fs::exists(dir() / CommentsName));

    // Bytes that are not UTF-8 are kept as posted; the box still shows them (substituted) and the comments after.
    const std::string invalid = "ab\xFF\xFE\xC3(";
    post(invalid);
    const Response later = post("after");
    EXPECT_EQ(comments().substr(0, invalid.size() + 1), invalid + "\n");
    EXPECT_NE(shown(later).find("ab\xEF\xBF\xBD"), std::string::npos) << shown(later);
    EXPECT_NE(shown(later).find("after\n"), std::string::npos) << "one bad comment must not hide the others";
}

// ---- The rename page, served for real ----

TEST(RenamePageServed, EachOutcomePrintsItsLine) {
    if (!havePhp()) {
        GTEST_SKIP() << "php is not on PATH";
    }
    Harness h;
    Form& f = h.form();
    f.controls.Text18 = "my $clip's.mp4";
    f.controls.Text24 = "new & \"better\".mp4";
    f.Command10();
    PhpServer server(h.dir());
    ASSERT_TRUE(server.running());

    h.put("my $clip's.mp4", "video");
    const Response renamed = server.request("change_file_name.php");
    EXPECT_EQ(renamed.body, "Successfully Renamed my $clip&#039;s.mp4 to new &amp; &quot;better&quot;.mp4");
    EXPECT_EQ(h.file("new & \"better\".mp4"), "video");
    EXPECT_FALSE(h.has("my $clip's.mp4"));
    EXPECT_EQ(server.newDiagnostics(), std::vector<std::string>{});

    h.put("my $clip's.mp4", "another");
    EXPECT_EQ(server.request("change_file_name.php").body, "A File With The Same Name Already Exists");
    EXPECT_EQ(h.file("my $clip's.mp4"), "another");
    EXPECT_EQ(h.file("new & \"better\".mp4"), "video");
    EXPECT_EQ(server.newDiagnostics(), std::vector<std::string>{});

    fs::remove(h.dir() / "my $clip's.mp4");
    fs::remove(h.dir() / "new & \"better\".mp4");
    EXPECT_EQ(server.request("change_file_name.php").body, "Error While Renaming my $clip&#039;s.mp4");
    EXPECT_FALSE(h.has("new & \"better\".mp4"));
    // PHP's rename() itself logs why it failed; nothing else may appear.
    for (const std::string& line : server.newDiagnostics()) {
        EXPECT_NE(line.find("rename("), std::string::npos) << line;
    }
}

// ---- Names through the interpreter ----

// A random name the request accepts: printable code-page characters but the reserved ones, a period after the first
// character, no blank at either end (the click trims them).
std::string randomName(std::mt19937& random) {
    static const std::string allowed = [] {
        std::string chars;
        for (int b = 0x20; b <= 0xFF; ++b) {
            const char c = static_cast<char>(b);
            const bool undefined = b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
            if (!undefined && std::string_view("\\/:*?\"<>|.").find(c) == std::string_view::npos) {
                chars += c;
            }
        }
        return chars;
    }();
    const auto piece = [&](int length) {
        std::string s;
        for (int i = 0; i < length; ++i) {
            s += allowed[random() % allowed.size()];
        }
        return s;
    };
    std::string name = piece(1 + static_cast<int>(random() % 12)) + "." + piece(static_cast<int>(random() % 5));
    while (name.front() == ' ') {
        name.front() = '_';
    }
    while (name.back() == ' ') {
        name.back() = '_';
    }
    return name;
}

// The PHP expression between `open` and `close` on the first line holding both.
std::string literalBetween(const std::string& page, std::string_view open, std::string_view close) {
    const std::size_t at = page.find(open);
    if (at == std::string::npos) {
        return "'<missing " + std::string(open) + ">'";
    }
    const std::size_t from = at + open.size();
    return page.substr(from, page.find(close, from) - from);
}

struct Literal {
    std::string expression; // as the page writes it
    std::string expected;   // the bytes PHP must make of it
};

void addPageLiterals(std::vector<Literal>& literals, const std::string& page, const std::string& lessExt) {
    literals.push_back({literalBetween(page, "$filename = ", ";\n"), lessExt + ".txt"});
    const std::string comments = lessExt + "_comments.txt";
    literals.push_back({literalBetween(page, "if (is_file(", ")) {"), comments});
    literals.push_back({literalBetween(page, "$data = file_get_contents(", ");"), comments});
    literals.push_back({literalBetween(page, "file_put_contents(", ", $txt"), comments});
}

// Evaluates every literal in one PHP process and compares the bytes it produces.
void expectRoundTrip(const std::vector<Literal>& literals) {
    const TempDir tmp;
    std::string script = "<?php\n";
    for (const Literal& l : literals) {
        script += "echo bin2hex(" + l.expression + "), \"\\n\";\n";
    }
    writeFile(tmp.path() / "literals.php", script);
    std::string out;
    const int rc = run(
        "php -n -d error_reporting=-1 -d display_errors=stderr '" + (tmp.path() / "literals.php").string() + "'", out);
    ASSERT_EQ(rc, 0) << out.substr(0, 2000);
    std::istringstream lines(out);
    std::size_t i = 0;
    int failures = 0;
    for (std::string line; std::getline(lines, line) && i < literals.size(); ++i) {
        if (line != hex(literals[i].expected) && ++failures <= 5) {
            ADD_FAILURE() << literals[i].expression << " gives " << line << ", not " << hex(literals[i].expected);
        }
    }
    EXPECT_EQ(i, literals.size()) << out.substr(0, 2000);
}

TEST(PhpNames, GeneratedPagesPassLintAndTheirLiteralsGiveBackTheName) {
    if (!havePhp()) {
        GTEST_SKIP() << "php is not on PATH";
    }
    std::mt19937 random(20240611);
    std::vector<Literal> literals;

    // Pages made by the Form itself, from names typed as UTF-8, each linted.
    Harness h;
    Form& f = h.form();
    std::vector<std::string> names = {"Bob's clip.mp4", "a$b.mp4", "{$x}.mp4", "${y}'.mp4", "it's $5 {now}.mov"};
    for (int i = 0; i < 20; ++i) {
        names.push_back(randomName(random));
    }
    for (const std::string& name : names) {
        f.controls.Text2 = codePageToUtf8(name);
        f.controls.Text4 = "About it";
        f.controls.Text18 = codePageToUtf8(name);
        f.controls.Text24 = codePageToUtf8(name) + ".old";
        f.Command1();
        f.Command10();
        h.runChains();
        ASSERT_EQ(f.request.FileName, name) << "the typed name reaches the request unchanged";
        const std::string page = f.request.FileNameLessExt + ".php";
        ASSERT_TRUE(h.has(page)) << name;
        for (const std::string& file : {page, std::string("change_file_name.php")}) {
            // Linted under a plain name: the real one is no business of the shell's.
            const TempDir tmp;
            writeFile(tmp.path() / "lint.php", h.file(file));
            std::string out;
            EXPECT_EQ(run("php -n -l " + (tmp.path() / "lint.php").string(), out), 0) << name << ": " << out;
        }
        addPageLiterals(literals, h.file(page), f.request.FileNameLessExt);
        const std::string rename = h.file("change_file_name.php");
        literals.push_back({literalBetween(rename, "$old_name = ", " ;\n"), name});
        literals.push_back({literalBetween(rename, "$new_name = ", " ;\n"), name + ".old"});
    }

    // Many more names through the same fill and rename builders, all evaluated in one PHP process.
    for (int i = 0; i < 3000; ++i) {
        const std::string name = randomName(random);
        ASSERT_TRUE(isValidFileName(name)) << name;
        const std::string lessExt(withoutExtension(name));
        std::string page = buildIndividualPageTemplate();
        fillIndividualPage(page, name, lessExt, "d");
        addPageLiterals(literals, page, lessExt);
        const std::string rename = buildRenamePage(name, lessExt);
        literals.push_back({literalBetween(rename, "$old_name = ", " ;\n"), name});
        literals.push_back({literalBetween(rename, "$new_name = ", " ;\n"), lessExt});
    }
    expectRoundTrip(literals);
}

} // namespace
} // namespace clipnest
