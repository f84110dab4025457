#include "shell/preview_server.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace clipnest {

namespace {

// Every request goes through this router. The path is decoded once and must name one file right in the channel
// folder: no hidden name, no "..", no link that leads elsewhere; anything else is answered 404. PHP runs only for the
// channel's own pages (the rename page and the pages of the homepage's entries); any other .php is answered 404 and
// noted in the server's notes file. Every other file is served here, byte ranges included, so a video can be sought in.
constexpr std::string_view Router = R"php(<?php
function clipnest_refuse() {
    http_response_code(404);
    header('Content-Type: text/plain');
    echo "Not found\n";
    return true;
}
function clipnest_own_page($root, $name) {
    if ($name === 'change_file_name.php') {
        return true;
    }
    $stem = substr($name, 0, -4);
    if (substr($name, -4) !== '.php' || $stem === '' || strpos($stem, '.') !== false) {
        return false;
    }
    foreach (['homepage.html', 'Homepage.html', 'homepage.htm', 'Homepage.htm'] as $home) {
        $file = $root . '/' . $home;
        if (!is_link($file) && is_file($file)) {
            return strpos((string) file_get_contents($file), '<source src="' . $stem . '.') !== false;
        }
    }
    return false;
}
$root = realpath($_SERVER['DOCUMENT_ROOT']);
$uri = (string) $_SERVER['REQUEST_URI'];
$query = strpos($uri, '?');
$path = rawurldecode($query === false ? $uri : substr($uri, 0, $query));
if ($path === '/') {
    $path = '/homepage.html';
}
$name = (string) substr($path, 1);
if ($root === false || substr($path, 0, 1) !== '/' || $name === '' || $name[0] === '.' ||
    strpbrk($name, "/\\\0") !== false || strpos($name, '..') !== false) {
    return clipnest_refuse();
}
$real = realpath($root . '/' . $name);
if ($real === false || dirname($real) !== $root || basename($real)[0] === '.' || !is_file($real)) {
    return clipnest_refuse();
}
if (preg_match('/\.(php\d*|phtml|phar|pht|phps|inc)$/i', $name)) {
    if ($real !== $root . '/' . $name || !clipnest_own_page($root, $name)) {
        @file_put_contents((string) getenv('CLIPNEST_PREVIEW_NOTES'),
            "preview: " . $name . " is not one of the channel's pages, so it was not run (404)\n", FILE_APPEND | LOCK_EX);
        return clipnest_refuse();
    }
    return false;
}
$types = ['html' => 'text/html', 'htm' => 'text/html', 'css' => 'text/css', 'js' => 'text/javascript',
          'txt' => 'text/plain', 'xml' => 'application/xml', 'json' => 'application/json',
          'jpg' => 'image/jpeg', 'jpeg' => 'image/jpeg', 'png' => 'image/png', 'gif' => 'image/gif',
          'webp' => 'image/webp', 'svg' => 'image/svg+xml', 'ico' => 'image/x-icon',
          'mp4' => 'video/mp4', 'm4v' => 'video/mp4', 'mov' => 'video/quicktime', 'webm' => 'video/webm',
          'ogv' => 'video/ogg', 'ogg' => 'audio/ogg', 'mp3' => 'audio/mpeg', 'vtt' => 'text/vtt'];
$type = $types[strtolower(pathinfo($name, PATHINFO_EXTENSION))] ?? 'application/octet-stream';
$size = filesize($real);
$from = 0;
$to = $size - 1;
// No character set of PHP's own: the pages declare theirs (the homepage its code page), as a plain host leaves them.
ini_set('default_charset', '');
header('Content-Type: ' . $type);
header('Accept-Ranges: bytes');
$range = isset($_SERVER['HTTP_RANGE']) ? trim($_SERVER['HTTP_RANGE']) : '';
// One range is honoured; several, or one that cannot be read, get the whole file, as a server may answer.
if (preg_match('/^bytes=(\d*)-(\d*)$/', $range, $m) && ($m[1] !== '' || $m[2] !== '')) {
    if ($m[1] === '') {
        $from = max(0, $size - (int) $m[2]);
    } else {
        $from = (int) $m[1];
        $to = $m[2] === '' ? $size - 1 : min((int) $m[2], $size - 1);
    }
    if ($from >= $size || $from > $to || ($m[1] === '' && (int) $m[2] === 0)) {
        http_response_code(416);
        header('Content-Range: bytes */' . $size);
        return true;
    }
    http_response_code(206);
    header('Content-Range: bytes ' . $from . '-' . $to . '/' . $size);
}
header('Content-Length: ' . ($to - $from + 1));
if ($_SERVER['REQUEST_METHOD'] === 'HEAD') {
    return true;
}
$in = fopen($real, 'rb');
fseek($in, $from);
for ($left = $to - $from + 1; $left > 0 && !feof($in); $left -= strlen($chunk)) {
    $chunk = fread($in, min(1048576, $left));
    if ($chunk === false || $chunk === '') {
        break;
    }
    echo $chunk;
}
fclose($in);
return true;
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
    // The router lives outside the channel folder, so it is never uploaded with it, in a folder only this user can
    // enter, made afresh: nobody else can have put a file of their own in its place.
    std::error_code ec;
    std::string temporary = (std::filesystem::temp_directory_path(ec) / "clipnest-preview-XXXXXX").string();
    if (::mkdtemp(temporary.data()) == nullptr) {
        error = "the preview's folder could not be made in " + std::filesystem::temp_directory_path(ec).string() +
                " (" + std::strerror(errno) + ")";
        return std::nullopt;
    }
    privateDir_ = temporary;
    router_ = privateDir_ / "router.php";
    const int routerFd = ::open(router_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    const bool written =
        routerFd >= 0 && ::write(routerFd, Router.data(), Router.size()) == static_cast<ssize_t>(Router.size());
    if (routerFd < 0 || ::close(routerFd) != 0 || !written) {
        error = "the preview's router could not be written in " + privateDir_.string();
        stop();
        return std::nullopt;
    }
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
        // A few workers, so a video being fetched does not hold up the pages.
        ::setenv("PHP_CLI_SERVER_WORKERS", "4", 1);
        ::setenv("CLIPNEST_PREVIEW_NOTES", (privateDir_ / "notes").c_str(), 1);
        ::execlp("php", "php", "-q", "-S", listen.c_str(), "-t", folder.c_str(), router_.c_str(),
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
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
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
