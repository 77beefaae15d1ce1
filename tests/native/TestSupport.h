// Helpers shared by the native tests.
#pragma once

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "JcUnpack.h"

typedef std::vector<uint8_t> Bytes;

// A heap copy of exactly the given bytes, so that the sanitizers catch any
// access one byte beyond them.
class ExactBuffer {
public:
    ExactBuffer(const uint8_t* data, size_t size) : size_(size), data_((uint8_t*)malloc(size ? size : 1)) {
        if (size)
            memcpy(data_, data, size);
    }
    ExactBuffer(size_t size, uint8_t fill) : size_(size), data_((uint8_t*)malloc(size ? size : 1)) {
        memset(data_, fill, size);
    }
    ~ExactBuffer() { free(data_); }
    ExactBuffer(const ExactBuffer&) = delete;
    ExactBuffer& operator=(const ExactBuffer&) = delete;

    uint8_t* data() { return data_; }
    size_t size() const { return size_; }
    Bytes bytes() const { return Bytes(data_, data_ + size_); }

private:
    size_t size_;
    uint8_t* data_;
};

struct Decoded {
    int32_t result;
    JcResult status;
    uint32_t written;
    Bytes output;
};

// Decodes a block from an exact copy into an exact output buffer that starts
// filled with the fill byte.
inline Decoded DecodeBlock(const Bytes& block, uint32_t outputSize, uint8_t fill = 0xEE) {
    ExactBuffer in(block.data(), block.size());
    ExactBuffer out(outputSize, fill);
    Decoded d;
    d.result = JcUnpack(in.data(), (uint32_t)block.size(), out.data(), outputSize);
    ExactBuffer out2(outputSize, fill);
    d.status = JcDecode(in.data(), (uint32_t)block.size(), out2.data(), outputSize, &d.written);
    d.output = out.bytes();
    return d;
}

// Deterministic pseudo-random bytes.
inline Bytes NoiseBytes(size_t n, uint32_t seed) {
    Bytes out(n);
    uint32_t x = seed * 2654435761u + 12345;
    for (size_t i = 0; i < n; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = (uint8_t)(x >> 7);
    }
    return out;
}

// Text with CRLF line ends, made of words from a small vocabulary.
inline Bytes TextBytes(size_t n, uint32_t seed) {
    static const char* const words[] = {
        "the", "program", "license", "copy", "source", "code", "you", "may", "distribute",
        "terms", "of", "this", "General", "Public", "License", "work", "based", "on", "and",
        "or", "any", "modify", "under", "conditions", "must", "a", "notice", "warranty"};
    Bytes noise = NoiseBytes(n, seed);
    Bytes out;
    size_t column = 0;
    for (size_t i = 0; out.size() < n; ++i) {
        const char* w = words[noise[i % noise.size()] % (sizeof words / sizeof words[0])];
        size_t len = strlen(w);
        if (column + len > 70) {
            out.push_back('\r');
            out.push_back('\n');
            column = 0;
        } else if (column > 0) {
            out.push_back(' ');
            ++column;
        }
        out.insert(out.end(), w, w + len);
        column += len;
    }
    out.resize(n);
    return out;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes BytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }
