#include "platform/preview_server.h"

#include "platform/launch.h"
#include "platform/program.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace clipnest {

namespace {

// A port that is free now: the system picks one for a socket bound to port 0.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    int port = -1;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

bool answers(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return connected;
}

// Writes the router as a new file only this user can read; false when it could not be written whole.
bool writeRouter(const std::filesystem::path& path, std::string_view router) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool written = fd >= 0 && ::write(fd, router.data(), router.size()) == static_cast<ssize_t>(router.size());
    return fd >= 0 && ::close(fd) == 0 && written;
}

// This process's environment with PHP's worker count, the folder of the router's notes and the names the server
// answers to (the router refuses a request for any other host) set.
std::vector<std::string> serverEnvironment(const std::filesystem::path& notes, int port) {
    const std::string p = std::to_string(port);
    std::vector<std::string> environment{"PHP_CLI_SERVER_WORKERS=4", // a video fetched does not hold up the pages
                                         "CLIPNEST_PREVIEW_NOTES=" + notes.string(),
                                         "CLIPNEST_PREVIEW_HOSTS=127.0.0.1:" + p + " localhost:" + p};
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view v(*variable);
        if (!v.starts_with("PHP_CLI_SERVER_WORKERS=") && !v.starts_with("CLIPNEST_PREVIEW_NOTES=") &&
            !v.starts_with("CLIPNEST_PREVIEW_HOSTS=")) {
            environment.emplace_back(v);
        }
    }
    return environment;
}

} // namespace

PreviewServer::~PreviewServer() {
    stop();
}

bool PreviewServer::phpInstalled() {
    return onPath("php");
}

Result<std::string> PreviewServer::start(const std::filesystem::path& folder, std::string_view router) {
    stop();
    if (!phpInstalled()) {
        return Failure{"php is not installed"};
    }
    // The router lives outside the channel folder, so it is never uploaded with it, in a folder only this user can
    // enter, made afresh: nobody else can have put a file of their own in its place.
    std::error_code ec;
    std::string temporary = (std::filesystem::temp_directory_path(ec) / "clipnest-preview-XXXXXX").string();
    if (::mkdtemp(temporary.data()) == nullptr) {
        return Failure{"the preview's folder could not be made in " +
                       std::filesystem::temp_directory_path(ec).string() + " (" + std::strerror(errno) + ")"};
    }
    privateDir_ = temporary;
    router_ = privateDir_ / "router.php";
    if (!writeRouter(router_, router)) {
        stop();
        return Failure{"the preview's router could not be written in " + privateDir_.string()};
    }
    const int port = freePort();
    if (port <= 0) {
        return Failure{"no free port on 127.0.0.1"};
    }
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    // A comment posted to try the pages mails the host nothing: the mail the pages send is the live server's.
    Launch how;
    how.argv = {"php",           "-q", "-d", "sendmail_path=cat > /dev/null", "-S", listen, "-t", folder.string(),
                router_.string()};
    how.environment = serverEnvironment(privateDir_ / "notes", port);
    // PHP's server in a process group of its own, led by a guard that ends the group when this process is gone,
    // however it ended: PHP's workers outlive their server, and nothing else would end them after a crash.
    how.guarded = true;
    pid_ = launch(how).pid;
    if (pid_ < 0) {
        return Failure{"the server could not be started"};
    }
    for (int i = 0; i < 250; ++i) {
        if (answers(port)) {
            address_ = "http://" + listen + "/";
            return address_ + "homepage.html";
        }
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    return Failure{"PHP's server did not start"};
}

std::vector<std::string> PreviewServer::takeNotes() {
    std::vector<std::string> notes;
    std::ifstream in(privateDir_ / "notes", std::ios::binary);
    in.seekg(static_cast<std::streamoff>(notesRead_));
    for (std::string line; in && std::getline(in, line) && !in.eof();) {
        notesRead_ += line.size() + 1;
        notes.push_back(line);
    }
    return notes;
}

void PreviewServer::stop() {
    if (pid_ > 0) {
        // The whole group: the guard, PHP's server and its workers.
        ::kill(-pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        ::kill(-pid_, SIGKILL);
        pid_ = -1;
    }
    if (!privateDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(privateDir_, ec);
        privateDir_.clear();
        router_.clear();
        notesRead_ = 0;
    }
    address_.clear();
}

} // namespace clipnest
