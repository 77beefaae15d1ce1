// libFuzzer target: JcUnpack over arbitrary blocks. The output buffer is
// sized from the block's own size field (capped), and once more at half that
// size, so that streams running past the output are exercised as well.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "JcUnpack.h"

namespace {

const uint32_t MaxOutput = 1u << 20;

void Check(bool condition) {
    if (!condition)
        abort();
}

void DecodeInto(const uint8_t* data, size_t size, uint32_t outputSize) {
    uint8_t* output = (uint8_t*)malloc(outputSize ? outputSize : 1);
    uint32_t written = 0;
    JcResult result = JcDecode(data, (uint32_t)size, output, outputSize, &written);
    Check(written <= outputSize);
    int32_t count = JcUnpack(data, (uint32_t)size, output, outputSize);
    Check(count == (result == JcGood ? (int32_t)written : 0));
    if (result == JcGood && size >= JcHeaderSize && JcBlockChecksumField(data) != 0) {
        uint32_t n = JcBlockUnpackedSize(data);
        Check(n <= outputSize && JcChecksum(output, n) == JcBlockChecksumField(data));
    }
    free(output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is copied so that a read one byte beyond it is caught.
    uint8_t* block = (uint8_t*)malloc(size ? size : 1);
    if (size)
        memcpy(block, data, size);
    uint32_t outputSize = size >= JcHeaderSize ? JcBlockUnpackedSize(block) : 64;
    if (outputSize > MaxOutput)
        outputSize = MaxOutput;
    DecodeInto(block, size, outputSize);
    DecodeInto(block, size, outputSize / 2);
    free(block);
    return 0;
}
