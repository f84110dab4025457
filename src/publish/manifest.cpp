#include "publish/manifest.h"

#include "platform/working_folder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace clipnest::publish {

namespace {

// One line of a folder's record; false for a line that cannot be read.
bool readFileLine(std::istringstream& fields, std::map<std::string, Published>& into) {
    Published p;
    std::string name;
    if (fields >> p.sha256 >> p.size >> p.modifiedNs && fields.get() == ' ' && std::getline(fields, name) &&
        p.sha256.size() == 64 && !name.empty()) {
        into[name] = p;
        return true;
    }
    return false;
}

void readLine(const std::string& line, Record& r) {
    std::istringstream fields(line);
    if (line.starts_with("part ")) {
        fields.ignore(5);
        readFileLine(fields, r.parts);
    } else if (line.starts_with("moved ")) {
        r.moved.insert(line.substr(6));
    } else if (line.starts_with("renames ")) {
        r.renamesDone.insert(line.substr(8));
    } else if (line == "unfinished") {
        r.unfinished = true;
    } else {
        readFileLine(fields, r.files);
    }
}

std::string fileLine(const std::string& name, const Published& p) {
    return p.sha256 + " " + std::to_string(p.size) + " " + std::to_string(p.modifiedNs) + " " + name + "\n";
}

} // namespace

const Published* Record::find(const std::string& name) const {
    const auto it = files.find(name);
    return it == files.end() ? nullptr : &it->second;
}

Manifest Manifest::load(const std::filesystem::path& channel) {
    Manifest m;
    const std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", false);
    const std::optional<std::string> text = hidden ? hidden->read("published") : std::nullopt;
    std::istringstream lines(text.value_or(""));
    Record* current = nullptr;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("to ")) {
            current = &m.records_[line.substr(3)];
        } else {
            readLine(line, current ? *current : m.records_[""]);
        }
    }
    // A moved page is one of the files put there.
    for (auto& [target, r] : m.records_) {
        std::erase_if(r.moved, [&r](const std::string& name) { return !r.files.contains(name); });
    }
    return m;
}

bool Manifest::save(const std::filesystem::path& channel) const {
    std::string text;
    for (const auto& [target, r] : records_) {
        text += target.empty() ? "" : "to " + target + "\n";
        for (const auto& [name, p] : r.files) {
            text += fileLine(name, p);
        }
        for (const auto& [name, p] : r.parts) {
            text += "part " + fileLine(name, p);
        }
        for (const std::string& name : r.moved) {
            text += "moved " + name + "\n";
        }
        for (const std::string& hash : r.renamesDone) {
            text += "renames " + hash + "\n";
        }
        text += r.unfinished ? "unfinished\n" : "";
    }
    std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", true);
    return hidden && hidden->write("published", text);
}

Record& Manifest::of(const std::string& target) {
    if (const auto found = records_.find(target); found != records_.end()) {
        return found->second;
    }
    if (const auto older = records_.find(""); older != records_.end() && !target.empty()) {
        Record r = std::move(older->second);
        records_.erase(older);
        return records_[target] = std::move(r);
    }
    return records_[target];
}

namespace {

// SHA-256 (FIPS 180-4), kept here rather than taken from a crypto library: that library alone would add more to every
// command's start-up than the rest of the program takes.
class Sha256 {
public:
    void update(const unsigned char* data, std::size_t size) {
        length_ += size;
        if (used_ > 0) {
            const std::size_t take = std::min(size, block_.size() - used_);
            std::memcpy(block_.data() + used_, data, take);
            used_ += take;
            data += take;
            size -= take;
            if (used_ < block_.size()) {
                return;
            }
            compress(block_.data());
            used_ = 0;
        }
        for (; size >= block_.size(); data += block_.size(), size -= block_.size()) {
            compress(data);
        }
        std::memcpy(block_.data(), data, size);
        used_ = size;
    }

    std::string hex() {
        const std::uint64_t bits = length_ * 8;
        const unsigned char one = 0x80;
        update(&one, 1);
        const unsigned char zero = 0;
        while (used_ != 56) {
            update(&zero, 1);
        }
        unsigned char tail[8];
        for (int i = 0; i < 8; ++i) {
            tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
        }
        update(tail, 8);
        std::string out;
        for (const std::uint32_t word : state_) {
            for (int shift = 28; shift >= 0; shift -= 4) {
                out += "0123456789abcdef"[(word >> shift) & 15];
            }
        }
        return out;
    }

private:
    static std::uint32_t rotate(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

    void compress(const unsigned char* block) {
        static constexpr std::array<std::uint32_t, 64> K = {
            0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
            0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
            0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
            0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
            0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
            0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
            0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
            0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
        std::array<std::uint32_t, 64> w{};
        for (int i = 0; i < 16; ++i) {
            w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
                   std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
        }
        for (int i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotate(w[i - 15], 7) ^ rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotate(w[i - 2], 17) ^ rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4], f = state_[5],
                      g = state_[6], h = state_[7];
        for (int i = 0; i < 64; ++i) {
            const std::uint32_t t1 =
                h + (rotate(e, 6) ^ rotate(e, 11) ^ rotate(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
            const std::uint32_t t2 = (rotate(a, 2) ^ rotate(a, 13) ^ rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
        state_[4] += e;
        state_[5] += f;
        state_[6] += g;
        state_[7] += h;
    }

    std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<unsigned char, 64> block_{};
    std::size_t used_ = 0;
    std::uint64_t length_ = 0;
};

} // namespace

std::optional<std::string> sha256Of(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    if (!in) {
        return std::nullopt;
    }
    Sha256 sha;
    std::vector<unsigned char> buffer(std::size_t{1} << 16);
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;) {
        sha.update(buffer.data(), n);
    }
    if (std::ferror(in.get())) {
        return std::nullopt;
    }
    return sha.hex();
}

std::string sha256Hex(std::string_view bytes) {
    Sha256 sha;
    sha.update(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return sha.hex();
}

} // namespace clipnest::publish
