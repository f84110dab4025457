#pragma once

// The FTP Remote's own declarations, shared by the files of the FTP module (ftp.cpp: the connection, the folder's
// listing and the calls on single files; ftp_put.cpp: the uploads). Nothing else includes this.
#include "publish/netrc.h"
#include "publish/remote.h"

#include <cstdio>
#include <curl/curl.h>
#include <optional>

namespace clipnest::publish {

// What libcurl's progress callback needs of the file going up: `sent` counts from `offset`, the bytes the server held
// of it before.
struct Transfer {
    std::FILE* file = nullptr;
    const PutEvents* events = nullptr;
    std::size_t index = 0;
    const std::atomic<bool>* cancel = nullptr;
    std::uintmax_t offset = 0, total = 0;
};
int onProgress(void* data, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent);

// A name as it goes into a command on the control connection, in UTF-8; none when it holds a line break, which would
// end the command there and start another.
std::optional<std::string> commandName(const std::string& name);

// FTP and FTPS through libcurl, one control connection kept from file to file. The login comes from ~/.netrc, read
// here so that an address naming its user (ftps://bob@host/) finds bob's line.
class Ftp final : public Remote {
public:
    Ftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel);
    ~Ftp() override;

    std::string connect() override;
    std::string put(const std::vector<Upload>& files, const PutEvents& events,
                    const std::atomic<bool>& cancel) override;
    std::string get(const std::string& name, std::string& bytes, bool& missing) override;
    std::string stat(const std::vector<std::string>& names, std::vector<RemoteFile>& found) override;
    std::string list(std::vector<RemoteFile>& files) override;
    std::string rename(const std::string& from, const std::string& to) override;
    std::string remove(const std::string& name) override;
    std::string lost() const override { return lost_; }
    Fault fault() const override { return lost_.empty() ? Fault::None : fault_; }
    std::vector<std::string> loginTop() const override { return loginTop_; }

    // The pauses between tries of a transfer that failed for a reason that may pass, in milliseconds.
    int firstPauseMs = 1000;

private:
    // Sets up the handle for one request on `name` (the folder itself when empty).
    void prepare(const std::string& name, char* errorText);
    // Runs the request set up on the handle to its end.
    CURLcode perform();
    // The words for a failed request; `fatal` when it concerns the connection or the login, not one file, and
    // `mayPass` when trying again may help.
    std::string failure(CURLcode code, long response, const char* errorText, const std::string& name, bool& fatal,
                        bool& mayPass) const;
    // As failure() says it; a failure of the connection is its loss, which every later call returns.
    std::string fail(CURLcode code, long response, const char* errorText, const std::string& name);
    // Sends `commands` one after the other in the folder. Empty when the server took them all; else its answer to the
    // one it refused (`refused`), or the connection's problem. `seconds` bounds the whole when not 0.
    std::string command(const std::vector<std::string>& commands, bool& refused, long seconds = 0);
    // The folder's listing with `request` (MLSD, or LIST -a), its text in `text`.
    CURLcode listing(const char* request, std::string& text, char* errorText, long& response);
    // The listing of the folder the requests go to, connected or not.
    std::string listHere(std::vector<RemoteFile>& files);

    // One file of a put, to its end: empty when it stands in place, else why not; `fatal` when the connection went.
    std::string putOne(const Upload& upload, std::size_t index, const PutEvents& events,
                       const std::atomic<bool>& cancel, bool& fatal);
    // Sends the file, tried again up to three times when it failed for a reason that may pass; the transfer's offset
    // ends as the byte the last try began at.
    CURLcode sendWithTries(const Upload& upload, Transfer& transfer, std::string& problem, bool& fatal);
    // Sends the file into its part from the byte `from` (0: the part made anew and renamed into place at once).
    CURLcode send(const Upload& upload, std::uintmax_t from, Transfer& transfer, char* errorText, long& response);
    // The size of the server's part of `upload` when it is a plain file; none when it is not there or not plain, and
    // none with `problem` when it could not be looked at.
    std::optional<std::uintmax_t> partSize(const Upload& upload, std::string& problem);
    // A resumed part, sent to its end: measured, and renamed into place when whole.
    std::string place(const Upload& upload, std::uintmax_t total, bool& fatal);
    void removePart(const Upload& upload, long seconds = 0);

    Target target_;
    Settings settings_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::optional<NetrcLogin> login_;
    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr; // keeps the connection from one request to the next

    bool connected_ = false;
    std::string lost_;
    Fault fault_ = Fault::Unreachable;
    std::vector<std::string> loginTop_;
    bool atLogin_ = false; // requests go to the login folder, not the address's
    int mlsd_ = -1;        // whether the server lists with MLSD; -1 until it was asked
};

} // namespace clipnest::publish
