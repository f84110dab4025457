#include "shell/preview_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clipnest {

namespace {

// Every request goes through this: a path with a part that starts with a period is not served (the undo history,
// editors' and our own temporary files); everything else PHP's server serves from the folder, as a host would.
constexpr std::string_view Router = R"php(<?php
$path = rawurldecode((string) parse_url($_SERVER["REQUEST_URI"], PHP_URL_PATH));
if (preg_match('#(^|/)\.#', $path)) {
    http_response_code(404);
    echo "Not found";
    return true;
}
return false;
)php";

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

} // namespace

PreviewServer::~PreviewServer() {
    stop();
}

bool PreviewServer::phpInstalled() {
    return std::system("command -v php > /dev/null 2>&1") == 0;
}

std::optional<std::string> PreviewServer::start(const std::filesystem::path& folder, std::string& error) {
    stop();
    if (!phpInstalled()) {
        error = "php is not installed";
        return std::nullopt;
    }
    // The router lives outside the channel folder, so it is never uploaded with it.
    std::error_code ec;
    router_ = std::filesystem::temp_directory_path(ec) / ("clipnest-preview-" + std::to_string(::getpid()) + ".php");
    std::ofstream(router_, std::ios::binary) << Router;
    const int port = freePort();
    if (port <= 0) {
        error = "no free port on 127.0.0.1";
        return std::nullopt;
    }
    const std::string listen = "127.0.0.1:" + std::to_string(port);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execlp("php", "php", "-S", listen.c_str(), "-t", folder.c_str(), router_.c_str(),
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (pid_ < 0) {
        error = "the server could not be started";
        return std::nullopt;
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
    error = "PHP's server did not start";
    return std::nullopt;
}

void PreviewServer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (!router_.empty()) {
        std::error_code ec;
        std::filesystem::remove(router_, ec);
        router_.clear();
    }
    address_.clear();
}

} // namespace clipnest
