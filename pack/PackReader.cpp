// The pack reader: one open file, one entry in memory.
#include "PackReader.h"

#include <stdlib.h>

#include "JcUnpack.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdio.h>
#endif

namespace {

#ifdef _WIN32
HANDLE packFile = INVALID_HANDLE_VALUE;

bool FileIsOpen() { return packFile != INVALID_HANDLE_VALUE; }

bool OpenFile(const char* path) {
    packFile = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    return FileIsOpen();
}

void CloseFile() {
    if (FileIsOpen())
        CloseHandle(packFile);
    packFile = INVALID_HANDLE_VALUE;
}

// Reads up to n bytes with one read; the number read, or -1 when it failed.
int64_t ReadBytes(void* buffer, uint32_t n) {
    DWORD got = 0;
    if (!ReadFile(packFile, buffer, n, &got, NULL))
        return -1;
    return got;
}
#else
FILE* packFile = NULL;

bool FileIsOpen() { return packFile != NULL; }

bool OpenFile(const char* path) {
    packFile = fopen(path, "rb");
    return FileIsOpen();
}

void CloseFile() {
    if (packFile)
        fclose(packFile);
    packFile = NULL;
}

int64_t ReadBytes(void* buffer, uint32_t n) {
    size_t got = fread(buffer, 1, n, packFile);
    if (got < n && ferror(packFile))
        return -1;
    return (int64_t)got;
}
#endif

unsigned char* entryBuffer = NULL;
int32_t currentSize = -1;
int status = PackReader::NotOpen;
// Once the reader has lost its place in the file (a header or body cut
// short, lengths out of bounds, no memory for a body it still had to read),
// every later entry reports what happened then.
int lostStatus = PackReader::EntryGood;

uint32_t ReadLe32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

void FreeEntry() {
    free(entryBuffer);
    entryBuffer = NULL;
}

// malloc(0) may return null, but an empty entry needs a real pointer.
unsigned char* Allocate(uint32_t n) {
    return (unsigned char*)malloc(n ? n : 1);
}

const unsigned char* Fail(int why) {
    status = why;
    return NULL;
}

const unsigned char* Lose(int why) {
    lostStatus = why;
    return Fail(why);
}

// A compressed body must be one whole block that decodes to exactly U bytes
// and passes its checksum.
bool DecodeBody(const unsigned char* body, uint32_t packed, unsigned char* content, uint32_t unpacked) {
    if (packed < JcHeaderSize + 4 || (packed - JcHeaderSize) % 4 != 0)
        return false;
    if (JcBlockUnpackedSize(body) != unpacked)
        return false;
    uint32_t written = 0;
    return JcDecode(body, packed, content, unpacked, &written) == JcGood && written == unpacked;
}

}  // namespace

namespace PackReader {

int open(const char* path) {
    close();
    if (!path || !OpenFile(path))
        return 0;
    status = EntryGood;
    return 1;
}

const unsigned char* nextEntry() {
    currentSize = -1;
    if (!FileIsOpen())
        return Fail(NotOpen);
    if (lostStatus != EntryGood)
        return Fail(lostStatus);

    unsigned char header[8];
    int64_t got = ReadBytes(header, sizeof header);
    if (got == 0)
        return Fail(EndOfPack);  // the previous entry stays readable
    if (got != (int64_t)sizeof header)
        return Lose(EntryDamaged);
    uint32_t unpacked = ReadLe32(header);
    uint32_t packed = ReadLe32(header + 4);

    FreeEntry();
    if (unpacked > MaxEntryLength || packed > MaxEntryLength)
        return Lose(EntryDamaged);
    entryBuffer = Allocate(unpacked);
    if (!entryBuffer)
        return Lose(OutOfMemory);

    if (packed == unpacked) {
        // A stored entry goes straight into the entry buffer.
        if (packed > 0 && ReadBytes(entryBuffer, packed) != (int64_t)packed) {
            FreeEntry();
            return Lose(EntryDamaged);
        }
    } else {
        unsigned char* body = Allocate(packed);
        if (!body) {
            FreeEntry();
            return Lose(OutOfMemory);
        }
        int64_t bodyGot = packed > 0 ? ReadBytes(body, packed) : 0;
        if (bodyGot != (int64_t)packed) {
            free(body);
            FreeEntry();
            return Lose(EntryDamaged);
        }
        bool good = DecodeBody(body, packed, entryBuffer, unpacked);
        free(body);
        if (!good) {
            // The body was read whole, so the next entry can still be read.
            FreeEntry();
            return Fail(EntryDamaged);
        }
    }
    currentSize = (int32_t)unpacked;
    status = EntryGood;
    return entryBuffer;
}

int32_t entrySize() {
    return currentSize;
}

void close() {
    CloseFile();
    FreeEntry();
    currentSize = -1;
    status = NotOpen;
    lostStatus = EntryGood;
}

int lastStatus() {
    return status;
}

}  // namespace PackReader
