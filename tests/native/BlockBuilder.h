// Hand-built JC blocks for tests and fuzz seeds: each method appends one code,
// field by field, most significant bit first, into 32-bit little-endian words.
#pragma once

#include <stdint.h>

#include <vector>

class BlockBuilder {
public:
    // Any field: value's low width bits, most significant first.
    BlockBuilder& bits(uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            word_ = (word_ << 1) | ((value >> i) & 1);
            if (++used_ == 32)
                flush();
        }
        return *this;
    }

    // Gamma number v >= 2: the bits after v's leading 1, each followed by a
    // continue bit (1 but after the last).
    BlockBuilder& gamma(uint32_t v) {
        int top = 31;
        while (!((v >> top) & 1))
            --top;
        for (int i = top - 1; i >= 0; --i) {
            bits((v >> i) & 1, 1);
            bits(i > 0 ? 1 : 0, 1);
        }
        return *this;
    }

    BlockBuilder& setLiteral8() {
        return bits(0x1, 3)   // 001: the group of 4-bit codes
            .bits(0, 4)       // v = 0: raw run or literal width
            .bits(0, 1)       // 0: literal width
            .bits(1, 1);      // w = 1: B = 8, C = 0
    }

    BlockBuilder& setLiteral7(uint32_t base) {
        return bits(0x1, 3)   // 001
            .bits(0, 4)       // v = 0
            .bits(0, 1)       // 0: literal width
            .bits(0, 1)       // w = 0: B = 7
            .bits(base, 8);   // C
    }

    BlockBuilder& literal(uint32_t value, int width) {
        return bits(1, 1)          // 1: literal
            .bits(value, width);   // v; the byte is (v + C) mod 256
    }

    BlockBuilder& zeroByte() {
        return bits(0x1, 3)   // 001
            .bits(1, 4);      // v = 1: a 0x00 byte
    }

    // Copies the byte v - 1 back (v from 2 to 15).
    BlockBuilder& nearByte(uint32_t v) {
        return bits(0x1, 3)   // 001
            .bits(v, 4);      // v
    }

    // bytes.size() must be a multiple of 256.
    BlockBuilder& rawRun(const std::vector<uint8_t>& bytes) {
        bits(0x1, 3)          // 001
            .bits(0, 4)       // v = 0
            .bits(1, 1);      // 1: raw run
        for (size_t group = 0; group < bytes.size() / 256; ++group) {
            for (size_t i = 0; i < 256; ++i)
                bits(bytes[group * 256 + i], 8);       // 256 bytes of 8 bits
            bits(group + 1 < bytes.size() / 256, 1);   // 1: another 256 follow
        }
        return *this;
    }

    // Copies n bytes from the last offset L.
    BlockBuilder& repeatMatch(uint32_t n) {
        bits(0x1, 2);   // 01: gamma match
        gamma(2);       // g = 2: repeat match
        return gamma(n);
    }

    // Distance high * 2^W + low; copies n + adj(distance) bytes.
    BlockBuilder& longMatch(uint32_t high, uint32_t low, int width, uint32_t n) {
        bits(0x1, 2);       // 01: gamma match
        gamma(high + 3);    // g = high + 3
        bits(low, width);   // W low bits of the distance
        return gamma(n);    // length before adjustment
    }

    BlockBuilder& longMatchAt(uint32_t distance, int width, uint32_t n) {
        return longMatch(distance >> width, distance & ((1u << width) - 1), width, n);
    }

    // Copies k + 2 bytes from distance d (1 to 127) and sets L = d.
    BlockBuilder& shortMatch(uint32_t d, uint32_t k) {
        return bits(0x0, 3)   // 000
            .bits(d, 7)       // d
            .bits(k, 2);      // k
    }

    // W := w, sent in k + 3 bits.
    BlockBuilder& indexWidth(uint32_t k, uint32_t w) {
        return bits(0x0, 3)   // 000
            .bits(0, 7)       // d = 0
            .bits(k, 2)       // k = 1..3
            .bits(w, k + 3);  // w
    }

    BlockBuilder& end() {
        return bits(0x0, 3)   // 000
            .bits(0, 7)       // d = 0
            .bits(0, 2);      // k = 0: end of block
    }

    // The block: "JC", N, checksum field, then the words, the last padded
    // with zero bits.
    std::vector<uint8_t> block(uint32_t unpackedSize, uint32_t checksum) const {
        std::vector<uint8_t> out{'J', 'C'};
        put32(out, unpackedSize);
        put32(out, checksum);
        out.insert(out.end(), words_.begin(), words_.end());
        if (used_ > 0)
            put32(out, word_ << (32 - used_));
        return out;
    }

private:
    static void put32(std::vector<uint8_t>& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back((uint8_t)(v >> (8 * i)));
    }

    void flush() {
        put32(words_, word_);
        word_ = 0;
        used_ = 0;
    }

    std::vector<uint8_t> words_;
    uint32_t word_ = 0;
    int used_ = 0;
};
