// The preview serves the channel folder as the host's server would, on this computer only, and nothing else.
#include "shell/preview_server.h"
#include "support/test_support.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace clipnest::testing {
namespace {

struct Answer {
    int status = 0;
    std::string body;
};

Answer curl(const std::string& args) {
    FILE* pipe = ::popen(("curl -s --path-as-is --max-time 10 -w '\\n%{http_code}' " + args).c_str(), "r");
    std::string out;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        out.append(buffer.data(), n);
    }
    ::pclose(pipe);
    const std::size_t last = out.rfind('\n');
    return {std::atoi(out.c_str() + last + 1), out.substr(0, last)};
}

bool haveTools() {
    return PreviewServer::phpInstalled() && std::system("command -v curl > /dev/null 2>&1") == 0;
}

// What a served page and a served request must show: the pages, a posted comment, and no file that is hidden or
// outside the folder.
void expectServedAsAVisitorSeesIt(const Harness& h, const std::string& base) {
    EXPECT_EQ(base.rfind("http://127.0.0.1:", 0), 0u) << "loopback only: " << base;
    const Answer home = curl("'" + base + "homepage.html'");
    EXPECT_EQ(home.status, 200);
    EXPECT_NE(home.body.find("<source src=\"roses.mp4\""), std::string::npos);
    EXPECT_EQ(curl("'" + base + "roses.php'").status, 200);
    const Answer posted = curl("--data-urlencode 'text=Lovely roses' '" + base + "roses.php'");
    EXPECT_NE(posted.body.find("Lovely roses"), std::string::npos) << posted.body.substr(0, 300);
    EXPECT_NE(h.file("roses_comments.txt").find("Lovely roses"), std::string::npos);

    const Answer history = curl("'" + base + ".clipnest/history/000001/operation'");
    EXPECT_EQ(history.status, 404);
    EXPECT_EQ(history.body.find("label"), std::string::npos);
    const Answer outside = curl("'" + base + "../secret.txt'");
    EXPECT_EQ(outside.body.find("outside the channel"), std::string::npos) << "a file beside the folder was served";
}

TEST(Preview, ServesTheChannelFolderAndNothingElse) {
    if (!haveTools()) {
        GTEST_SKIP() << "php or curl is not installed";
    }
    Harness h;
    createEntry(h, "roses.mp4", "Roses");
    std::ofstream(h.dir().parent_path() / "secret.txt") << "outside the channel";
    {
        PreviewServer server;
        std::string problem;
        const std::optional<std::string> address = server.start(h.dir(), problem);
        ASSERT_TRUE(address.has_value()) << problem;
        EXPECT_EQ(*address, server.address() + "homepage.html");
        expectServedAsAVisitorSeesIt(h, server.address());
    }
    // Gone with its owner: nothing answers there any more.
    std::filesystem::remove(h.dir().parent_path() / "secret.txt");
}

// `clipnest preview` prints the address, serves until Ctrl+C, and stops its server then.
TEST(Preview, CommandServesUntilInterrupted) {
    if (!haveTools()) {
        GTEST_SKIP() << "php or curl is not installed";
    }
    Harness h;
    createEntry(h, "roses.mp4", "Roses");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::execl(CLIPNEST_PROGRAM, CLIPNEST_PROGRAM, "-C", h.dir().c_str(), "preview", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    for (char c; line.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1;) {
        line += c;
    }
    const std::size_t from = line.find("http://");
    const std::size_t to = line.find("homepage.html");
    ASSERT_NE(to, std::string::npos) << line;
    const std::string base = line.substr(from, to - from);
    expectServedAsAVisitorSeesIt(h, base);
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(curl("'" + base + "homepage.html'").status, 200) << "the server stopped with the command";
}

} // namespace
} // namespace clipnest::testing
