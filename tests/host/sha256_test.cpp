// SHA-256 against the FIPS 180-4 examples, on both sets of rounds, at every
// padding boundary, and that no single-bit or short burst error of a file
// goes unseen.
#include "engine/sha256.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Hex(const uint8_t digest[kSha256Size]) {
    std::string text;
    for (size_t i = 0; i < kSha256Size; ++i)
        text += "0123456789abcdef"[digest[i] >> 4], text += "0123456789abcdef"[digest[i] & 15];
    return text;
}

std::string Digest(const std::string& data, bool portable) {
    uint8_t digest[kSha256Size];
    (portable ? Sha256Portable : Sha256)(reinterpret_cast<const uint8_t*>(data.data()), data.size(), digest);
    return Hex(digest);
}

}  // namespace

TEST(Sha256, KnownDigestsOnBothRounds) {
    const struct {
        std::string data;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Digest(c.data, false), c.digest) << c.data.size();
        EXPECT_EQ(Digest(c.data, true), c.digest) << c.data.size();
    }
    // This machine's CPU has the SHA extensions: the first line took them.
    std::printf("SHA extensions used: %s\n", Sha256UsesShaExtensions() ? "yes" : "no");
}

TEST(Sha256, BothRoundsAgreeAtEveryLengthAroundTheBlocks) {
    std::string data;
    for (size_t size = 0; size <= 300; ++size) {
        EXPECT_EQ(Digest(data, false), Digest(data, true)) << size;
        data += char(size * 37 + 11);
    }
}

TEST(Sha256, EverySingleBitAndShortBurstChangesTheDigest) {
    std::string file(1024, '\0');
    for (size_t i = 0; i < file.size(); ++i) file[i] = char(i * 131 + (i >> 3));
    const std::string original = Digest(file, false);
    for (size_t bit = 0; bit < file.size() * 8; ++bit) {
        for (int length : {1, 2, 9, 32}) {
            std::string damaged = file;
            for (int b = 0; b < length && bit + b < file.size() * 8; ++b) {
                damaged[(bit + b) / 8] ^= char(1 << ((bit + b) % 8));
            }
            ASSERT_NE(Digest(damaged, false), original) << "bit " << bit << ", burst of " << length;
        }
    }
}
