#include "platform/working_folder.h"
#include "publish/ftp_remote.h"

#include <chrono>
#include <thread>

namespace clipnest::publish {

namespace {

// Once a transfer was stopped, removing its part may take a new connection: it is given this long.
constexpr long TidySeconds = 10;

std::size_t readChunk(char* buffer, std::size_t size, std::size_t count, void* data) {
    return std::fread(buffer, size, count, static_cast<Transfer*>(data)->file);
}

std::string notResumable(const std::string& name) {
    return "the part of " + name +
           " on the server was not the one to go on from, and was removed: it goes whole next "
           "time";
}

} // namespace

std::string Ftp::put(const std::vector<Upload>& files, const PutEvents& events, const std::atomic<bool>& cancel) {
    if (const std::string problem = connect(); !problem.empty()) {
        return problem;
    }
    for (std::size_t index = 0; index < files.size() && !cancel; ++index) {
        if (events.started) {
            events.started(index);
        }
        bool fatal = false;
        const std::string problem = putOne(files[index], index, events, cancel, fatal);
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

std::string Ftp::putOne(const Upload& upload, std::size_t index, const PutEvents& events,
                        const std::atomic<bool>& cancel, bool& fatal) {
    if (!commandName(upload.name)) {
        return "a name with a line break cannot be sent over FTP";
    }
    // A link put in the file's place since the plan is not followed either.
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(openFileNoFollow(upload.local), &std::fclose);
    if (!file) {
        return "Clipnest could not read " + upload.name;
    }
    std::error_code ec;
    const std::uintmax_t total = std::filesystem::file_size(upload.local, ec);
    std::uintmax_t from = upload.resumeFrom;
    if (std::string looked; from > 0 && (from > total || partSize(upload, looked) != from)) {
        fatal = !lost_.empty();
        if (looked.empty()) {
            removePart(upload);
        }
        return looked.empty() ? notResumable(upload.name) : looked;
    }
    Transfer transfer{file.get(), &events, index, &cancel, from, total};
    std::string problem;
    const CURLcode code = sendWithTries(upload, transfer, problem, fatal);
    if (fatal) {
        // The connection went: nothing can be tidied, and a part kept stays for the next publish to look at.
        return problem;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        if (!upload.keepPart) {
            removePart(upload, TidySeconds);
        }
        return problem;
    }
    if (code != CURLE_OK) {
        removePart(upload);
        return problem;
    }
    return transfer.offset > 0 ? place(upload, total, fatal) : "";
}

CURLcode Ftp::sendWithTries(const Upload& upload, Transfer& transfer, std::string& problem, bool& fatal) {
    for (int attempt = 1, pause = firstPauseMs;; ++attempt, pause *= 2) {
        char errorText[CURL_ERROR_SIZE] = "";
        long response = 0;
        const CURLcode code = send(upload, transfer.offset, transfer, errorText, response);
        bool mayPass = false;
        fatal = false;
        problem = code == CURLE_OK ? "" : failure(code, response, errorText, upload.name, fatal, mayPass);
        if (!mayPass || (transfer.cancel && *transfer.cancel) || attempt == 3) {
            return code;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
        // A part gone on from holds this file's bytes alone, in order, so the next try goes on from its end (a TLS
        // upload to vsftpd may be refused as it closes, all of it there). A new part may have broken off before it
        // was made anew: it is sent whole again.
        std::string looked;
        const std::optional<std::uintmax_t> held = transfer.offset > 0 ? partSize(upload, looked) : std::nullopt;
        if (!lost_.empty()) {
            problem = lost_;
            fatal = true;
            return CURLE_COULDNT_CONNECT;
        }
        transfer.offset = held && *held >= transfer.offset && *held <= transfer.total ? *held : 0;
    }
}

CURLcode Ftp::send(const Upload& upload, std::uintmax_t from, Transfer& transfer, char* errorText, long& response) {
    if (std::fseek(transfer.file, static_cast<long>(from), SEEK_SET) != 0) {
        return CURLE_READ_ERROR;
    }
    transfer.offset = from;
    prepare(partName(upload.name), errorText);
    curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl_, CURLOPT_READFUNCTION, readChunk);
    curl_easy_setopt(curl_, CURLOPT_READDATA, &transfer);
    curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(transfer.total - from));
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, &transfer);
    curl_slist* before = nullptr;
    curl_slist* after = nullptr;
    if (from > 0) {
        curl_easy_setopt(curl_, CURLOPT_APPEND, 1L);
    } else {
        const std::string part = *commandName(partName(upload.name));
        // Whatever stands at the part's name goes first, a link above all: the server would write through it. Sent
        // once libcurl is in the folder, just before the upload.
        before = curl_slist_append(before, ("*DELE " + part).c_str());
        curl_easy_setopt(curl_, CURLOPT_PREQUOTE, before);
        // The part is renamed over the target only after it arrived whole; RNTO replaces in one step.
        for (const std::string& command : {"RNFR " + part, "RNTO " + *commandName(upload.name)}) {
            after = curl_slist_append(after, command.c_str());
        }
        curl_easy_setopt(curl_, CURLOPT_POSTQUOTE, after);
    }
    const CURLcode code = perform();
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &response);
    curl_slist_free_all(after);
    curl_slist_free_all(before);
    return code;
}

std::optional<std::uintmax_t> Ftp::partSize(const Upload& upload, std::string& problem) {
    std::vector<RemoteFile> found;
    problem = stat({partName(upload.name)}, found);
    if (!problem.empty() || found.size() != 1 || !found.front().regular) {
        return std::nullopt;
    }
    return found.front().size;
}

// The part went on from bytes sent before: it is whole only when it came to the file's size.
std::string Ftp::place(const Upload& upload, std::uintmax_t total, bool& fatal) {
    std::string problem;
    if (partSize(upload, problem) != total) {
        fatal = !lost_.empty();
        if (problem.empty()) {
            removePart(upload);
            return "the part of " + upload.name +
                   " on the server did not come to the file's size, and was removed: it goes whole next time";
        }
        return problem;
    }
    bool refused = false;
    problem = command({"RNFR " + *commandName(partName(upload.name)), "RNTO " + *commandName(upload.name)}, refused);
    fatal = !refused && !problem.empty();
    if (refused) {
        removePart(upload);
        return "the server did not rename " + upload.name + " into place (" + problem + ")";
    }
    return problem;
}

void Ftp::removePart(const Upload& upload, long seconds) {
    bool refused = false;
    command({"*DELE " + *commandName(partName(upload.name))}, refused, seconds);
}

} // namespace clipnest::publish
