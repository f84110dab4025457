#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace clipnest {

// PHP's built-in web server for the channel folder, so the pages can be seen as a visitor sees them, comment boxes
// included, before they are uploaded. It listens on 127.0.0.1 only, on a free port, and serves nothing outside the
// folder and nothing hidden in it (names starting with a period, such as the undo history). It is stopped when the
// object goes.
class PreviewServer {
public:
    PreviewServer() = default;
    ~PreviewServer();
    PreviewServer(const PreviewServer&) = delete;
    PreviewServer& operator=(const PreviewServer&) = delete;

    // Whether `php` is on the PATH.
    static bool phpInstalled();

    // Starts serving `folder`; the address of its homepage ("http://127.0.0.1:PORT/homepage.html"), or nothing with
    // the reason in `error` when php is missing or the server did not come up.
    std::optional<std::string> start(const std::filesystem::path& folder, std::string& error);
    void stop();
    bool running() const { return pid_ > 0; }
    // The address the server answers at, "http://127.0.0.1:PORT/".
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::string address_;
    std::filesystem::path router_;
};

} // namespace clipnest
