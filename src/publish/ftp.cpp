#include "platform/code_page.h"
#include "publish/ftp_listing.h"
#include "publish/ftp_remote.h"
#include "text/text_ops.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

std::size_t appendChunk(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* bytes = static_cast<std::string*>(data);
    if (bytes->size() + size * count > MaxFetched) {
        return 0;
    }
    bytes->append(buffer, size * count);
    return size * count;
}

std::size_t appendListing(char* buffer, std::size_t size, std::size_t count, void* data) {
    static_cast<std::string*>(data)->append(buffer, size * count);
    return size * count;
}

// Keeps the server's last answer on the control connection, for the words of a refusal.
std::size_t keepAnswer(char* buffer, std::size_t size, std::size_t count, void* data) {
    std::string line(buffer, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    if (!line.empty()) {
        *static_cast<std::string*>(data) = line;
    }
    return size * count;
}

} // namespace

int onProgress(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
    const auto* t = static_cast<Transfer*>(data);
    if (t->events && t->events->progress) {
        t->events->progress(t->index, t->offset + static_cast<std::uintmax_t>(sent), t->total);
    }
    return t->cancel && t->cancel->load() ? 1 : 0;
}

std::optional<std::string> commandName(const std::string& name) {
    if (name.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return std::nullopt;
    }
    return codePageToUtf8(name);
}

Ftp::Ftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel)
    : target_(target), settings_(settings), cancel_(cancel) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    curl_ = curl_easy_init();
    multi_ = curl_multi_init();
    std::ifstream netrc(home() + "/.netrc", std::ios::binary);
    std::stringstream text;
    text << netrc.rdbuf();
    login_ = netrcLogin(text.str(), target.host, target.user);
}

Ftp::~Ftp() {
    curl_multi_cleanup(multi_);
    curl_easy_cleanup(curl_);
}

void Ftp::prepare(const std::string& name, char* errorText) {
    curl_easy_reset(curl_);
    // The server's file names are UTF-8, as the desktop's are on disk.
    const std::string onServer = codePageToUtf8(name);
    char* escaped = curl_easy_escape(curl_, onServer.c_str(), static_cast<int>(onServer.size()));
    // The folder as the server takes it, inside the login folder unless it starts at the root (which libcurl reads
    // from the URL's path beginning "//"): a '#' or '?' in it names the folder, and would otherwise end the path in
    // the URL handed to libcurl, uploading elsewhere.
    std::string folder = "/";
    for (const char c : atLogin_ ? std::string() : target_.folder()) {
        folder += c == '#' ? "%23" : c == '?' ? "%3F" : std::string(1, c);
    }
    const std::string url = joined(
        {"ftp://", target_.host, target_.port ? joined({":", std::to_string(target_.port)}) : "", folder, escaped});
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
        // Not TLS 1.3: libcurl closes an upload's data connection with the server's session tickets unread, the
        // reset that follows loses the last bytes on their way, and vsftpd answers 426 or, on other servers, keeps a
        // file cut short (libcurl's known bug "FTPS upload data loss with TLS 1.3").
        curl_easy_setopt(curl_, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_DEFAULT) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
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
        fault_ = code == CURLE_LOGIN_DENIED                                        ? Fault::Login
                 : code == CURLE_PEER_FAILED_VERIFICATION                          ? Fault::HostKey
                 : code == CURLE_REMOTE_ACCESS_DENIED && !target_.folder().empty() ? Fault::FolderMissing
                                                                                   : Fault::Unreachable;
        if (fault_ == Fault::FolderMissing) {
            // What the login folder holds tells a folder written from the root from one inside it.
            std::vector<RemoteFile> top;
            atLogin_ = true;
            const std::string unlisted = listHere(top);
            atLogin_ = false;
            loginTop_ = topNames(top);
            // A folder of the login folder that is there is one the server will not open: said as refused.
            const std::string inside = target_.folder();
            const bool there = !inside.starts_with('/') && inside.find('/') + 1 == inside.size() &&
                               std::any_of(top.begin(), top.end(), [&](const RemoteFile& f) {
                                   return f.folder && codePageToUtf8(f.name) + "/" == inside;
                               });
            if (!there) {
                lost_ = missingFolder(target_, loginTop_, unlisted.empty());
            }
            return lost_;
        }
        if (!mayPass || attempt == 3) {
            return lost_;
        }
        lost_.clear();
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
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
    return fail(code, 0, errorText, name);
}

std::string Ftp::command(const std::vector<std::string>& commands, bool& refused, long seconds) {
    refused = false;
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    char errorText[CURL_ERROR_SIZE] = "";
    prepare("", errorText);
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT, seconds);
    curl_slist* list = nullptr;
    for (const std::string& line : commands) {
        list = curl_slist_append(list, line.c_str());
    }
    // After the request, so in the folder: libcurl sends the commands it is given before it goes there, which on a
    // new connection is still the login's folder.
    curl_easy_setopt(curl_, CURLOPT_POSTQUOTE, list);
    std::string answer;
    curl_easy_setopt(curl_, CURLOPT_HEADERFUNCTION, keepAnswer);
    curl_easy_setopt(curl_, CURLOPT_HEADERDATA, &answer);
    const CURLcode code = perform();
    curl_slist_free_all(list);
    if (code == CURLE_QUOTE_ERROR) {
        refused = true;
        return answer.empty() ? errorText : answer;
    }
    return code == CURLE_OK ? "" : fail(code, 0, errorText, "");
}

CURLcode Ftp::listing(const char* request, std::string& text, char* errorText, long& response) {
    text.clear();
    prepare("", errorText);
    curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, request);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, appendListing);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &text);
    const CURLcode code = perform();
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &response);
    return code;
}

// MLSD says plainly what each entry is; a server without it (vsftpd) is asked for LIST -a, which shows the hidden
// files too, and is not asked for MLSD again.
std::string Ftp::list(std::vector<RemoteFile>& files) {
    files.clear();
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    return listHere(files);
}

std::string Ftp::listHere(std::vector<RemoteFile>& files) {
    files.clear();
    std::string text, unread;
    char errorText[CURL_ERROR_SIZE] = "";
    long response = 0;
    CURLcode code = CURLE_FAILED_INIT;
    if (mlsd_ != 0) {
        code = listing("MLSD", text, errorText, response);
        const bool unknown = code == CURLE_FTP_COULDNT_RETR_FILE && response >= 500 && response <= 504;
        mlsd_ = code == CURLE_OK ? 1 : unknown ? 0 : mlsd_;
    }
    if (mlsd_ == 0) {
        code = listing("LIST -a", text, errorText, response);
    }
    const std::string where = target_.described();
    if (code == CURLE_FTP_COULDNT_RETR_FILE) {
        return "the server could not list " + where + " (" + errorText + ")";
    }
    if (code != CURLE_OK) {
        return fail(code, response, errorText, "");
    }
    if (!(mlsd_ == 1 ? readMlsd(text, files, unread) : readLsLines(text, files, unread))) {
        files.clear();
        return "the server's listing of " + where + " could not be read (\"" + unread + "\")";
    }
    return "";
}

// From the folder's listing, so that a folder or a link at a name is seen as such (SIZE answers them as it answers a
// name that is not there).
std::string Ftp::stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) {
    found.clear();
    std::vector<RemoteFile> files;
    if (const std::string problem = list(files); !problem.empty()) {
        return problem;
    }
    for (RemoteFile& file : files) {
        if (std::find(names.begin(), names.end(), file.name) != names.end()) {
            found.push_back(std::move(file));
        }
    }
    return "";
}

// Looked at first: RNTO replaces what stands at the new name on most servers.
std::string Ftp::rename(const std::string& from, const std::string& to) {
    const std::optional<std::string> source = commandName(from), target = commandName(to);
    if (!source || !target) {
        return "a name with a line break cannot be renamed over FTP";
    }
    std::vector<RemoteFile> there;
    if (std::string problem = stat({to}, there); !problem.empty()) {
        return problem;
    }
    if (!there.empty()) {
        return "the server already has " + to + ", so " + from + " was not renamed to it";
    }
    bool refused = false;
    const std::string problem = command({"RNFR " + *source, "RNTO " + *target}, refused);
    return refused ? "the server could not rename " + from + " to " + to + " (" + problem + ")" : problem;
}

std::string Ftp::remove(const std::string& name) {
    const std::optional<std::string> onServer = commandName(name);
    if (!onServer) {
        return "a name with a line break cannot be removed over FTP";
    }
    bool refused = false;
    const std::string problem = command({"DELE " + *onServer}, refused);
    if (!refused) {
        return problem;
    }
    // Servers refuse a name that is not there as they refuse one they keep: which of the two, the listing says.
    std::vector<RemoteFile> there;
    if (std::string looked = stat({name}, there); !looked.empty()) {
        return looked;
    }
    return there.empty() ? "" : "the server could not remove " + name + " (" + problem + ")";
}

std::string Ftp::fail(CURLcode code, long response, const char* errorText, const std::string& name) {
    bool fatal = false, mayPass = false;
    std::string problem = failure(code, response, errorText, name, fatal, mayPass);
    if (fatal) {
        lost_ = problem;
    }
    return problem;
}

std::string Ftp::failure(CURLcode code, long response, const char* errorText, const std::string& name, bool& fatal,
                         bool& mayPass) const {
    const std::string detail = errorText[0] ? errorText : curl_easy_strerror(code);
    const std::string where = target_.display();
    fatal = true;
    switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
        fatal = false;
        return "stopped before " + name + " was complete";
    case CURLE_COULDNT_RESOLVE_HOST:
        return "the server " + target_.host + " could not be found (" + detail + ")";
    case CURLE_COULDNT_CONNECT:
        return "could not connect to " + where + " (" + detail + ")";
    // The connection's own trouble, whichever file it came with: the data connection cannot be opened, the server
    // answers what is not FTP, the secure connection cannot be set up. Said once, not once for each file.
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        return "the connection to " + where + " failed (" + detail + ")";
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
        return target_.described() + " does not exist or cannot be written (" + detail + ")";
    case CURLE_UPLOAD_FAILED:
        if (response == 452 || response == 552) {
            return "the server's disk is full (" + detail + ")";
        }
        if (response == 425) {
            return "the server could not open a connection for the files to " + where + " (" + detail + ")";
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
