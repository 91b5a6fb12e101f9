// SHA-256 against the FIPS 180-4 examples on both sets of rounds, at every
// padding boundary, and no single-bit or short burst error going unseen.
#include "engine/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Digest(const std::string& data, bool portable = false) {
    uint8_t digest[kSha256Size];
    (portable ? Sha256Portable : Sha256)(reinterpret_cast<const uint8_t*>(data.data()), data.size(), digest);
    std::string hex;
    for (uint8_t byte : digest) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
    return hex;
}

}  // namespace

TEST(Sha256, KnownDigestsOnBothRoundsAndTheyAgreeAtEveryLengthAroundTheBlocks) {
    if (!Sha256UsesShaExtensions()) std::printf("No SHA extensions on this CPU: both sides are the portable rounds.\n");
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [data, digest] : cases) {
        EXPECT_EQ(Digest(data), digest) << data.size();
        EXPECT_EQ(Digest(data, true), digest) << data.size();
    }
    std::string data;
    for (size_t size = 0; size <= 300; ++size, data += char(size * 37 + 11)) {
        EXPECT_EQ(Digest(data), Digest(data, true)) << size;
    }
}

TEST(Sha256, EverySingleBitAndShortBurstChangesTheDigest) {
    std::string file(1024, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = char(i * 131 + (i >> 3));
    const std::string original = Digest(file);
    for (size_t bit = 0; bit < file.size() * 8; ++bit) {
        for (size_t length : {1, 2, 9, 32}) {
            std::string damaged = file;
            for (size_t b = bit; b < bit + length && b < file.size() * 8; ++b) damaged[b / 8] ^= char(1 << b % 8);
            ASSERT_NE(Digest(damaged), original) << "bit " << bit << ", burst of " << length;
        }
    }
}
