#include "platform/code_page.h"
#include "platform/working_folder.h"
#include "publish/netrc.h"
#include "publish/remote.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fstream>
#include <sstream>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

namespace clipnest::publish {

namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return h ? h : "";
}

struct Transfer {
    std::FILE* file = nullptr;
    const PutEvents* events = nullptr;
    std::size_t index = 0;
    const std::atomic<bool>* cancel = nullptr;
};

std::size_t appendChunk(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* bytes = static_cast<std::string*>(data);
    if (bytes->size() + size * count > MaxFetched) {
        return 0;
    }
    bytes->append(buffer, size * count);
    return size * count;
}

std::size_t readChunk(char* buffer, std::size_t size, std::size_t count, void* data) {
    return std::fread(buffer, size, count, static_cast<Transfer*>(data)->file);
}

int onProgress(void* data, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent) {
    const auto* t = static_cast<Transfer*>(data);
    if (t->events && t->events->progress) {
        t->events->progress(t->index, static_cast<std::uintmax_t>(sent), static_cast<std::uintmax_t>(total));
    }
    return t->cancel && t->cancel->load() ? 1 : 0;
}

// FTP and FTPS through libcurl, one control connection kept from file to file. The login comes from ~/.netrc, read
// here so that an address naming its user (ftps://bob@host/) finds bob's line.
class Ftp final : public Remote {
public:
    Ftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel)
        : target_(target), settings_(settings), cancel_(cancel) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        curl_ = curl_easy_init();
        multi_ = curl_multi_init();
        std::ifstream netrc(home() + "/.netrc", std::ios::binary);
        std::stringstream text;
        text << netrc.rdbuf();
        login_ = netrcLogin(text.str(), target.host, target.user);
    }
    ~Ftp() override {
        curl_multi_cleanup(multi_);
        curl_easy_cleanup(curl_);
    }

    std::string connect() override;
    std::string put(const std::vector<Upload>& files, const PutEvents& events,
                    const std::atomic<bool>& cancel) override;
    std::string get(const std::string& name, std::string& bytes, bool& missing) override;
    std::string exists(const std::string& name, bool& there);
    std::string stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) override {
        found.clear();
        for (const std::string& name : names) {
            bool there = false;
            if (std::string problem = exists(name, there); !problem.empty()) {
                return problem;
            }
            if (there) {
                found.push_back({name, 0});
            }
        }
        return "";
    }
    std::string list(std::vector<RemoteFile>& files) override {
        files.clear();
        return "listing is not done yet";
    }
    std::string rename(const std::string&, const std::string&) override { return "renaming is not done yet"; }
    std::string remove(const std::string&) override { return "removing is not done yet"; }
    std::string lost() const override { return lost_; }

    // The pauses between tries of a transfer that failed for a reason that may pass, in milliseconds.
    int firstPauseMs = 1000;

private:
    // Sets up the handle for one request on `name` (the folder itself when empty).
    void prepare(const std::string& name, char* errorText);
    // The words for a failed request; `fatal` when it concerns the connection or the login, not one file, and
    // `mayPass` when trying again may help.
    std::string failure(CURLcode code, long response, const char* errorText, const std::string& name, bool& fatal,
                        bool& mayPass) const;

    // Runs the request set up on the handle to its end.
    CURLcode perform();

    Target target_;
    Settings settings_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::optional<NetrcLogin> login_;
    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr; // keeps the connection from one request to the next

    bool connected_ = false;
    std::string lost_;
};

void Ftp::prepare(const std::string& name, char* errorText) {
    curl_easy_reset(curl_);
    // The server's file names are UTF-8, as the desktop's are on disk.
    const std::string onServer = codePageToUtf8(name);
    char* escaped = curl_easy_escape(curl_, onServer.c_str(), static_cast<int>(onServer.size()));
    // The folder is the address's path as written: a '#' or '?' in it names the folder, and would otherwise end
    // the path in the URL handed to libcurl, uploading elsewhere.
    std::string folder;
    for (const char c : target_.path) {
        folder += c == '#' ? "%23" : c == '?' ? "%3F" : std::string(1, c);
    }
    const std::string url =
        "ftp://" + target_.host + (target_.port ? ":" + std::to_string(target_.port) : "") + folder + escaped;
    curl_free(escaped);
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, 20L);
    // A connection that moves nothing for a minute is given up.
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(curl_, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    const std::string user = !target_.user.empty() ? target_.user : login_ ? login_->login : "";
    if (!user.empty()) {
        curl_easy_setopt(curl_, CURLOPT_USERNAME, user.c_str());
    }
    if (login_ && !login_->password.empty()) {
        curl_easy_setopt(curl_, CURLOPT_PASSWORD, login_->password.c_str());
    }
    if (target_.scheme == Target::Scheme::Ftps) {
        curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        if (!settings_.cacert.empty()) {
            curl_easy_setopt(curl_, CURLOPT_CAINFO, settings_.cacert.c_str());
        }
    }
}

CURLcode Ftp::perform() {
    if (!multi_ || curl_multi_add_handle(multi_, curl_) != CURLM_OK) {
        return CURLE_FAILED_INIT;
    }
    for (int running = 1;;) {
        if (curl_multi_perform(multi_, &running) != CURLM_OK || !running) {
            break;
        }
        // Having read the server's passive-mode answer, libcurl (7.88) waits on none of its sockets and sets no timer
        // before it opens the data connection: a wait here would last its whole length, a second per file. When it
        // has nothing to wait on, it is only called again. (fd_set is libcurl's own interface, which curl.h brings on
        // every system it runs on.)
        fd_set read, write, error;
        FD_ZERO(&read);
        FD_ZERO(&write);
        FD_ZERO(&error);
        int highest = -1;
        curl_multi_fdset(multi_, &read, &write, &error, &highest);
        if (curl_multi_poll(multi_, nullptr, 0, highest < 0 ? 1 : 1000, nullptr) != CURLM_OK) {
            break;
        }
    }
    CURLcode result = CURLE_FAILED_INIT;
    int left = 0;
    while (const CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi_, curl_);
    return result;
}

std::string Ftp::connect() {
    if (connected_ || !lost_.empty()) {
        return lost_;
    }
    if (!curl_) {
        return lost_ = "libcurl could not be started";
    }
    for (int attempt = 1, pause = firstPauseMs;; ++attempt, pause *= 2) {
        char errorText[CURL_ERROR_SIZE] = "";
        prepare("", errorText);
        // Logs in and goes to the folder, and transfers nothing.
        curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        Transfer waiting{nullptr, nullptr, 0, cancel_};
        curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, &waiting);
        const CURLcode code = perform();
        if (code == CURLE_OK) {
            connected_ = true;
            return "";
        }
        long response = 0;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &response);
        bool fatal = true, mayPass = false;
        lost_ = failure(code, response, errorText, "", fatal, mayPass);
        if (!mayPass || attempt == 3) {
            return lost_;
        }
        lost_.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
}

std::string Ftp::put(const std::vector<Upload>& files, const PutEvents& events, const std::atomic<bool>& cancel) {
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    for (std::size_t index = 0; index < files.size(); ++index) {
        const Upload& upload = files[index];
        if (cancel) {
            return "";
        }
        if (events.started) {
            events.started(index);
        }
        std::string problem;
        bool fatal = false;
        for (int attempt = 1, pause = firstPauseMs;; ++attempt, pause *= 2) {
            // A link put in the file's place since the plan is not followed either.
            const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openFileNoFollow(upload.local), &std::fclose);
            if (!file) {
                problem = "Clipnest could not read " + upload.name;
                break;
            }
            std::error_code ec;
            const auto size = std::filesystem::file_size(upload.local, ec);
            Transfer transfer{file.get(), &events, index, &cancel};
            char errorText[CURL_ERROR_SIZE] = "";
            prepare(partName(upload.name), errorText);
            curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl_, CURLOPT_READFUNCTION, readChunk);
            curl_easy_setopt(curl_, CURLOPT_READDATA, &transfer);
            curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(ec ? 0 : size));
            curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
            curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, onProgress);
            curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, &transfer);
            // The part is renamed over the target only after it arrived whole; RNTO replaces in one step.
            curl_slist* after = nullptr;
            for (const std::string& command :
                 {"RNFR " + codePageToUtf8(partName(upload.name)), "RNTO " + codePageToUtf8(upload.name)}) {
                after = curl_slist_append(after, command.c_str());
            }
            curl_easy_setopt(curl_, CURLOPT_POSTQUOTE, after);
            // Whatever stands at the part's name goes first, a link above all: the server would write through it.
            curl_slist* before = curl_slist_append(nullptr, ("*DELE " + codePageToUtf8(partName(upload.name))).c_str());
            curl_easy_setopt(curl_, CURLOPT_QUOTE, before);
            const CURLcode code = perform();
            long response = 0;
            curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &response);
            curl_slist_free_all(after);
            curl_slist_free_all(before);
            if (code == CURLE_OK) {
                problem.clear();
                break;
            }
            bool mayPass = false;
            problem = failure(code, response, errorText, upload.name, fatal, mayPass);
            if (!mayPass || cancel || attempt == 3) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        }
        if (events.finished) {
            events.finished(index, problem);
        }
        if (fatal) {
            lost_ = problem;
            return problem;
        }
    }
    return "";
}

std::string Ftp::get(const std::string& name, std::string& bytes, bool& missing) {
    missing = false;
    bytes.clear();
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    char errorText[CURL_ERROR_SIZE] = "";
    prepare(name, errorText);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, appendChunk);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &bytes);
    // Straight to RETR: a server that answers SIZE with 550 (some do in any mode) would pass for one without the file.
    curl_easy_setopt(curl_, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    // A server that sends a few bytes a second is cut off.
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT, static_cast<long>(FetchSeconds));
    const CURLcode code = perform();
    if (code == CURLE_OK) {
        return "";
    }
    const bool tooLarge = code == CURLE_WRITE_ERROR && bytes.size() + CURL_MAX_WRITE_SIZE > MaxFetched;
    bytes.clear();
    // Only "no such file" (550 to RETR) means there are no comments; anything else keeps what was fetched before.
    if (code == CURLE_REMOTE_FILE_NOT_FOUND) {
        missing = true;
        return "";
    }
    if (tooLarge) {
        return "the server's " + name + " is larger than a comments file can be; the download was cut off";
    }
    if (code == CURLE_OPERATION_TIMEDOUT) {
        return "the download of " + name + " took more than " + std::to_string(FetchSeconds) +
               " seconds and was cut off";
    }
    if (code == CURLE_FTP_COULDNT_RETR_FILE) {
        return "the server did not send " + name + " (" + std::string(errorText[0] ? errorText : "") + ")";
    }
    bool fatal = false, mayPass = false;
    return failure(code, 0, errorText, name, fatal, mayPass);
}

std::string Ftp::exists(const std::string& name, bool& there) {
    there = false;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    char errorText[CURL_ERROR_SIZE] = "";
    prepare(name, errorText);
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    const CURLcode code = perform();
    there = code == CURLE_OK;
    if (there || code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_FTP_COULDNT_RETR_FILE) {
        return "";
    }
    bool fatal = false, mayPass = false;
    return failure(code, 0, errorText, name, fatal, mayPass);
}

std::string Ftp::failure(CURLcode code, long response, const char* errorText, const std::string& name, bool& fatal,
                         bool& mayPass) const {
    const std::string detail = errorText[0] ? errorText : curl_easy_strerror(code);
    const std::string where = target_.display();
    fatal = true;
    switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
        fatal = false;
        return "stopped before " + name + " was complete; the server keeps its old " + name;
    case CURLE_COULDNT_RESOLVE_HOST:
        return "the server " + target_.host + " could not be found (" + detail + ")";
    case CURLE_COULDNT_CONNECT:
        return "could not connect to " + where + " (" + detail + ")";
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        mayPass = true;
        return "the connection to " + where + " failed (" + detail + ")";
    case CURLE_PEER_FAILED_VERIFICATION:
        return "the server's certificate could not be verified; if the host signs its own, name it with `cacert = "
               "/path/to/cert.pem` in " +
               std::string(SettingsFile) + " (" + detail + ")";
    case CURLE_LOGIN_DENIED:
        return login_ ? "the server refused the login of your ~/.netrc line for " + target_.host +
                            ": check its login and password (" + detail + ")"
                      : "the server refused the login: add a line `machine " + target_.host + " login " +
                            (target_.user.empty() ? "USER" : target_.user) + " password PASSWORD` to ~/.netrc (" +
                            detail + ")";
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
        return "the server offers no secure connection (" + detail + ")";
    case CURLE_REMOTE_DISK_FULL:
        return "the server's disk is full (" + detail + ")";
    case CURLE_REMOTE_ACCESS_DENIED:
        return "the folder " + target_.path + " on the server does not exist or cannot be written (" + detail + ")";
    case CURLE_UPLOAD_FAILED:
        if (response == 452 || response == 552) {
            return "the server's disk is full (" + detail + ")";
        }
        fatal = false;
        return "the server did not store " + name + " (" + detail + ")";
    case CURLE_QUOTE_ERROR:
        fatal = false;
        return "the server did not rename " + name + " into place (" + detail + ")";
    default:
        fatal = false;
        return "the upload failed (" + detail + ")";
    }
}

} // namespace

} // namespace clipnest::publish

// The module's one entry, looked up by name when the program loads it.
extern "C" __attribute__((visibility("default"))) clipnest::publish::Remote*
clipnestOpenFtp(const clipnest::publish::Target& target, const clipnest::publish::Settings& settings,
                const std::atomic<bool>* cancel, const char* version) {
    if (std::string_view(version) != CLIPNEST_VERSION) {
        return nullptr;
    }
    return new clipnest::publish::Ftp(target, settings, cancel);
}
static_assert(std::is_same_v<decltype(&clipnestOpenFtp), clipnest::publish::OpenFtp>);
