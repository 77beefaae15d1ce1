// libFuzzer target: the pack reader over arbitrary pack files. Every entry
// it hands out is read in full, and its status must fit what it returned.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "PackReader.h"

namespace {

void Check(bool condition) {
    if (!condition)
        abort();
}

std::string PackPath() {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/fuzz-pack-reader-" + std::to_string(getpid()) + ".pak";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = PackPath();
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return 0;
    if (size)
        fwrite(data, 1, size, file);
    fclose(file);

    Check(PackReader::open(path.c_str()) == 1);
    const unsigned char* last = nullptr;
    int32_t lastSize = -1;
    int failures = 0;  // in a row; a reader that lost its place fails for good
    while (failures < 2) {
        const unsigned char* entry = PackReader::nextEntry();
        int32_t entrySize = PackReader::entrySize();
        int status = PackReader::lastStatus();
        if (entry) {
            Check(status == PackReader::EntryGood && entrySize >= 0);
            volatile unsigned sum = 0;
            for (int32_t j = 0; j < entrySize; ++j)
                sum += entry[j];
            last = entry;
            lastSize = entrySize;
            failures = 0;
            continue;
        }
        Check(entrySize == -1);
        Check(status == PackReader::EndOfPack || status == PackReader::EntryDamaged ||
              status == PackReader::OutOfMemory);
        if (status == PackReader::EndOfPack) {
            // The last entry stays readable after the end.
            volatile unsigned sum = 0;
            for (int32_t j = 0; last && j < lastSize; ++j)
                sum += last[j];
            Check(PackReader::nextEntry() == nullptr && PackReader::lastStatus() == PackReader::EndOfPack);
            break;
        }
        if (status == PackReader::OutOfMemory)
            break;
        last = nullptr;  // a damaged entry frees the entry before it
        ++failures;
    }
    PackReader::close();
    PackReader::close();
    Check(PackReader::nextEntry() == nullptr && PackReader::lastStatus() == PackReader::NotOpen);
    unlink(path.c_str());
    return 0;
}
