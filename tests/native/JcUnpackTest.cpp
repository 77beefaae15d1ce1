// The JC block decoder: the worked example, the checksum, every code on
// hand-built blocks, and corrupt streams that must be refused without any
// access outside the two buffers (the sanitized run checks the latter).
#include <gtest/gtest.h>

#include "BlockBuilder.h"
#include "JcUnpack.h"
#include "TestSupport.h"

namespace {

// Appends length bytes copied one at a time from distance bytes back: the
// reference the decoder's output is compared with.
void CopyBack(Bytes& out, uint32_t distance, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        out.push_back(out[out.size() - distance]);
}

// Sends bytes as raw runs and 8-bit literals (B = 8 must be set).
void SendBytes(BlockBuilder& b, const Bytes& bytes) {
    size_t whole = bytes.size() / 256 * 256;
    if (whole)
        b.rawRun(Bytes(bytes.begin(), bytes.begin() + whole));
    for (size_t i = whole; i < bytes.size(); ++i)
        b.literal(bytes[i], 8);
}

Bytes Finish(BlockBuilder& b, const Bytes& expected) {
    b.end();
    return b.block((uint32_t)expected.size(), JcChecksum(expected.data(), (uint32_t)expected.size()));
}

void ExpectDecodes(const Bytes& block, const Bytes& expected) {
    Decoded d = DecodeBlock(block, (uint32_t)expected.size());
    EXPECT_EQ(d.result, (int32_t)expected.size());
    EXPECT_EQ(d.status, JcGood);
    EXPECT_EQ(d.output, expected);
}

TEST(JcUnpack, WorkedExampleDecodesToAaaa) {
    const Bytes block = {0x4A, 0x43, 0x04, 0x00, 0x00, 0x00, 0xA2, 0xA3, 0xA3,
                         0xA3, 0x14, 0x40, 0xD8, 0x20, 0x00, 0x00, 0x00, 0x00};
    Decoded d = DecodeBlock(block, 4);
    EXPECT_EQ(d.result, 4);
    EXPECT_EQ(d.output, BytesOf("aaaa"));

    // The builder writes the same block.
    BlockBuilder b;
    b.setLiteral8().literal('a', 8).shortMatch(1, 1).end();
    EXPECT_EQ(b.block(4, 0xA3A3A3A2), block);
}

TEST(JcChecksum, Examples) {
    struct Case {
        const char* text;
        uint32_t sum;
    } cases[] = {
        {"", 0}, {"abc", 0}, {"abcd", 0xACA5A6A2}, {"abcdef", 0xDFC1C3C2},
        {"abcdefgh", 0xC5C3C1CC}, {"aaaa", 0xA3A3A3A2},
    };
    for (const Case& c : cases) {
        ExactBuffer data((const uint8_t*)c.text, strlen(c.text));
        EXPECT_EQ(JcChecksum(data.data(), (uint32_t)data.size()), c.sum) << c.text;
    }
    EXPECT_EQ(JcChecksum(nullptr, 8), 0u);
}

// A long match copies n + adj(D) bytes, whatever the index width.
TEST(JcUnpack, LongMatchLengthAdjustment) {
    struct Case {
        uint32_t distance;
        uint32_t width;
        uint32_t n;
        uint32_t copied;
    } cases[] = {
        {1, 8, 2, 6},         {127, 8, 2, 6},      {127, 3, 5, 9},      {128, 8, 2, 2},
        {128, 12, 7, 7},      {638, 8, 3, 3},      {639, 8, 2, 3},      {639, 5, 4, 5},
        {14334, 8, 2, 3},     {14335, 8, 2, 4},    {14335, 13, 3, 5},   {65535, 8, 2, 4},
        {65536, 8, 2, 5},     {65536, 17, 6, 9},   {70000, 1, 2, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("distance " + std::to_string(c.distance) + " width " + std::to_string(c.width));
        Bytes expected = NoiseBytes(c.distance, c.distance);
        BlockBuilder b;
        b.setLiteral8();
        SendBytes(b, expected);
        if (c.width != 8)
            b.indexWidth(c.width < 16 ? 1 : 2, c.width);
        b.longMatchAt(c.distance, c.width, c.n);
        CopyBack(expected, c.distance, c.copied);
        ExpectDecodes(Finish(b, expected), expected);
    }
}

// A repeat match uses the distance of the last long or short match and is
// never adjusted; near bytes leave that distance alone.
TEST(JcUnpack, RepeatMatchesAndNearBytes) {
    Bytes expected = NoiseBytes(256, 7);
    BlockBuilder b;
    b.setLiteral8().rawRun(expected);
    b.longMatchAt(100, 8, 3);   // distance 100: adj +4, 7 bytes
    CopyBack(expected, 100, 7);
    b.repeatMatch(3);           // 3 bytes from distance 100, no adjustment
    CopyBack(expected, 100, 3);
    ExpectDecodes(Finish(b, expected), expected);

    expected = BytesOf("abcdefghijklmnop");
    BlockBuilder n;
    n.setLiteral8();
    for (uint8_t c : BytesOf("abcdefghijklmnop"))
        n.literal(c, 8);
    n.nearByte(2);              // the last byte again
    CopyBack(expected, 1, 1);
    n.nearByte(15);             // the byte 14 back
    CopyBack(expected, 14, 1);
    n.repeatMatch(2);           // L is still 1, its value at the start
    CopyBack(expected, 1, 2);
    n.shortMatch(5, 0);         // 2 bytes from 5 back, L = 5
    CopyBack(expected, 5, 2);
    n.nearByte(3);              // the byte 2 back; L stays 5
    CopyBack(expected, 2, 1);
    n.repeatMatch(3);           // 3 bytes from 5 back
    CopyBack(expected, 5, 3);
    ExpectDecodes(Finish(n, expected), expected);
}

// Literals add the base C under B = 7; the zero byte and raw runs ignore it.
TEST(JcUnpack, LiteralWidthBaseZeroByteAndRawRuns) {
    Bytes run256 = NoiseBytes(256, 1);
    Bytes run512 = NoiseBytes(512, 2);
    BlockBuilder b;
    b.setLiteral7(10)
        .literal(0, 7)      // 10
        .literal(127, 7)    // 137
        .zeroByte()         // 0, not 10
        .rawRun(run256)     // as sent, C not added
        .rawRun(run512)
        .literal(5, 7)      // 15
        .setLiteral7(200)
        .literal(100, 7)    // 300 mod 256
        .setLiteral8()
        .literal(255, 8)    // C is 0 again
        .zeroByte();
    Bytes expected = Concat({{10, 137, 0}, run256, run512, {15, 44, 255, 0}});
    ExpectDecodes(Finish(b, expected), expected);
}

// Index-width codes with k = 1, 2, 3 set the width the next long matches use.
TEST(JcUnpack, IndexWidthCodes) {
    struct Case {
        uint32_t k;
        uint32_t width;
        uint32_t distance;
    } cases[] = {{1, 4, 300}, {1, 15, 600}, {2, 17, 1000}, {2, 3, 640}, {3, 9, 130}, {3, 31, 2000}};
    for (const Case& c : cases) {
        SCOPED_TRACE("k " + std::to_string(c.k) + " width " + std::to_string(c.width));
        Bytes expected = NoiseBytes(2048, c.width);
        BlockBuilder b;
        b.setLiteral8();
        SendBytes(b, expected);
        b.indexWidth(c.k, c.width);
        b.longMatchAt(c.distance, c.width, 4);
        CopyBack(expected, c.distance, 4 + (c.distance >= 639 ? 1 : 0));
        b.longMatchAt(c.distance + 1, c.width, 2);
        CopyBack(expected, c.distance + 1, 2 + (c.distance + 1 >= 639 ? 1 : 0));
        ExpectDecodes(Finish(b, expected), expected);
    }
}

TEST(JcUnpack, ChecksumField) {
    BlockBuilder b;
    b.setLiteral8().literal('x', 8).literal('y', 8).literal('z', 8).zeroByte().literal('!', 8).end();
    const Bytes content = {'x', 'y', 'z', 0, '!'};
    const uint32_t sum = JcChecksum(content.data(), 5);

    Decoded good = DecodeBlock(b.block(5, sum), 5);
    EXPECT_EQ(good.result, 5);
    EXPECT_EQ(good.output, content);

    Decoded unchecked = DecodeBlock(b.block(5, 0), 5);  // 0: no checksum
    EXPECT_EQ(unchecked.result, 5);
    EXPECT_EQ(unchecked.output, content);

    Decoded bad = DecodeBlock(b.block(5, sum ^ 1), 5);
    EXPECT_EQ(bad.result, 0);
    EXPECT_EQ(bad.status, JcBadChecksum);
    EXPECT_EQ(bad.output, content) << "the decoded bytes stay in the buffer";

    // Fewer than 4 bytes have checksum 0, so any other field fails.
    BlockBuilder s;
    s.setLiteral8().literal('h', 8).literal('i', 8).end();
    EXPECT_EQ(DecodeBlock(s.block(2, 0), 2).result, 2);
    EXPECT_EQ(DecodeBlock(s.block(2, 1), 2).result, 0);

    // The checksum covers N bytes: a block claiming more than the output holds fails.
    EXPECT_EQ(DecodeBlock(b.block(6, sum), 5).status, JcBadChecksum);
}

TEST(JcUnpack, WrongSignatureLeavesOutputUntouched) {
    BlockBuilder b;
    b.setLiteral8().literal('a', 8).shortMatch(1, 1).end();
    for (const char* signature : {"JD", "CJ", "jc", "\0\0"}) {
        Bytes block = b.block(4, 0);
        block[0] = (uint8_t)signature[0];
        block[1] = (uint8_t)signature[1];
        Decoded d = DecodeBlock(block, 4);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.status, JcBadSignature);
        EXPECT_EQ(d.output, Bytes(4, 0xEE));
    }
}

TEST(JcUnpack, BlockOfNoBytesIsGoodButCountsZero) {
    BlockBuilder b;
    b.setLiteral8().end();
    Decoded d = DecodeBlock(b.block(0, 0), 0);
    EXPECT_EQ(d.result, 0);
    EXPECT_EQ(d.status, JcGood);
    EXPECT_EQ(d.written, 0u);
}

TEST(JcUnpack, NullPointersAndShortBlocks) {
    BlockBuilder b;
    b.setLiteral8().literal('a', 8).end();
    Bytes block = b.block(1, 0);
    uint8_t out[1];
    EXPECT_EQ(JcUnpack(nullptr, (uint32_t)block.size(), out, 1), 0);
    EXPECT_EQ(JcUnpack(block.data(), (uint32_t)block.size(), nullptr, 1), 0);
    for (uint32_t size = 0; size < JcHeaderSize; ++size) {
        ExactBuffer in(block.data(), size);
        EXPECT_EQ(JcDecode(in.data(), size, out, 1, nullptr), JcBadArguments) << size;
    }
}

// Streams that break a rule of the format: each is refused, with no access
// outside the block and the output.
TEST(JcUnpack, CorruptStreamsAreRefused) {
    auto start = [] { BlockBuilder b; b.setLiteral8(); return b; };
    struct Case {
        const char* what;
        BlockBuilder stream;
        uint32_t outputSize;
        bool end;  // close the stream with an end code
    };
    BlockBuilder gammaTooLong = start();
    gammaTooLong.bits(0x1, 2);
    for (int i = 0; i < 40; ++i)
        gammaTooLong.bits(0x3, 2);  // bit 1, continue 1, without end
    Case cases[] = {
        {"no end code before the block ends", start().literal('a', 8).literal('b', 8), 2, false},
        {"empty code stream", BlockBuilder(), 0, false},
        {"literal before a literal-width code", BlockBuilder().literal('a', 8), 1, true},
        {"literal past the output", start().literal('a', 8).literal('b', 8), 1, true},
        {"zero byte past the output", start().zeroByte(), 0, true},
        {"near byte past the output", start().literal('a', 8).nearByte(2), 1, true},
        {"short match past the output", start().literal('a', 8).shortMatch(1, 3), 4, true},
        {"long match past the output", start().rawRun(NoiseBytes(256, 3)).longMatchAt(200, 8, 9), 264, true},
        {"repeat match past the output", start().literal('a', 8).repeatMatch(3), 3, true},
        {"raw run past the output", start().rawRun(NoiseBytes(256, 4)), 255, true},
        {"second raw group past the output", start().rawRun(NoiseBytes(512, 5)), 300, true},
        {"near byte before the start", start().nearByte(2), 4, true},
        {"near byte reaching before the start", start().literal('a', 8).nearByte(3), 4, true},
        {"short match before the start", start().literal('a', 8).shortMatch(2, 0), 8, true},
        {"long match before the start", start().rawRun(NoiseBytes(256, 6)).longMatchAt(300, 8, 2), 600, true},
        {"long match at distance 0", start().literal('a', 8).longMatch(0, 0, 8, 2), 16, true},
        {"repeat match with no output", start().repeatMatch(2), 8, true},
        {"distance beyond 32 bits", start().literal('a', 8).indexWidth(3, 31).longMatch(4, 0, 31, 2), 16, true},
        {"index width 0", start().indexWidth(1, 0), 0, true},
        {"index width 32", start().indexWidth(3, 32), 0, true},
        {"index width 63", start().indexWidth(3, 63), 0, true},
        {"gamma number beyond any buffer", gammaTooLong, 16, false},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.end)
            c.stream.end();
        Bytes block = c.stream.block(c.outputSize, 0);
        Decoded d = DecodeBlock(block, c.outputSize);
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(d.status, JcCorrupt);
        EXPECT_LE(d.written, c.outputSize);
    }

    // A good block cut inside its last word.
    BlockBuilder b = start();
    b.literal('a', 8).literal('b', 8).end();
    Bytes block = b.block(2, 0);
    for (size_t cut = 1; cut < 4; ++cut) {
        Bytes shorter(block.begin(), block.end() - cut);
        EXPECT_EQ(DecodeBlock(shorter, 2).status, JcCorrupt) << cut;
    }
}

}  // namespace
