// The SHA-256 the publish manifest and the moderation file are keyed by, against the standard's own examples and
// against coreutils' sha256sum on lengths around the block edges.
#include "publish/manifest.h"
#include "support/support.h"

#include <random>

namespace clipnest::testing {
namespace {

TEST(Digest, Sha256AsTheStandardAndSha256sumHaveIt) {
    EXPECT_EQ(publish::sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(publish::sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(publish::sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(publish::sha256Hex(std::string(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    const TempDir dir;
    std::mt19937 random(41);
    for (const std::size_t size : {1, 55, 56, 63, 64, 65, 119, 120, 128, 65535, 65536, 65537, 1000003}) {
        std::string bytes(size, '\0');
        for (char& c : bytes) {
            c = static_cast<char>(random());
        }
        writeFile(dir.path() / "f", bytes);
        const std::string sum = shell("sha256sum " + quoted(dir.path() / "f")).substr(0, 64);
        EXPECT_EQ(publish::sha256Hex(bytes), sum) << size;
        EXPECT_EQ(publish::sha256Of(dir.path() / "f").value_or(""), sum) << size;
    }
    EXPECT_FALSE(publish::sha256Of(dir.path() / "absent"));
}

} // namespace
} // namespace clipnest::testing
