#include "publish/manifest.h"

#include "shell/working_folder.h"

#include <array>
#include <cstdio>
#include <memory>
#include <openssl/evp.h>
#include <sstream>

namespace clipnest::publish {

Manifest Manifest::load(const std::filesystem::path& channel) {
    Manifest m;
    const std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", false);
    const std::optional<std::string> text = hidden ? hidden->read("published") : std::nullopt;
    std::istringstream lines(text.value_or(""));
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("to ")) {
            m.target_ = line.substr(3);
            continue;
        }
        std::istringstream fields(line);
        Published p;
        std::string name;
        if (fields >> p.sha256 >> p.size >> p.modifiedNs && fields.get() == ' ' && std::getline(fields, name) &&
            p.sha256.size() == 64 && !name.empty()) {
            m.files_[name] = p;
        }
    }
    return m;
}

bool Manifest::save(const std::filesystem::path& channel) const {
    std::string text = target_.empty() ? "" : "to " + target_ + "\n";
    for (const auto& [name, p] : files_) {
        text += p.sha256 + " " + std::to_string(p.size) + " " + std::to_string(p.modifiedNs) + " " + name + "\n";
    }
    std::optional<WorkingFolder> hidden = WorkingFolder(channel).subfolder(".clipnest", true);
    return hidden && hidden->write("published", text);
}

const Published* Manifest::find(const std::string& name) const {
    const auto it = files_.find(name);
    return it == files_.end() ? nullptr : &it->second;
}

namespace {

std::string hexOf(const unsigned char* digest, unsigned int length) {
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += "0123456789abcdef"[digest[i] >> 4];
        hex += "0123456789abcdef"[digest[i] & 15];
    }
    return hex;
}

} // namespace

std::optional<std::string> sha256Of(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    const std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!in || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    std::array<unsigned char, 1 << 16> buffer{};
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;) {
        EVP_DigestUpdate(ctx.get(), buffer.data(), n);
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (std::ferror(in.get()) || EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1) {
        return std::nullopt;
    }
    return hexOf(digest.data(), length);
}

std::string sha256Hex(std::string_view bytes) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(), nullptr);
    return hexOf(digest.data(), length);
}

} // namespace clipnest::publish
