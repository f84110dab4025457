#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace clipnest::publish {

// Content hashes, in lower-case hex: what the publish manifest and the moderation file are keyed by, and the
// signature of a host's reply. Nettle computes them; this is the one file that sees it.

// The SHA-256 of a file in hex, or nothing when it cannot be read.
std::optional<std::string> sha256Of(const std::filesystem::path& file);

// The SHA-256 of `bytes`, in lower-case hex.
std::string sha256Hex(std::string_view bytes);

// HMAC-SHA-256 of `message` under `key` (RFC 2104), in lower-case hex, as PHP's hash_hmac('sha256', ...) writes it.
std::string hmacSha256Hex(std::string_view key, std::string_view message);

} // namespace clipnest::publish
