// The compressor: every block decodes back through the project's decoder,
// the output is deterministic, and the codes of the format are used where
// they pay.
#include <gtest/gtest.h>

#include <map>

#include "JcPack.h"
#include "JcUnpack.h"
#include "TestSupport.h"

namespace {

enum CodeKind { Literal, RepeatMatch, LongMatch, FarMatch, ZeroByte, NearByte, RawRun,
                LiteralWidth7, LiteralWidth8, ShortMatch, IndexWidth };

// Counts the codes of a block by kind. It walks the code stream the way the
// decoder does but only tracks B and W.
std::map<CodeKind, int> CodeCensus(const Bytes& block) {
    std::map<CodeKind, int> census;
    size_t next = JcHeaderSize;
    uint32_t reg = 0x80000000u;
    auto bit = [&]() -> uint32_t {
        uint32_t b = reg >> 31;
        reg <<= 1;
        if (reg == 0) {
            uint32_t w = 0;
            if (next + 4 <= block.size())
                w = block[next] | (block[next + 1] << 8) | (block[next + 2] << 16) | ((uint32_t)block[next + 3] << 24);
            next += 4;
            reg = (w << 1) | 1;
            b = w >> 31;
        }
        return b;
    };
    auto field = [&](int n) { uint32_t v = 0; while (n--) v = v * 2 + bit(); return v; };
    auto gamma = [&]() { uint32_t v = 1; do v = v * 2 + bit(); while (bit()); return v; };
    uint32_t width = 8, literalWidth = 8;
    while (next <= block.size()) {
        if (bit()) {
            field(literalWidth);
            ++census[Literal];
        } else if (bit()) {
            uint32_t g = gamma();
            if (g == 2) {
                ++census[RepeatMatch];
            } else {
                uint32_t distance = ((g - 3) << width) | field(width);
                ++census[distance >= 65536 ? FarMatch : LongMatch];
            }
            gamma();
        } else if (bit()) {
            uint32_t v = field(4);
            if (v == 1) {
                ++census[ZeroByte];
            } else if (v >= 2) {
                ++census[NearByte];
            } else if (bit()) {
                do field(2048); while (bit());
                ++census[RawRun];
            } else if (bit()) {
                literalWidth = 8;
                ++census[LiteralWidth8];
            } else {
                literalWidth = 7;
                field(8);
                ++census[LiteralWidth7];
            }
        } else {
            uint32_t d = field(7), k = field(2);
            if (d) {
                ++census[ShortMatch];
            } else if (k == 0) {
                break;
            } else {
                width = field(k + 3);
                ++census[IndexWidth];
            }
        }
    }
    return census;
}

void ExpectRoundTrip(const Bytes& data) {
    Bytes block = JcPack(data.data(), (uint32_t)data.size());
    ASSERT_GE(block.size(), JcHeaderSize + 4);
    EXPECT_EQ((block.size() - JcHeaderSize) % 4, 0u);
    EXPECT_EQ(JcBlockUnpackedSize(block.data()), data.size());
    EXPECT_EQ(JcBlockChecksumField(block.data()), JcChecksum(data.data(), (uint32_t)data.size()));
    Decoded d = DecodeBlock(block, (uint32_t)data.size());
    EXPECT_EQ(d.status, JcGood);
    EXPECT_EQ(d.written, data.size());
    EXPECT_TRUE(d.output == data);
}

Bytes Repeated(size_t n, uint8_t value) { return Bytes(n, value); }

// Noise with every 40th byte changed in a copy: matches broken by single
// bytes, where a repeat match picks up after each.
Bytes NearCopies() {
    Bytes first = NoiseBytes(4000, 11);
    Bytes second = first;
    for (size_t i = 20; i < second.size(); i += 40)
        second[i] ^= 0x55;
    return Concat({first, second});
}

// Noise, then many pieces of it from far back: far matches are cheaper
// with a wider index.
Bytes FarPieces() {
    Bytes noise = NoiseBytes(70000, 14);
    Bytes out = noise;
    for (size_t i = 0; i < 200; ++i) {
        size_t from = (i * 337) % 60000;
        out.insert(out.end(), noise.begin() + from, noise.begin() + from + 300);
    }
    return out;
}

struct Input {
    const char* name;
    Bytes data;
};

std::vector<Input> Inputs() {
    Bytes all256;
    for (int i = 0; i < 256; ++i)
        all256.push_back((uint8_t)i);
    Bytes far = NoiseBytes(70000, 21);
    return {
        {"empty", {}},
        {"one byte", {0x41}},
        {"one zero byte", {0}},
        {"all 256 byte values", all256},
        {"all 256 byte values twice", Concat({all256, all256})},
        {"long run of zeros", Repeated(100000, 0)},
        {"long run of one byte", Repeated(70001, 0xC3)},
        {"alternating runs", Concat({Repeated(300, 'a'), Repeated(5, 'b'), Repeated(1000, 0), Repeated(17, 'a'), Repeated(3, 0xFF)})},
        {"text", TextBytes(30000, 1)},
        {"random", NoiseBytes(20000, 2)},
        {"text, random, zeros, text", Concat({TextBytes(5000, 3), NoiseBytes(5000, 4), Repeated(3000, 0), TextBytes(5000, 5)})},
        {"far repeats across segments", Concat({far, TextBytes(1000, 6), far})},
        {"far pieces", FarPieces()},
        {"near copies", NearCopies()},
        {"high bytes", Concat({NoiseBytes(100, 7), Repeated(200, 0x80), TextBytes(300, 8)})},
    };
}

TEST(JcPack, EveryBlockDecodesBack) {
    for (const Input& input : Inputs()) {
        SCOPED_TRACE(input.name);
        ExpectRoundTrip(input.data);
    }
}

TEST(JcPack, SameInputSameBlock) {
    Bytes data = Concat({TextBytes(20000, 9), NoiseBytes(3000, 10), TextBytes(20000, 9)});
    EXPECT_EQ(JcPack(data.data(), (uint32_t)data.size()), JcPack(data.data(), (uint32_t)data.size()));
}

TEST(JcPack, BlocksStartWithALiteralWidthCode) {
    for (const Input& input : Inputs()) {
        SCOPED_TRACE(input.name);
        Bytes block = JcPack(input.data.data(), (uint32_t)input.data.size());
        uint32_t firstWord = block[10] | (block[11] << 8) | (block[12] << 16) | ((uint32_t)block[13] << 24);
        EXPECT_EQ(firstWord >> 24, 0x20u) << "001 0000 0 expected";
    }
}

// Each code is used where it is the cheap way to send the data.
TEST(JcPack, UsesTheCodesThatPay) {
    struct Case {
        const char* name;
        Bytes data;
        std::vector<CodeKind> expected;
    } cases[] = {
        {"text", TextBytes(30000, 1), {LiteralWidth7, Literal, NearByte, ShortMatch, LongMatch}},
        {"zeros after text", Concat({TextBytes(100, 2), Repeated(50, 0), TextBytes(100, 3)}), {ZeroByte}},
        {"noise between text", Concat({TextBytes(3000, 4), NoiseBytes(3000, 5), TextBytes(3000, 6)}),
         {RawRun, LiteralWidth7}},
        {"short noise", NoiseBytes(200, 8), {LiteralWidth8, Literal}},
        {"near copies", NearCopies(), {RepeatMatch}},
        {"far pieces", FarPieces(), {FarMatch, IndexWidth}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::map<CodeKind, int> census = CodeCensus(JcPack(c.data.data(), (uint32_t)c.data.size()));
        for (CodeKind kind : c.expected)
            EXPECT_GT(census[kind], 0) << "code kind " << kind;
    }
}

// Loose bounds that only a broken encoder misses.
TEST(JcPack, CompressesWhatIsCompressible) {
    Bytes zeros = Repeated(100000, 0);
    EXPECT_LT(JcPack(zeros.data(), (uint32_t)zeros.size()).size(), 100u);
    Bytes text = TextBytes(50000, 12);
    EXPECT_LT(JcPack(text.data(), (uint32_t)text.size()).size(), text.size() / 3);
    Bytes noise = NoiseBytes(50000, 13);
    EXPECT_LT(JcPack(noise.data(), (uint32_t)noise.size()).size(), noise.size() + noise.size() / 100);
}

}  // namespace
