#include "publish/upload.h"

#include "shell/working_folder.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <sys/stat.h>
#include <thread>

namespace clipnest::publish {

namespace {

std::string home() {
    const char* h = std::getenv("HOME");
    return h ? h : "";
}

struct Transfer {
    std::FILE* file = nullptr;
    const Progress* progress = nullptr;
    const std::atomic<bool>* cancel = nullptr;
};

// A file read back is a comments file of at most 30,000 bytes: a server that sends megabytes is cut off.
std::size_t appendChunk(char* buffer, std::size_t size, std::size_t count, void* data) {
    auto* bytes = static_cast<std::string*>(data);
    if (bytes->size() + size * count > (std::size_t{4} << 20)) {
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
    if (*t->progress) {
        (*t->progress)(static_cast<std::uintmax_t>(sent), static_cast<std::uintmax_t>(total));
    }
    return t->cancel->load() ? 1 : 0;
}

// A quoted path for an SFTP quote command.
std::string quoted(const std::string& path) {
    return "\"" + path + "\"";
}

} // namespace

std::string partName(const std::string& name) {
    return "." + name + ".clipnest-part";
}

struct Uploader::Handle {
    CURL* curl = curl_easy_init();
    ~Handle() { curl_easy_cleanup(curl); }
};

Uploader::Uploader(const Target& target, const Settings& settings)
    : target_(target), settings_(settings), handle_(std::make_unique<Handle>()) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

Uploader::~Uploader() = default;

std::string Uploader::put(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                          const std::atomic<bool>& cancel) {
    std::string problem;
    for (int attemptNo = 1, pause = firstPauseMs; attemptNo <= 3; ++attemptNo, pause *= 2) {
        bool mayPass = false;
        problem = attempt(local, name, progress, cancel, mayPass);
        if (problem.empty() || !mayPass || cancel || attemptNo == 3) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    return problem;
}

void Uploader::logIn(CURL* curl) const {
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
    // A connection that moves nothing for a minute is given up.
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
    if (!target_.user.empty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, target_.user.c_str());
    }
    if (target_.scheme == Target::Scheme::Sftp) {
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES, static_cast<long>(CURLSSH_AUTH_PUBLICKEY | CURLSSH_AUTH_AGENT));
        std::string key = settings_.key;
        for (const char* candidate : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
            const std::string path = home() + "/.ssh/" + candidate;
            if (key.empty() && std::filesystem::exists(path)) {
                key = path;
            }
        }
        if (!key.empty()) {
            curl_easy_setopt(curl, CURLOPT_SSH_PRIVATE_KEYFILE, key.c_str());
            if (std::filesystem::exists(key + ".pub")) {
                curl_easy_setopt(curl, CURLOPT_SSH_PUBLIC_KEYFILE, (key + ".pub").c_str());
            }
        }
        const std::string knownHosts =
            settings_.knownHosts.empty() ? home() + "/.ssh/known_hosts" : settings_.knownHosts;
        curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, knownHosts.c_str());
    } else {
        curl_easy_setopt(curl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
        if (target_.scheme == Target::Scheme::Ftps) {
            curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
            if (!settings_.cacert.empty()) {
                curl_easy_setopt(curl, CURLOPT_CAINFO, settings_.cacert.c_str());
            }
        }
    }
}

std::string Uploader::urlOf(CURL* curl, const std::string& name) const {
    char* escaped = curl_easy_escape(curl, name.c_str(), 0);
    const std::string url = (target_.scheme == Target::Scheme::Sftp ? "sftp://" : "ftp://") + target_.host +
                            (target_.port ? ":" + std::to_string(target_.port) : "") + target_.path + escaped;
    curl_free(escaped);
    return url;
}

std::string Uploader::get(const std::string& name, std::string& bytes, bool& missing) {
    missing = false;
    bytes.clear();
    CURL* curl = handle_->curl;
    if (!curl) {
        return "libcurl could not be started";
    }
    curl_easy_reset(curl);
    const std::string url = urlOf(curl, name);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendChunk);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &bytes);
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    logIn(curl);
    const CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_OK) {
        return "";
    }
    bytes.clear();
    if (code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_FTP_COULDNT_RETR_FILE) {
        missing = true;
        return "";
    }
    bool mayPass = false;
    return failure(code, 0, errorText, name, mayPass);
}

std::string Uploader::attempt(const std::filesystem::path& local, const std::string& name, const Progress& progress,
                              const std::atomic<bool>& cancel, bool& mayPass) {
    CURL* curl = handle_->curl;
    if (!curl) {
        return "libcurl could not be started";
    }
    // A link put in the file's place since the plan is not followed either.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openFileNoFollow(local), &std::fclose);
    if (!file) {
        return "Clipnest could not read " + name;
    }
    struct stat st {};
    const auto size = ::fstat(::fileno(file.get()), &st) == 0 ? static_cast<std::uintmax_t>(st.st_size) : 0;
    Transfer transfer{file.get(), &progress, &cancel};
    const bool sftp = target_.scheme == Target::Scheme::Sftp;

    curl_easy_reset(curl);
    const std::string url = urlOf(curl, partName(name));
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readChunk);
    curl_easy_setopt(curl, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_FTP_CREATE_MISSING_DIRS, static_cast<long>(CURLFTP_CREATE_DIR_NONE));
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    logIn(curl);

    // The part is renamed over the target only after it arrived whole. An SFTP server (version 3 of the protocol)
    // renames onto no existing name, so the old file steps aside first and goes when the new one stands.
    curl_slist* after = nullptr;
    if (sftp) {
        const std::string dir = target_.path.starts_with("/~/") ? target_.path.substr(3) : target_.path;
        const std::string aside = dir + "." + name + ".clipnest-old";
        for (const std::string& command :
             {"*rm " + quoted(aside), "*rename " + quoted(dir + name) + " " + quoted(aside),
              "rename " + quoted(dir + partName(name)) + " " + quoted(dir + name), "*rm " + quoted(aside)}) {
            after = curl_slist_append(after, command.c_str());
        }
    } else {
        for (const std::string& command : {"RNFR " + partName(name), "RNTO " + name}) {
            after = curl_slist_append(after, command.c_str());
        }
    }
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, after);
    const CURLcode code = curl_easy_perform(curl);
    long response = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response);
    curl_slist_free_all(after);
    if (code == CURLE_OK) {
        return "";
    }
    return failure(code, response, errorText, name, mayPass);
}

std::string Uploader::failure(int curlCode, long response, const char* errorText, const std::string& name,
                              bool& mayPass) const {
    const auto code = static_cast<CURLcode>(curlCode);
    const bool sftp = target_.scheme == Target::Scheme::Sftp;
    const std::string detail = errorText[0] ? errorText : curl_easy_strerror(code);
    const std::string where = target_.display();
    switch (code) {
    case CURLE_ABORTED_BY_CALLBACK:
        return "stopped before " + name + " was complete; the server keeps its old " + name;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_UPLOAD_FAILED:
        mayPass = code != CURLE_COULDNT_RESOLVE_HOST && code != CURLE_UPLOAD_FAILED;
        if (code == CURLE_UPLOAD_FAILED && (response == 452 || response == 552)) {
            return "the server's disk is full (" + detail + ")";
        }
        return "the transfer to " + where + " failed (" + detail + ")";
    case CURLE_PEER_FAILED_VERIFICATION:
        return sftp ? "the server's host key is not the one known for " + target_.host +
                          " in your known_hosts, or the host is not in it yet: connect once with sftp to check the "
                          "key and keep it (" +
                          detail + ")"
                    : "the server's certificate could not be verified (" + detail + ")";
    case CURLE_LOGIN_DENIED:
        return sftp ? "the server refused the login: no key of your SSH agent or ~/.ssh was accepted (" + detail + ")"
                    : "the server refused the login: check the entry for " + target_.host + " in ~/.netrc (" + detail +
                          ")";
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
        return "the server offers no secure connection (" + detail + ")";
    case CURLE_REMOTE_DISK_FULL:
        return "the server's disk is full (" + detail + ")";
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_RETR_FILE:
        return "the folder " + target_.path + " on the server does not exist or cannot be written (" + detail + ")";
    default:
        return "the upload failed (" + detail + ")";
    }
}

} // namespace clipnest::publish
