// The buffer-mode framing: our packer (wimlib inside) into our reader, byte
// for byte, with wimlib's decompressor as the reference for every block; the
// blocks stored as they are; the packer's refusals; and the reader's refusal
// of every kind of damage. Built
// with ASan/UBSan.
#include "engine/lzms_buffer.h"
#include "tests/host/lzms_test_support.h"
#include "tools/vtpack/lzms_compress.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <ostream>
#include <string>

namespace {

using lzms_test::Bytes;

struct DecompressorDeleter {
    void operator()(LzmsDecompressor* d) const { LzmsFreeDecompressor(d); }
};
using DecompressorPtr = std::unique_ptr<LzmsDecompressor, DecompressorDeleter>;

uint64_t Get64(const Bytes& b, size_t at) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

void Put64(Bytes& b, size_t at, uint64_t v) {
    for (int i = 0; i < 8; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

void Put32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t{b[at + 3]} << 24);
}

void FixCheckByte(Bytes& b) { b[kLzmsBufferCheckByteOffset] = LzmsHeaderCheckByte(b.data()); }

Bytes Pack(const Bytes& input, size_t blockSize, unsigned level = 0) {
    Bytes out;
    std::string error;
    EXPECT_TRUE(LzmsCompressBuffer(input.data(), input.size(), blockSize, out, error, level)) << error;
    return out;
}

// Decodes into a buffer of exactly `capacity` bytes (ASan sees overruns).
bool Unpack(const Bytes& stored, size_t capacity, Bytes& out, size_t* written) {
    DecompressorPtr d(LzmsCreateDecompressor());
    auto exact = std::make_unique<uint8_t[]>(capacity == 0 ? 1 : capacity);
    const bool ok = LzmsDecompressBuffer(d.get(), stored.data(), stored.size(), exact.get(), capacity, written);
    out.assign(exact.get(), exact.get() + capacity);
    return ok;
}

// Splits a buffer by hand and decodes every block record with wimlib.
bool WimlibUnpack(const Bytes& stored, Bytes& out) {
    const uint64_t total = Get64(stored, 8), block = Get64(stored, 16);
    size_t at = kLzmsBufferHeaderSize;
    out.clear();
    while (out.size() < total) {
        if (stored.size() - at < 4) return false;
        const uint32_t len = Get32(stored, at);
        at += 4;
        if (len > stored.size() - at) return false;
        if (len == total - out.size()) {  // the rest, stored
            out.insert(out.end(), stored.begin() + static_cast<std::ptrdiff_t>(at),
                       stored.begin() + static_cast<std::ptrdiff_t>(at + len));
            at += len;
            break;
        }
        const size_t size = static_cast<size_t>(std::min<uint64_t>(block, total - out.size()));
        Bytes part;
        if (!lzms_test::WimlibDecompress(stored.data() + at, len, size, part)) return false;
        out.insert(out.end(), part.begin(), part.end());
        at += len;
    }
    return at == stored.size();
}

// --- CRC and header -----------------------------------------------------------

TEST(LzmsCrc32, MatchesZlibCrc32) {
    const Bytes inputs[] = {{}, {'a'}, lzms_test::Text(1000, 1), lzms_test::RandomBytes(4097, 2)};
    for (const Bytes& in : inputs) {
        EXPECT_EQ(LzmsCrc32(in.data(), in.size()),
                  crc32(0, in.data(), static_cast<uInt>(in.size())));
    }
    EXPECT_EQ(LzmsCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
}

TEST(LzmsCrc32, ChainsLikeOneCall) {
    const Bytes in = lzms_test::RandomBytes(1000, 3);
    EXPECT_EQ(LzmsCrc32(in.data() + 400, 600, LzmsCrc32(in.data(), 400)), LzmsCrc32(in.data(), in.size()));
}

struct CheckByteCase {
    uint64_t size, block;
    uint8_t expected;
};

void PrintTo(const CheckByteCase& c, std::ostream* os) { *os << c.size << "/" << c.block; }

class LzmsHeaderCheckByteSample : public testing::TestWithParam<CheckByteCase> {};

// Check bytes seen in a payload that Windows wrote.
TEST_P(LzmsHeaderCheckByteSample, ReproducesTheWindowsValue) {
    uint8_t header[kLzmsBufferHeaderSize];
    LzmsWriteHeader(header, GetParam().size, GetParam().block);
    EXPECT_EQ(header[kLzmsBufferCheckByteOffset], GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Samples, LzmsHeaderCheckByteSample,
                         testing::Values(CheckByteCase{1255936, 65536, 0xC1}, CheckByteCase{1085, 1085, 0x3D}),
                         [](const testing::TestParamInfo<CheckByteCase>& info) {
                             return "Size" + std::to_string(info.param.size) + "Block" + std::to_string(info.param.block);
                         });

TEST(LzmsHeader, IsLaidOutAsTheCompressionApiWritesIt) {
    uint8_t h[kLzmsBufferHeaderSize];
    LzmsWriteHeader(h, 0x0102030405060708ull, 65536);
    const uint8_t expected[] = {0x0A, 0x51, 0xE5, 0xC0, 24, 0, h[6], 5, 8, 7, 6, 5, 4, 3, 2, 1,
                                0, 0, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(h, h + sizeof h), Bytes(expected, expected + sizeof expected));
    Bytes others(h, h + 6);
    others.insert(others.end(), h + 7, h + 24);
    EXPECT_EQ(h[6], static_cast<uint8_t>(crc32(0, others.data(), static_cast<uInt>(others.size()))));
}

// --- round trips ----------------------------------------------------------------

// Inputs are made when a test runs, not when the cases are listed: every
// test runs in its own process.
struct BufferCase {
    std::string name;
    Bytes (*make)();
    size_t blockSize;      // as given to the packer
    uint64_t headerBlock;  // expected in the header
    unsigned level;
    size_t records, stored;  // block records, and how many hold their bytes as they are
};

void PrintTo(const BufferCase& c, std::ostream* os) { *os << c.name; }

Bytes HundredKText() { return lzms_test::Text(100000, 4); }

// 1,000 bytes whose LZMS stream (wimlib's default level) is exactly 1,000
// bytes long: as a record it would read as stored bytes.
Bytes AsLongAsItsStream() {
    Bytes b(16, 'a');
    const Bytes tail = lzms_test::RandomBytes(984, 7);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

std::vector<BufferCase> BufferCases() {
    return {
        {"FourBytesOneBlock", [] { return Bytes{9, 8, 7, 6}; }, 0, 4, 0, 1, 1},
        {"OneByte", [] { return Bytes{42}; }, 0, 1, 0, 1, 1},
        {"ThreeBytesWithConfiguredBlock", [] { return Bytes{1, 2, 3}; }, 65536, 3, 0, 1, 1},
        {"SmallFileWithConfiguredBlock", [] { return lzms_test::Text(1085, 5); }, 65536, 1085, 0, 1, 0},
        {"BlockOneAboveInputSize", HundredKText, 100001, 100000, 0, 1, 0},
        {"BlockEqualToInputSize", HundredKText, 100000, 100000, 0, 1, 0},
        {"BlockFourBelowInputSizeLeavesFourByteBlock", HundredKText, 99996, 99996, 0, 2, 1},
        {"BlockOneBelowInputSizeLeavesOneByte", HundredKText, 99999, 99999, 0, 2, 1},
        {"LastBlockOfOneByte", [] { return lzms_test::Text(65537, 6); }, 65536, 65536, 0, 2, 1},
        {"LastBlockOfThreeBytes", [] { return lzms_test::Text(3 * 65536 + 3, 6); }, 65536, 65536, 0, 4, 1},
        {"InputOneAboveMinimumBlock", [] { return lzms_test::Text(65537 + 3, 6); }, 65536, 65536, 0, 2, 1},
        {"SeveralBlocksShortLast", [] { return lzms_test::FakeX86(3 * 65536 + 1000, 7); }, 65536, 65536, 0, 4, 0},
        {"ExactMultipleOfBlock", [] { return lzms_test::Text(4 * 65536, 8); }, 65536, 65536, 0, 4, 0},
        {"AllZero", [] { return Bytes(1 << 20, 0); }, 0, 1 << 20, 0, 1, 0},
        {"AllZeroBlocks", [] { return Bytes(1 << 20, 0); }, 65536, 65536, 0, 16, 0},
        {"RandomIncompressible", [] { return lzms_test::RandomBytes(300000, 9); }, 65536, 65536, 0, 5, 1},
        {"RandomOneBlock", [] { return lzms_test::RandomBytes(300000, 10); }, 0, 300000, 0, 1, 1},
        {"StreamAsLongAsTheInput", AsLongAsItsStream, 0, 1000, 0, 1, 1},
        {"Ramps", [] { return lzms_test::Ramps(500000); }, 131072, 131072, 0, 4, 0},
        {"Text", [] { return lzms_test::Text(700000, 11); }, 0, 700000, 0, 1, 0},
    };
}

class LzmsBufferRoundTrip : public testing::TestWithParam<BufferCase> {};

TEST_P(LzmsBufferRoundTrip, DecodesToTheInputLikeWimlib) {
    const BufferCase& c = GetParam();
    const Bytes input = c.make();
    const Bytes stored = Pack(input, c.blockSize, c.level);
    ASSERT_GE(stored.size(), kLzmsBufferHeaderSize);
    EXPECT_EQ(Get64(stored, 8), input.size());
    EXPECT_EQ(Get64(stored, 16), c.headerBlock);

    Bytes out;
    size_t written = 0;
    ASSERT_TRUE(Unpack(stored, input.size(), out, &written));
    EXPECT_EQ(written, input.size());
    EXPECT_TRUE(out == input);

    Bytes reference;
    ASSERT_TRUE(WimlibUnpack(stored, reference));
    EXPECT_TRUE(reference == input);

    uint64_t announced = 0;
    EXPECT_TRUE(LzmsBufferUncompressedSize(stored.data(), stored.size(), &announced));
    EXPECT_EQ(announced, input.size());

    size_t records = 0, raw = 0;
    EXPECT_TRUE(LzmsBufferCountRecords(stored.data(), stored.size(), &records, &raw));
    EXPECT_EQ(records, c.records);
    EXPECT_EQ(raw, c.stored);
}

INSTANTIATE_TEST_SUITE_P(Inputs, LzmsBufferRoundTrip, testing::ValuesIn(BufferCases()),
                         [](const testing::TestParamInfo<BufferCase>& info) { return info.param.name; });

TEST(LzmsBuffer, RoundTripsRealX86_64ExecutablesWholeAndIn64KiBBlocks) {
    const auto files = lzms_test::WinePeFiles(2, 1 << 20, 4 << 20);
    if (files.empty()) GTEST_SKIP() << "no x86-64 PE files in Wine's folder on this machine";
    for (const auto& f : files) {
        for (const size_t block : {size_t{0}, size_t{65536}}) {
            SCOPED_TRACE(f.path + " block " + std::to_string(block));
            const Bytes stored = Pack(f.bytes, block);
            Bytes out, reference;
            size_t written = 0;
            ASSERT_TRUE(Unpack(stored, f.bytes.size(), out, &written));
            EXPECT_TRUE(out == f.bytes);
            ASSERT_TRUE(WimlibUnpack(stored, reference));
            EXPECT_TRUE(reference == f.bytes);
        }
    }
}

// The largest input, one 64 MiB block: compressible data at wimlib's fastest
// level keeps this to seconds.
TEST(LzmsBuffer, RoundTripsTheLargest64MiBBlock) {
    Bytes input(kLzmsMaxCompressInput, 0);
    const Bytes text = lzms_test::Text(1 << 20, 12);
    for (size_t at = 0; at < input.size(); at += 4 << 20) std::copy(text.begin(), text.end(), input.begin() + at);
    const Bytes tail = lzms_test::RandomBytes(4096, 13);
    std::copy(tail.begin(), tail.end(), input.end() - 4096);

    const Bytes stored = Pack(input, kLzmsMaxConfiguredBlockSize, 1);
    EXPECT_EQ(Get64(stored, 16), kLzmsMaxConfiguredBlockSize);
    Bytes out;
    size_t written = 0;
    ASSERT_TRUE(Unpack(stored, input.size(), out, &written));
    EXPECT_EQ(written, input.size());
    EXPECT_TRUE(out == input);
}

// The ambiguous length is never written: wimlib makes a stream exactly as
// long as this input, and the packer stores the input instead.
TEST(LzmsBuffer, PackerStoresWhatAStreamAsLongAsTheRestWouldHold) {
    const Bytes input = AsLongAsItsStream();
    ASSERT_EQ(lzms_test::WimlibCompress(input).size(), input.size())
        << "the input no longer makes the ambiguous stream";
    const Bytes stored = Pack(input, 0);
    ASSERT_EQ(stored.size(), kLzmsBufferHeaderSize + 4 + input.size());
    EXPECT_EQ(Get32(stored, kLzmsBufferHeaderSize), input.size());
    EXPECT_TRUE(std::equal(input.begin(), input.end(), stored.begin() + kLzmsBufferHeaderSize + 4));
}

// Records as long as the rest, made by hand: the bytes as they are, also
// where the rest spans several blocks; one byte shorter is a stream.
TEST(LzmsBuffer, ReadsARecordAsLongAsTheRestAsStoredBytes) {
    const Bytes text = lzms_test::Text(70000, 23);
    Bytes stored = Pack(Bytes(text.begin(), text.begin() + 65536), 65536);
    const size_t firstRecord = stored.size();
    Put64(stored, 8, text.size());
    FixCheckByte(stored);
    stored.resize(firstRecord + 4);
    Put32(stored, firstRecord, 70000 - 65536);
    stored.insert(stored.end(), text.begin() + 65536, text.end());
    Bytes out;
    size_t written = 0;
    ASSERT_TRUE(Unpack(stored, text.size(), out, &written));
    EXPECT_EQ(written, text.size());
    EXPECT_TRUE(out == text);

    Bytes whole(kLzmsBufferHeaderSize + 4);
    LzmsWriteHeader(whole.data(), text.size(), 65536);
    Put32(whole, kLzmsBufferHeaderSize, 70000);
    whole.insert(whole.end(), text.begin(), text.end());
    ASSERT_TRUE(Unpack(whole, text.size(), out, &written));
    EXPECT_TRUE(out == text);
    size_t records = 0, raw = 0;
    EXPECT_TRUE(LzmsBufferCountRecords(whole.data(), whole.size(), &records, &raw));
    EXPECT_EQ(records, 1u);
    EXPECT_EQ(raw, 1u);

    Put32(whole, kLzmsBufferHeaderSize, 69999);
    whole.pop_back();
    EXPECT_FALSE(Unpack(whole, text.size(), out, &written));
    EXPECT_FALSE(LzmsBufferCountRecords(whole.data(), whole.size(), &records, &raw));
}

TEST(LzmsBuffer, PackingIsDeterministic) {
    const Bytes input = lzms_test::FakeX86(200000, 14);
    EXPECT_EQ(Pack(input, 0), Pack(input, 0));
    EXPECT_EQ(Pack(input, 65536), Pack(input, 65536));
}

TEST(LzmsBuffer, LargerCapacityAndNullWrittenAreFine) {
    const Bytes input = lzms_test::Text(5000, 15);
    const Bytes stored = Pack(input, 0);
    Bytes out;
    size_t written = 0;
    ASSERT_TRUE(Unpack(stored, input.size() + 100, out, &written));
    EXPECT_EQ(written, input.size());
    EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin()));
    EXPECT_TRUE(Unpack(stored, input.size(), out, nullptr));
}

// --- packer refusals --------------------------------------------------------------

struct RefusalCase {
    std::string name;
    size_t inputSize;
    size_t blockSize;
    std::string mentions;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

class LzmsPackerRefuses : public testing::TestWithParam<RefusalCase> {};

TEST_P(LzmsPackerRefuses, WithAClearMessage) {
    const RefusalCase& c = GetParam();
    const Bytes input(c.inputSize, 'x');
    Bytes out = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(LzmsCompressBuffer(input.data(), input.size(), c.blockSize, out, error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_TRUE(out.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LzmsPackerRefuses,
    testing::Values(RefusalCase{"EmptyInput", 0, 0, "empty"},
                    RefusalCase{"BlockSizeOne", 100000, 1, "out of range"},
                    RefusalCase{"BlockSizeBelowMinimum", 100000, 65535, "out of range"},
                    RefusalCase{"BlockSizeAboveMaximum", 100000, (64 << 20) + 1, "out of range"},
                    RefusalCase{"InputOver64MiB", (64 << 20) + 1, 0, "maximum"}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

// --- damaged buffers ---------------------------------------------------------------

Bytes SmallStored() { return Pack(lzms_test::FakeX86(150000, 16), 65536); }

struct DamageCase {
    std::string name;
    void (*damage)(Bytes&);
};

void PrintTo(const DamageCase& c, std::ostream* os) { *os << c.name; }

class LzmsBufferRefuses : public testing::TestWithParam<DamageCase> {};

TEST_P(LzmsBufferRefuses, DamagedBuffer) {
    Bytes stored = SmallStored();
    GetParam().damage(stored);
    Bytes out;
    size_t written = 12345;
    EXPECT_FALSE(Unpack(stored, 1 << 20, out, &written));
    EXPECT_EQ(written, 0u);
}

// Every field but the check byte is damaged with the check byte fixed up, so
// that the field's own check is what refuses it.
INSTANTIATE_TEST_SUITE_P(
    Cases, LzmsBufferRefuses,
    testing::Values(
        DamageCase{"Magic", [](Bytes& b) { b[0] ^= 1; FixCheckByte(b); }},
        DamageCase{"MagicLastByte", [](Bytes& b) { b[3] = 0xC1; FixCheckByte(b); }},
        DamageCase{"HeaderLength23", [](Bytes& b) { b[4] = 23; FixCheckByte(b); }},
        DamageCase{"HeaderLength25", [](Bytes& b) { b[4] = 25; FixCheckByte(b); }},
        DamageCase{"HeaderLengthHighByte", [](Bytes& b) { b[5] = 1; FixCheckByte(b); }},
        DamageCase{"CheckByte", [](Bytes& b) { b[6] ^= 0x80; }},
        DamageCase{"CheckByteOverOtherField", [](Bytes& b) { b[12] ^= 1; }},
        DamageCase{"AlgorithmXpress", [](Bytes& b) { b[7] = 4; FixCheckByte(b); }},
        DamageCase{"AlgorithmSix", [](Bytes& b) { b[7] = 6; FixCheckByte(b); }},
        DamageCase{"UncompressedSizeZero", [](Bytes& b) { Put64(b, 8, 0); FixCheckByte(b); }},
        // One block more needs a record that is not there; one block fewer
        // leaves a record behind.
        DamageCase{"UncompressedSizeOneBlockMore", [](Bytes& b) { Put64(b, 8, Get64(b, 8) + 65536); FixCheckByte(b); }},
        DamageCase{"UncompressedSizeOneBlockLess", [](Bytes& b) { Put64(b, 8, Get64(b, 8) - 65536); FixCheckByte(b); }},
        DamageCase{"UncompressedSizeHuge", [](Bytes& b) { Put64(b, 8, ~0ull); FixCheckByte(b); }},
        DamageCase{"BlockSizeZero", [](Bytes& b) { Put64(b, 16, 0); FixCheckByte(b); }},
        DamageCase{"BlockSizeBelowMinimum", [](Bytes& b) { Put64(b, 16, 65535); FixCheckByte(b); }},
        DamageCase{"BlockSizeDoubled", [](Bytes& b) { Put64(b, 16, 131072); FixCheckByte(b); }},
        DamageCase{"BlockSizeAboveInput", [](Bytes& b) { Put64(b, 16, Get64(b, 8) + 1); FixCheckByte(b); }},
        DamageCase{"BlockSizeAboveMaximum", [](Bytes& b) { Put64(b, 16, (64ull << 20) + 1); FixCheckByte(b); }},
        DamageCase{"FirstRecordLengthZero", [](Bytes& b) { Put32(b, 24, 0); }},
        DamageCase{"FirstRecordLengthOverrun", [](Bytes& b) { Put32(b, 24, static_cast<uint32_t>(b.size() - 28 + 1)); }},
        DamageCase{"FirstRecordLengthHuge", [](Bytes& b) { Put32(b, 24, 0xFFFFFFFFu); }},
        DamageCase{"FirstRecordLengthOdd", [](Bytes& b) { Put32(b, 24, Get32(b, 24) + 1); }},
        DamageCase{"LastRecordMissing", [](Bytes& b) {
            size_t at = 24;
            for (int k = 0; k < 2; ++k) at += 4 + Get32(b, at);
            b.resize(at);
        }},
        DamageCase{"LastRecordLengthFieldCut", [](Bytes& b) {
            size_t at = 24;
            for (int k = 0; k < 2; ++k) at += 4 + Get32(b, at);
            b.resize(at + 3);
        }},
        DamageCase{"TrailingByte", [](Bytes& b) { b.push_back(0); }},
        DamageCase{"TrailingRecord", [](Bytes& b) { b.insert(b.end(), {4, 0, 0, 0, 0, 0, 0, 0}); }},
        DamageCase{"HeaderOnly", [](Bytes& b) { b.resize(24); }},
        DamageCase{"ShorterThanHeader", [](Bytes& b) { b.resize(23); }}),
    [](const testing::TestParamInfo<DamageCase>& info) { return info.param.name; });

TEST(LzmsBuffer, RefusesOutputLargerThanCapacity) {
    const Bytes input = lzms_test::Text(10000, 17);
    const Bytes stored = Pack(input, 0);
    Bytes out;
    size_t written = 1;
    EXPECT_FALSE(Unpack(stored, input.size() - 1, out, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_FALSE(Unpack(stored, 0, out, &written));
}

TEST(LzmsBuffer, RefusesNullArguments) {
    const Bytes stored = Pack(lzms_test::Text(1000, 18), 0);
    DecompressorPtr d(LzmsCreateDecompressor());
    uint8_t out[1000];
    size_t written = 0;
    EXPECT_FALSE(LzmsDecompressBuffer(nullptr, stored.data(), stored.size(), out, sizeof out, &written));
    EXPECT_FALSE(LzmsDecompressBuffer(d.get(), nullptr, stored.size(), out, sizeof out, &written));
    EXPECT_FALSE(LzmsDecompressBuffer(d.get(), stored.data(), stored.size(), nullptr, sizeof out, &written));
    EXPECT_FALSE(LzmsBufferUncompressedSize(nullptr, 24, nullptr));
    EXPECT_TRUE(LzmsDecompressBuffer(d.get(), stored.data(), stored.size(), out, sizeof out, &written));
}

TEST(LzmsBuffer, AcceptsABlockSizeEqualToALargeFile) {
    // A file of 70,000 bytes packed with a configured 1 MiB block: the header
    // holds 70,000, above the minimum but equal to the file.
    const Bytes input = lzms_test::Text(70000, 19);
    const Bytes stored = Pack(input, 1 << 20);
    EXPECT_EQ(Get64(stored, 16), 70000u);
    Bytes out;
    EXPECT_TRUE(Unpack(stored, input.size(), out, nullptr));
    EXPECT_TRUE(out == input);
}

TEST(LzmsBuffer, EveryTruncationIsRefused) {
    const Bytes stored = Pack(lzms_test::Text(3000, 20), 0);
    for (size_t len = 0; len < stored.size(); ++len) {
        const Bytes cut(stored.begin(), stored.begin() + static_cast<std::ptrdiff_t>(len));
        Bytes out;
        size_t written = 7;
        EXPECT_FALSE(Unpack(cut, 3000, out, &written)) << "length " << len;
        EXPECT_EQ(written, 0u);
    }
}

TEST(LzmsBuffer, RandomBitFlipsFailOrGiveTheAnnouncedSize) {
    const Bytes stored = Pack(lzms_test::FakeX86(3000, 21), 0);
    std::mt19937 random(22);
    size_t refused = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        Bytes bad = stored;
        for (uint32_t flips = 1 + random() % 4; flips > 0; --flips)
            bad[random() % bad.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        Bytes out;
        size_t written = 0;
        if (Unpack(bad, 1 << 16, out, &written))
            EXPECT_EQ(written, Get64(bad, 8));
        else
            ++refused;
    }
    EXPECT_GT(refused, 1000u);
}

}  // namespace
