#pragma once

#include "platform/result.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace clipnest {

// PHP's built-in web server for the channel folder, so the pages can be seen as a visitor sees them, comment boxes
// included, before they are uploaded. It listens on 127.0.0.1 only, on a free port, and answers only requests for its
// own names (127.0.0.1:PORT, localhost:PORT; any other Host gets 421, so a name rebound to 127.0.0.1 reaches nothing).
// It serves only the files right in the folder: nothing outside it, nothing hidden in it (names starting with a
// period, such as the undo history), no link that leads elsewhere, and PHP only for the channel's own pages. It is
// stopped when the object goes.
class PreviewServer {
public:
    PreviewServer() = default;
    ~PreviewServer();
    PreviewServer(const PreviewServer&) = delete;
    PreviewServer& operator=(const PreviewServer&) = delete;

    // Whether `php` is on the PATH.
    static bool phpInstalled();

    // Starts serving `folder` through `router`, the PHP program every request goes to (the text layer's
    // templates::previewRouter()); the address of its homepage ("http://127.0.0.1:PORT/homepage.html"), or a failure
    // with the reason when php is missing or the server did not come up.
    Result<std::string> start(const std::filesystem::path& folder, std::string_view router);
    void stop();
    bool running() const { return pid_ > 0; }
    // What the server refused to run since the last call, a line each ("preview: evil.php is not ...").
    std::vector<std::string> takeNotes();
    // The address the server answers at, "http://127.0.0.1:PORT/".
    const std::string& address() const { return address_; }

private:
    pid_t pid_ = -1;
    std::size_t notesRead_ = 0;
    std::string address_;
    // The server's own folder (made by mkdtemp, so only this user enters it) and the router in it.
    std::filesystem::path privateDir_;
    std::filesystem::path router_;
};

} // namespace clipnest
