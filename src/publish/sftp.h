#pragma once

#include "publish/remote.h"

#include <string>
#include <vector>

namespace clipnest::publish {

// The ssh command that opens the SFTP channel to `target`, as the user's own ssh would connect: it reads
// ~/.ssh/config (Host aliases, ports, users, keys, ProxyJump), the agent and every key kind the user's ssh knows, and
// checks the host key strictly against known_hosts. $CLIPNEST_SSH names another program to run in place of ssh.
std::vector<std::string> sshCommand(const Target& target, const Settings& settings);

// What ssh's standard error says went wrong, in words that name the fix; `host` as the user gave it.
std::string sshProblem(const std::string& errors, const std::string& host);
// What kind of problem that is.
Remote::Fault sshFault(const std::string& errors);

// SFTP (version 3) over the system's ssh. Writes are pipelined within a file and several files are in flight at
// once, so small files do not each wait for the server; a file is renamed into place with the server's atomic
// rename where it has one (OpenSSH's posix-rename), else the old file steps aside for the moment of the rename.
std::unique_ptr<Remote> openSftp(const Target& target, const Settings& settings, const std::atomic<bool>* cancel);

} // namespace clipnest::publish
