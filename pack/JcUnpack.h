// JC blocks: the compressed form of a pack entry.
//
// A block is "JC", the unpacked size N (4 bytes), a checksum (4 bytes, 0 for
// none) and a stream of 32-bit little-endian words holding bit codes, read
// from bit 31 down. The decoder allocates nothing and never reads or writes
// outside the two buffers it is given.
#pragma once

#include <stdint.h>

// Checksum of n bytes (0 when n < 4).
uint32_t JcChecksum(const void* data, uint32_t n);

// Decodes one JC block of blockSize bytes into output (outputSize bytes).
// Returns the number of bytes written, or 0 when a pointer is null, the
// signature is not "JC", the checksum does not match, or the stream is
// corrupt (would read past the block, write past outputSize, copy from before
// the start of the output, set W to 0 or >= 32, literal before a literal-width code).
int32_t JcUnpack(const void* block, uint32_t blockSize, void* output, uint32_t outputSize);

// What JcDecode found. A block that decodes to no bytes at all is JcGood
// with a count of 0, which JcUnpack's result alone cannot tell from a failure.
enum JcResult {
    JcGood = 0,        // decoded; the checksum matched or the block has none
    JcBadArguments,    // a null pointer, or a block shorter than its header
    JcBadSignature,    // not "JC"; the output is untouched
    JcCorrupt,         // the code stream breaks one of the rules above
    JcBadChecksum      // decoded, but the checksum does not match
};

// Size of a block's header: signature, unpacked size and checksum.
const uint32_t JcHeaderSize = 10;

// Decodes like JcUnpack and says why it failed. *written receives the number
// of bytes written (also on failure) when written is not null.
JcResult JcDecode(const void* block, uint32_t blockSize, void* output, uint32_t outputSize,
                  uint32_t* written);

// The unpacked size N and the checksum field of a block header; the caller
// makes sure that the block holds at least JcHeaderSize bytes.
uint32_t JcBlockUnpackedSize(const void* block);
uint32_t JcBlockChecksumField(const void* block);

// Extra length of a long match, by its distance: the decoder adds it, an
// encoder subtracts it.
inline uint32_t JcLengthAdjustment(uint32_t distance) {
    if (distance >= 0x10000) return 3;
    if (distance >= 0x37FF) return 2;
    if (distance >= 0x27F) return 1;
    if (distance > 0x7F) return 0;
    return 4;
}
