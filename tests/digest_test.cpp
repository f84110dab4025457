// The SHA-256 the publish manifest and the moderation file are keyed by, against the standard's own examples and
// against coreutils' sha256sum on lengths around the block and read-buffer edges; and the HMAC-SHA-256 a host's reply
// is signed with, against RFC 4231's examples and keys on either side of the block size.
#include "publish/digest.h"
#include "support/support.h"

#include <random>

namespace clipnest::testing {
namespace {

TEST(Digest, Sha256AndHmacAsTheStandardsAndSha256sumHaveThem) {
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

    std::string counting;
    for (char c = 1; c <= 25; ++c) {
        counting += c;
    }
    const std::string longKey(131, '\xaa');
    EXPECT_EQ(publish::hmacSha256Hex(std::string(20, '\x0b'), "Hi There"),
              "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7");
    EXPECT_EQ(publish::hmacSha256Hex("Jefe", "what do ya want for nothing?"),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(publish::hmacSha256Hex(std::string(20, '\xaa'), std::string(50, '\xdd')),
              "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe");
    EXPECT_EQ(publish::hmacSha256Hex(counting, std::string(50, '\xcd')),
              "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b");
    EXPECT_EQ(publish::hmacSha256Hex(longKey, "Test Using Larger Than Block-Size Key - Hash Key First"),
              "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
    EXPECT_EQ(publish::hmacSha256Hex(longKey, "This is a test using a larger than block-size key and a larger than "
                                              "block-size data. The key needs to be hashed before being used by the "
                                              "HMAC algorithm."),
              "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2");
    // A key of exactly one block is used as it is; one byte more is hashed first.
    EXPECT_EQ(publish::hmacSha256Hex(std::string(64, 'k'), "block"),
              "1b7ee2f78bbad5f9d29e0b4e5f639ae046d13e1763f1ebc7a439089c128f294a");
    EXPECT_EQ(publish::hmacSha256Hex(std::string(65, 'k'), "block"),
              "205da1093ea96b1859b451191f3a71c6c93ec675f0872d8018cedab033bc8986");
    EXPECT_EQ(publish::hmacSha256Hex("", ""), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

} // namespace
} // namespace clipnest::testing
