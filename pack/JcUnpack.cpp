// The JC block decoder. It works bit by bit, as the format was made for: a
// 32-bit register holds the bits of the current word not yet taken,
// left-aligned, followed by one marker bit, so taking a bit is one shift and
// one test. Every read and write is bounded by the caller's two buffers.
#include "JcUnpack.h"

namespace {

uint32_t ReadLe32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void MixChecksumWord(uint32_t& sum, uint32_t word) {
    sum += word;
    sum ^= ((word << 1) | (word >> 31)) + 1;
}

// Gamma numbers above this are taken as corrupt: no buffer of ours is that
// long, and it keeps lengths and distances far from overflowing.
const uint32_t GammaLimit = 0x40000000;

struct BitReader {
    uint32_t bits;              // untaken bits, left-aligned, then the marker
    const unsigned char* next;  // next word of the code stream
    const unsigned char* end;   // end of the block
    bool overrun;               // a word was wanted past the end of the block

    inline uint32_t bit() {
        uint32_t b = bits >> 31;
        bits <<= 1;
        if (__builtin_expect(bits == 0, 0))
            b = loadWord();
        return b;
    }

    // The marker has gone out: the next word's bit 31 is the bit taken.
    // Past the end of the block the stream reads as zeros, which end the
    // block within a few codes; the decoder then reports the overrun.
    uint32_t loadWord() {
        uint32_t word = 0;
        if (end - next >= 4) {
            word = ReadLe32(next);
            next += 4;
        } else {
            overrun = true;
        }
        bits = (word << 1) | 1;
        return word >> 31;
    }

    inline uint32_t field(uint32_t width) {
        uint32_t value = 0;
        while (width--)
            value = (value << 1) | bit();
        return value;
    }

    // A gamma number (2 or more), or 0 when it grows beyond GammaLimit.
    inline uint32_t gamma() {
        uint32_t value = 1;
        do {
            value = (value << 1) | bit();
            if (value >= GammaLimit)
                return 0;
        } while (bit());
        return value;
    }
};

// Copies length bytes from distance bytes back, one at a time, so that a
// distance shorter than the length repeats a pattern. False when the source
// lies before the output's start or the copy would run past its end.
inline bool CopyMatch(unsigned char*& out, const unsigned char* start, const unsigned char* limit,
                      uint32_t distance, uint32_t length) {
    if (distance == 0 || distance > (uint32_t)(out - start) || length > (uint32_t)(limit - out))
        return false;
    const unsigned char* from = out - distance;
    unsigned char* stop = out + length;
    while (out != stop)
        *out++ = *from++;
    return true;
}

}  // namespace

uint32_t JcChecksum(const void* data, uint32_t n) {
    if (!data || n < 4)
        return 0;
    const unsigned char* bytes = (const unsigned char*)data;
    uint32_t sum = 0;
    uint32_t offset = 0;
    for (; n - offset >= 4; offset += 4)
        MixChecksumWord(sum, ReadLe32(bytes + offset));
    if (n % 4 != 0)
        MixChecksumWord(sum, ReadLe32(bytes + n - 4));
    return sum;
}

uint32_t JcBlockUnpackedSize(const void* block) {
    return ReadLe32((const unsigned char*)block + 2);
}

uint32_t JcBlockChecksumField(const void* block) {
    return ReadLe32((const unsigned char*)block + 6);
}

JcResult JcDecode(const void* block, uint32_t blockSize, void* output, uint32_t outputSize,
                  uint32_t* written) {
    if (written)
        *written = 0;
    if (!block || !output || blockSize < JcHeaderSize)
        return JcBadArguments;
    const unsigned char* in = (const unsigned char*)block;
    if (in[0] != 'J' || in[1] != 'C')
        return JcBadSignature;
    if (outputSize > 0x7FFFFFFF)
        outputSize = 0x7FFFFFFF;  // the count must fit the signed result

    unsigned char* const start = (unsigned char*)output;
    unsigned char* const limit = start + outputSize;
    unsigned char* out = start;
    BitReader reader = {0x80000000u, in + JcHeaderSize, in + blockSize, false};
    uint32_t lastOffset = 1;
    uint32_t indexWidth = 8;
    uint32_t literalWidth = 0;  // 0 until a literal-width code sets 7 or 8
    uint32_t literalBase = 0;
    JcResult result = JcCorrupt;

    for (;;) {
        if (reader.bit()) {  // 1: literal
            if (literalWidth == 0 || out == limit)
                break;
            uint32_t value = reader.field(7);
            if (literalWidth == 8)
                value = (value << 1) | reader.bit();
            *out++ = (unsigned char)(value + literalBase);
            continue;
        }
        if (reader.bit()) {  // 01: repeat match or long match
            uint32_t high = reader.gamma();
            if (high == 0)
                break;
            uint32_t distance = lastOffset;
            uint32_t adjustment = 0;
            if (high > 2) {
                high -= 3;
                if (high >> (32 - indexWidth))
                    break;  // farther back than any output can reach
                distance = (high << indexWidth) | reader.field(indexWidth);
                adjustment = JcLengthAdjustment(distance);
                lastOffset = distance;
            }
            uint32_t length = reader.gamma();
            if (length == 0 || !CopyMatch(out, start, limit, distance, length + adjustment))
                break;
            continue;
        }
        if (reader.bit()) {  // 001: zero byte, near byte, raw run, literal width
            uint32_t value = reader.field(4);
            if (value == 1) {
                if (out == limit)
                    break;
                *out++ = 0;
            } else if (value >= 2) {
                if (!CopyMatch(out, start, limit, value - 1, 1))
                    break;
            } else if (reader.bit()) {
                bool fits = true;
                do {
                    if (limit - out < 256) {
                        fits = false;
                        break;
                    }
                    for (int i = 0; i < 256; ++i)
                        *out++ = (unsigned char)reader.field(8);
                } while (reader.bit());
                if (!fits)
                    break;
            } else if (reader.bit()) {
                literalWidth = 8;
                literalBase = 0;
            } else {
                literalWidth = 7;
                literalBase = reader.field(8);
            }
            continue;
        }
        // 000: short match, end of block, index width
        uint32_t distance = reader.field(7);
        uint32_t k = reader.field(2);
        if (distance != 0) {
            lastOffset = distance;
            if (!CopyMatch(out, start, limit, distance, k + 2))
                break;
            continue;
        }
        if (k == 0) {
            result = JcGood;
            break;
        }
        uint32_t width = reader.field(k + 3);
        if (width == 0 || width >= 32)
            break;
        indexWidth = width;
    }

    uint32_t count = (uint32_t)(out - start);
    if (written)
        *written = count;
    if (result != JcGood)
        return result;
    if (reader.overrun)
        return JcCorrupt;
    uint32_t expected = JcBlockChecksumField(in);
    if (expected != 0) {
        uint32_t n = JcBlockUnpackedSize(in);
        if (n > outputSize || JcChecksum(start, n) != expected)
            return JcBadChecksum;
    }
    return JcGood;
}

int32_t JcUnpack(const void* block, uint32_t blockSize, void* output, uint32_t outputSize) {
    uint32_t written = 0;
    if (JcDecode(block, blockSize, output, outputSize, &written) != JcGood)
        return 0;
    return (int32_t)written;
}
