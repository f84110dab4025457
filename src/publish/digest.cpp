#include "publish/digest.h"

#include "platform/working_folder.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <nettle/hmac.h>
#include <nettle/sha2.h>
#include <vector>

namespace clipnest::publish {

namespace {

const std::uint8_t* bytesOf(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

std::string hexOf(const std::uint8_t (&digest)[SHA256_DIGEST_SIZE]) {
    std::string out;
    out.reserve(2 * SHA256_DIGEST_SIZE);
    for (const std::uint8_t byte : digest) {
        out += "0123456789abcdef"[byte >> 4];
        out += "0123456789abcdef"[byte & 15];
    }
    return out;
}

} // namespace

std::optional<std::string> sha256Of(const std::filesystem::path& file) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(openFileNoFollow(file), &std::fclose);
    if (!in) {
        return std::nullopt;
    }
    sha256_ctx sha;
    sha256_init(&sha);
    std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
    for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0;) {
        sha256_update(&sha, n, buffer.data());
    }
    if (std::ferror(in.get())) {
        return std::nullopt;
    }
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&sha, SHA256_DIGEST_SIZE, digest);
    return hexOf(digest);
}

std::string sha256Hex(std::string_view bytes) {
    sha256_ctx sha;
    sha256_init(&sha);
    sha256_update(&sha, bytes.size(), bytesOf(bytes));
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    sha256_digest(&sha, SHA256_DIGEST_SIZE, digest);
    return hexOf(digest);
}

std::string hmacSha256Hex(std::string_view key, std::string_view message) {
    hmac_sha256_ctx hmac;
    hmac_sha256_set_key(&hmac, key.size(), bytesOf(key));
    hmac_sha256_update(&hmac, message.size(), bytesOf(message));
    std::uint8_t digest[SHA256_DIGEST_SIZE];
    hmac_sha256_digest(&hmac, SHA256_DIGEST_SIZE, digest);
    return hexOf(digest);
}

} // namespace clipnest::publish
