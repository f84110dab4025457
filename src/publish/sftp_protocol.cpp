#include "publish/sftp_protocol.h"

namespace clipnest::publish::sftp {

namespace {

constexpr std::uint32_t AttrSize = 0x01, AttrUidGid = 0x02, AttrTimes = 0x08, AttrExtended = 0x80000000;

} // namespace

Out& Out::u8(std::uint8_t v) {
    bytes.push_back(static_cast<char>(v));
    return *this;
}

Out& Out::u32(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<char>((v >> shift) & 0xff));
    }
    return *this;
}

Out& Out::u64(std::uint64_t v) {
    return u32(static_cast<std::uint32_t>(v >> 32)).u32(static_cast<std::uint32_t>(v));
}

Out& Out::str(std::string_view s) {
    u32(static_cast<std::uint32_t>(s.size()));
    bytes.append(s);
    return *this;
}

std::uint32_t In::u32() {
    if (bytes.size() < 4) {
        ok = false;
        bytes = {};
        return 0;
    }
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[i]);
    }
    bytes.remove_prefix(4);
    return v;
}

std::uint64_t In::u64() {
    const std::uint64_t high = u32();
    return (high << 32) | u32();
}

std::string_view In::str() {
    const std::uint32_t n = u32();
    if (!ok || bytes.size() < n) {
        ok = false;
        bytes = {};
        return {};
    }
    const std::string_view s = bytes.substr(0, n);
    bytes.remove_prefix(n);
    return s;
}

std::uint32_t Reply::status() const {
    In in{body};
    return type == StatusReply ? in.u32() : Ok;
}

std::string Reply::message() const {
    In in{body};
    in.u32();
    const std::string_view text = in.str();
    return std::string(in.ok && !text.empty() ? text : "no reason given");
}

bool readAttrs(In& in, Attrs& attrs) {
    attrs = {};
    const std::uint32_t flags = in.u32();
    if (flags & AttrSize) {
        attrs.hasSize = true;
        attrs.size = in.u64();
    }
    if (flags & AttrUidGid) {
        in.u64();
    }
    if (flags & AttrPermissions) {
        attrs.hasPermissions = true;
        attrs.permissions = in.u32();
    }
    if (flags & AttrTimes) {
        in.u64();
    }
    if (flags & AttrExtended) {
        for (std::uint32_t pairs = in.u32(); in.ok && pairs > 0; --pairs) {
            in.str();
            in.str();
        }
    }
    return in.ok;
}

bool readNames(const Reply& reply, std::vector<Entry>& entries) {
    In in{reply.body};
    for (std::uint32_t count = in.u32(); in.ok && count > 0; --count) {
        Entry entry;
        entry.name = std::string(in.str());
        in.str(); // the long name, as ls -l would show it: the ATTRS say the same plainly
        if (readAttrs(in, entry.attrs)) {
            entries.push_back(std::move(entry));
        }
    }
    return in.ok;
}

} // namespace clipnest::publish::sftp
