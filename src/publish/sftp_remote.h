#pragma once

// The SFTP Remote's own declarations, shared by the files that define it (sftp.cpp: the connection and the calls on
// single files; sftp_put.cpp: the uploads). Nothing else includes this.
#include "publish/remote.h"
#include "publish/sftp_protocol.h"

#include <memory>

namespace clipnest {
class ChildProcess;
}

namespace clipnest::publish {

namespace sftp {
// The size of a read or a write.
constexpr std::size_t Chunk = 32 * 1024;
// Requests sent before their answers come.
constexpr std::size_t RequestsInFlight = 64;
// A server that answers nothing for a minute is given up.
constexpr int IdleMs = 60'000;
} // namespace sftp

class Sftp final : public Remote {
public:
    Sftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel);
    ~Sftp() override;

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

private:
    class PutRun;
    enum class Got { Reply, Nothing, Lost };

    // The path of a file of the channel's folder on the server, its name in UTF-8 as on the desktop's disk.
    std::string at(const std::string& name) const;
    std::uint32_t send(std::uint8_t type, const sftp::Out& payload);
    // Waits up to `waitMs` for the next answer to begin, then reads it whole. Nothing when none began in that time or
    // `interrupt` was set first (the stream is untouched then); Lost when the connection is gone.
    Got receive(sftp::Reply& reply, int waitMs, const std::atomic<bool>* interrupt = nullptr);
    // The next answer; when none comes in time the connection is given up, as when `interrupt` is set.
    bool next(sftp::Reply& reply, const std::atomic<bool>* interrupt = nullptr);
    // Sends one request and waits for its answer; nothing else may be in flight.
    bool call(std::uint8_t type, const sftp::Out& payload, sftp::Reply& reply,
              const std::atomic<bool>* interrupt = nullptr);
    // The connection's end, in words: what ssh said, or that the server stopped answering.
    std::string lose(const std::string& why);
    // The entries of the server's folder `dir` ("" for the login folder); the connection stands.
    std::string listAt(const std::string& dir, std::vector<RemoteFile>& files);
    std::string fileProblem(const sftp::Reply& reply, const std::string& name, const char* doing) const;

    Target target_;
    Settings settings_;
    const std::atomic<bool>* cancel_ = nullptr;
    std::string dir_;
    std::unique_ptr<ChildProcess> ssh_;
    bool posixRename_ = false;
    std::uint32_t nextId_ = 1;
    std::string lost_;
    Fault fault_ = Fault::Unreachable;
    std::vector<std::string> loginTop_;
};

} // namespace clipnest::publish
