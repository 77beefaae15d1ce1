// The JC block encoder used by the pack tool.
#pragma once

#include <stdint.h>

#include <vector>

// Compresses size bytes into one JC block: signature, size, checksum and the
// code stream, ending with the end code. The output is the same for the same
// input. The caller checks that the block decodes back.
std::vector<unsigned char> JcPack(const unsigned char* data, uint32_t size);
