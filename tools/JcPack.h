// The JC block encoder used by the pack tool.
#pragma once

#include <stdint.h>

#include <vector>

// What the encoder decided for a block, for reports and tests.
struct JcPackReport {
    uint32_t segments = 0;      // parsed pieces of the input
    uint32_t widthChanges = 0;  // index-width codes sent
    uint32_t literalCodes = 0;  // literal-width codes sent (the first one included)
};

// Compresses size bytes into one JC block: signature, size, checksum and the
// code stream, ending with the end code. The output is the same for the same
// input. The caller checks that the block decodes back.
std::vector<unsigned char> JcPack(const unsigned char* data, uint32_t size, JcPackReport* report = nullptr);
