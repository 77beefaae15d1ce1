// Reads a pack file entry by entry.
//
// A pack is a flat run of entries: unpacked length U and packed length P
// (unsigned 32-bit little-endian), then P body bytes: the content itself when
// P = U, otherwise one JC block that decodes to U bytes. There is no file
// header and no end marker; the pack ends where the file ends.
//
// The reader holds one entry in memory. The content nextEntry returns stays
// readable until the next entry is read or the reader is closed, also after
// the null that ends the pack. Two reads per entry, no seek.
#pragma once

#include <stdint.h>

namespace PackReader {

// Opens a pack file for reading (others may read it, nobody may write or
// delete it while it is open). Closes any pack open before, always.
// Returns 1 when opened, 0 when not.
int open(const char* path);

// The content of the next entry, or null at the end of the pack, when no
// pack is open, when memory runs out or when the entry is damaged;
// lastStatus() tells which.
const unsigned char* nextEntry();

// U of the entry last returned by nextEntry, or -1 when it returned null.
int32_t entrySize();

// Closes the file and frees the entry; harmless when nothing is open.
void close();

enum Status {
    EntryGood = 0,     // nextEntry returned an entry
    EndOfPack = 1,     // no header was left to read
    EntryDamaged = 2,  // header or body cut short, lengths out of bounds, a block that fails to decode
    OutOfMemory = 3,   // the entry could not be held in memory
    NotOpen = 4        // no pack is open
};

// What the last call of nextEntry met (NotOpen before the first).
int lastStatus();

// Largest U and P the reader accepts; larger ones mark the entry damaged.
const uint32_t MaxEntryLength = 256u * 1024u * 1024u;

}  // namespace PackReader
