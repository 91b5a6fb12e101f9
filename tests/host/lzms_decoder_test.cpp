// The LZMS block decoder against wimlib's compressor and decompressor, built
// with ASan/UBSan: every stream wimlib makes must decode to the original
// bytes, and damaged streams must fail or give bounded output, never crash.
#include "engine/lzms_decoder.h"
#include "tests/host/lzms_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace {

using lzms_test::Bytes;

struct DecompressorDeleter {
    void operator()(LzmsDecompressor* d) const { LzmsFreeDecompressor(d); }
};
using DecompressorPtr = std::unique_ptr<LzmsDecompressor, DecompressorDeleter>;

DecompressorPtr NewDecompressor() {
    DecompressorPtr d(LzmsCreateDecompressor());
    EXPECT_NE(d, nullptr);
    return d;
}

// Decodes into a buffer of exactly `size` bytes, so that ASan sees any
// write past the end.
bool Decode(LzmsDecompressor* d, const Bytes& stream, size_t size, Bytes& out) {
    auto exact = std::make_unique<uint8_t[]>(size);
    const bool ok = LzmsDecompressBlock(d, stream.data(), stream.size(), exact.get(), size);
    out.assign(exact.get(), exact.get() + size);
    return ok;
}

// Inputs are made when a test runs, not when the cases are listed: every
// test runs in its own process.
struct RoundTripCase {
    std::string name;
    Bytes (*make)();
    unsigned level;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

Bytes MixedRepeats() {
    // Longer repeats, short-offset runs and periodic patterns in one buffer.
    Bytes mixed = lzms_test::Text(100000, 9);
    for (int k = 0; k < 2000; ++k) mixed.push_back(static_cast<uint8_t>("ab"[k % 2]));
    for (int k = 0; k < 3000; ++k) mixed.push_back(static_cast<uint8_t>("xyz1234"[k % 7]));
    const Bytes again(mixed.begin(), mixed.begin() + 50000);
    mixed.insert(mixed.end(), again.begin(), again.end());
    return mixed;
}

std::vector<RoundTripCase> RoundTripCases() {
    return {
        {"FourBytes", [] { return Bytes{'a', 'b', 'a', 'b'}; }, 0},
        {"FiveBytes", [] { return Bytes{1, 2, 3, 4, 5}; }, 0},
        {"SeventeenBytesBelowX86Threshold", [] { return lzms_test::FakeX86(17, 1); }, 0},
        {"EighteenBytesAtX86Threshold", [] { return lzms_test::FakeX86(18, 2); }, 0},
        {"HundredBytesText", [] { return lzms_test::Text(100, 3); }, 0},
        {"KilobyteRandom", [] { return lzms_test::RandomBytes(1000, 4); }, 0},
        {"SixtyFourKiBText", [] { return lzms_test::Text(65536, 5); }, 0},
        {"AllZero", [] { return Bytes(300000, 0); }, 0},
        {"AllOnes", [] { return Bytes(70000, 0xFF); }, 0},
        {"Random", [] { return lzms_test::RandomBytes(200000, 6); }, 0},
        {"RampsForDeltaMatches", [] { return lzms_test::Ramps(400000); }, 0},
        {"RampsForDeltaMatchesHighLevel", [] { return lzms_test::Ramps(200000); }, 80},
        {"FakeX86Code", [] { return lzms_test::FakeX86(300000, 7); }, 0},
        {"TextFastLevel", [] { return lzms_test::Text(500000, 8); }, 1},
        {"MixedRepeats", MixedRepeats, 0},
    };
}

class LzmsRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(LzmsRoundTrip, DecodesWimlibStreamToTheOriginalBytes) {
    const RoundTripCase& c = GetParam();
    const Bytes input = c.make();
    const Bytes stream = lzms_test::WimlibCompress(input, c.level);
    ASSERT_FALSE(stream.empty());
    auto d = NewDecompressor();
    Bytes out;
    ASSERT_TRUE(Decode(d.get(), stream, input.size(), out));
    EXPECT_TRUE(out == input);

    Bytes reference;
    ASSERT_TRUE(lzms_test::WimlibDecompress(stream.data(), stream.size(), input.size(), reference));
    EXPECT_TRUE(reference == input);
}

INSTANTIATE_TEST_SUITE_P(Inputs, LzmsRoundTrip, testing::ValuesIn(RoundTripCases()),
                         [](const testing::TestParamInfo<RoundTripCase>& info) { return info.param.name; });

TEST(LzmsDecoder, DecodesRealX86_64ExecutablesLikeWimlib) {
    const auto files = lzms_test::WinePeFiles(2, 1 << 20, 4 << 20);
    if (files.empty()) GTEST_SKIP() << "no x86-64 PE files in Wine's folder on this machine";
    auto d = NewDecompressor();
    for (const auto& f : files) {
        SCOPED_TRACE(f.path);
        const Bytes stream = lzms_test::WimlibCompress(f.bytes);
        ASSERT_FALSE(stream.empty());
        Bytes out, reference;
        ASSERT_TRUE(Decode(d.get(), stream, f.bytes.size(), out));
        EXPECT_TRUE(out == f.bytes);
        ASSERT_TRUE(lzms_test::WimlibDecompress(stream.data(), stream.size(), f.bytes.size(), reference));
        EXPECT_TRUE(reference == f.bytes);
    }
}

TEST(LzmsDecoder, OneDecompressorDecodesManyBlocksInAnyOrder) {
    const Bytes a = lzms_test::FakeX86(100000, 11), b = lzms_test::Text(3000, 12), c = lzms_test::Ramps(50000);
    const Bytes sa = lzms_test::WimlibCompress(a), sb = lzms_test::WimlibCompress(b),
                sc = lzms_test::WimlibCompress(c);
    auto d = NewDecompressor();
    for (int round = 0; round < 3; ++round) {
        Bytes out;
        ASSERT_TRUE(Decode(d.get(), sa, a.size(), out));
        EXPECT_EQ(out, a);
        ASSERT_TRUE(Decode(d.get(), sb, b.size(), out));
        EXPECT_EQ(out, b);
        ASSERT_TRUE(Decode(d.get(), sc, c.size(), out));
        EXPECT_EQ(out, c);
    }
}

// The x86 filter's history table is aged, not cleared, between blocks, by a
// 32-bit counter that is reset before it can wrap: some 64,000 blocks of
// code-like data take it through a reset, and every one must still decode.
TEST(LzmsDecoder, X86HistoryStaysRightAcrossItsCounterReset) {
    const Bytes input = lzms_test::FakeX86(2048, 18);
    const Bytes stream = lzms_test::WimlibCompress(input);
    auto d = NewDecompressor();
    Bytes out(input.size());
    size_t wrong = 0;
    for (int k = 0; k < 66000; ++k) {
        if (!LzmsDecompressBlock(d.get(), stream.data(), stream.size(), out.data(), out.size()) || out != input)
            ++wrong;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(LzmsDecoder, RefusesArgumentsNoStreamCanSatisfy) {
    auto d = NewDecompressor();
    const Bytes stream = lzms_test::WimlibCompress(lzms_test::Text(1000, 13));
    uint8_t out[1000];
    EXPECT_FALSE(LzmsDecompressBlock(nullptr, stream.data(), stream.size(), out, sizeof out));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), nullptr, stream.size(), out, sizeof out));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), stream.size(), nullptr, sizeof out));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), stream.size(), out, 0));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), 0, out, sizeof out));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), 2, out, sizeof out));   // below one range code
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), 3, out, sizeof out));
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), stream.size() - 1, out, sizeof out));  // odd
    EXPECT_FALSE(LzmsDecompressBlock(d.get(), stream.data(), stream.size(), out, kLzmsMaxBlockBytes + 1));
    EXPECT_TRUE(LzmsDecompressBlock(d.get(), stream.data(), stream.size(), out, sizeof out));
    LzmsFreeDecompressor(nullptr);  // like free(): no decompressor, nothing to do
}

TEST(LzmsDecoder, EveryTruncationFailsOrStaysInBounds) {
    const Bytes input = lzms_test::FakeX86(600, 14);
    const Bytes stream = lzms_test::WimlibCompress(input);
    ASSERT_GT(stream.size(), 8u);
    auto d = NewDecompressor();
    size_t refused = 0;
    for (size_t len = 0; len < stream.size(); ++len) {
        const Bytes cut(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(len));
        Bytes out;
        if (!Decode(d.get(), cut, input.size(), out)) ++refused;
    }
    // Odd lengths and lengths below 4 can never be streams.
    EXPECT_GE(refused, stream.size() / 2);
    Bytes out;
    EXPECT_TRUE(Decode(d.get(), stream, input.size(), out));
    EXPECT_EQ(out, input);
}

TEST(LzmsDecoder, RandomBitFlipsNeverEscapeTheBuffers) {
    const Bytes input = lzms_test::Text(4000, 15);
    const Bytes stream = lzms_test::WimlibCompress(input);
    auto d = NewDecompressor();
    std::mt19937 random(16);
    size_t refused = 0, decoded = 0, agreed = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes bad = stream;
        for (uint32_t flips = 1 + random() % 3; flips > 0; --flips)
            bad[random() % bad.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        Bytes out, reference;
        const bool ours = Decode(d.get(), bad, input.size(), out);
        const bool theirs = lzms_test::WimlibDecompress(bad.data(), bad.size(), input.size(), reference);
        // Both implement the same format: a damaged stream is accepted by
        // both or neither, and then decodes to the same (wrong) bytes.
        EXPECT_EQ(ours, theirs) << "trial " << trial;
        if (ours && theirs) agreed += out == reference;
        ours ? ++decoded : ++refused;
    }
    EXPECT_GT(refused, 0u);
    EXPECT_EQ(agreed, decoded);
}

TEST(LzmsDecoder, GarbageStreamsOfManySizesNeverEscapeTheBuffers) {
    auto d = NewDecompressor();
    std::mt19937 random(17);
    size_t refused = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const Bytes garbage = lzms_test::RandomBytes(4 + 2 * (random() % 200), static_cast<uint32_t>(trial));
        const size_t size = 1 + random() % 5000;
        Bytes out;
        if (!Decode(d.get(), garbage, size, out)) ++refused;
    }
    EXPECT_GT(refused, 1000u);
}

TEST(LzmsDecoder, TinyOutputsDecodeOrFailCleanly) {
    // One- and two-byte blocks have offset codes of zero and one symbol.
    auto d = NewDecompressor();
    size_t refused = 0;
    for (uint32_t seed = 0; seed < 500; ++seed) {
        const Bytes garbage = lzms_test::RandomBytes(4 + 2 * (seed % 8), seed);
        for (size_t size = 1; size <= 3; ++size) {
            Bytes out;
            if (!Decode(d.get(), garbage, size, out)) ++refused;
        }
    }
    EXPECT_GT(refused, 0u);
}

}  // namespace
