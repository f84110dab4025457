#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace clipnest::publish::sftp {

// The messages of SFTP version 3 that Clipnest sends and reads.
enum Type : std::uint8_t {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Read = 5,
    Write = 6,
    Lstat = 7,
    Opendir = 11,
    Readdir = 12,
    Remove = 13,
    Stat = 17,
    Rename = 18,
    StatusReply = 101,
    HandleReply = 102,
    DataReply = 103,
    NameReply = 104,
    AttrsReply = 105,
    Extended = 200,
};
enum Status : std::uint32_t { Ok = 0, Eof = 1, NoSuchFile = 2, PermissionDenied = 3 };
constexpr std::uint32_t OpenRead = 0x01, OpenWrite = 0x02, OpenCreate = 0x08, OpenTruncate = 0x10, OpenNew = 0x20;
constexpr std::uint32_t AttrPermissions = 0x04;

// A message's body as it is written, numbers big-endian and strings after their length.
struct Out {
    std::string bytes;
    Out& u8(std::uint8_t v);
    Out& u32(std::uint32_t v);
    Out& u64(std::uint64_t v);
    Out& str(std::string_view s);
};

// A message's body read from the front; `ok` turns false, for good, at the first read past its end.
struct In {
    std::string_view bytes;
    bool ok = true;
    std::uint32_t u32();
    std::uint64_t u64();
    std::string_view str();
};

struct Reply {
    std::uint8_t type = 0;
    std::uint32_t id = 0;
    std::string body; // after the id
    // Ok for any answer but a status.
    std::uint32_t status() const;
    // The server's words in a status answer.
    std::string message() const;
};

// What the server says of a file: its size and, by the type bits of its permissions, whether it is a plain file.
struct Attrs {
    bool hasSize = false, hasPermissions = false;
    std::uint64_t size = 0;
    std::uint32_t permissions = 0;
    // A server that gives no permissions cannot say a file is plain: it is taken for something else.
    bool regular() const { return hasPermissions && (permissions & 0170000) == 0100000; }
    bool folder() const { return hasPermissions && (permissions & 0170000) == 0040000; }
};

// Reads ATTRS (flags; size; uid and gid; permissions; times; extended pairs), each as its flag says it is there.
bool readAttrs(In& in, Attrs& attrs);

// An answer to READDIR: each entry's name, as the server's bytes, and its ATTRS.
struct Entry {
    std::string name;
    Attrs attrs;
};
bool readNames(const Reply& reply, std::vector<Entry>& entries);

} // namespace clipnest::publish::sftp
