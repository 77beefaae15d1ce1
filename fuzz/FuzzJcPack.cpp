// libFuzzer target: the compressor over arbitrary data. Every block must
// decode back to the data through the project's decoder.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "JcPack.h"
#include "JcUnpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> block = JcPack(data, (uint32_t)size);
    if (block.size() < JcHeaderSize + 4 || (block.size() - JcHeaderSize) % 4 != 0 ||
        JcBlockUnpackedSize(block.data()) != size || JcBlockChecksumField(block.data()) != JcChecksum(data, (uint32_t)size))
        abort();
    uint8_t* output = (uint8_t*)malloc(size ? size : 1);
    uint32_t written = 0;
    if (JcDecode(block.data(), (uint32_t)block.size(), output, (uint32_t)size, &written) != JcGood ||
        written != size || (size && memcmp(output, data, size) != 0))
        abort();
    free(output);
    return 0;
}
