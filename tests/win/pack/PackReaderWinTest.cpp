// The pack reader on Windows: the file is held with read sharing only, so
// while a pack is open nobody can delete it or open it for writing; reading
// through ReadFile gives the same entries as anywhere else.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PackReader.h"

namespace {

typedef std::vector<unsigned char> Bytes;

void Put32(Bytes& out, unsigned v) {
    for (int i = 0; i < 4; ++i)
        out.push_back((unsigned char)(v >> (8 * i)));
}

void AddEntry(Bytes& pack, unsigned unpacked, const Bytes& body) {
    Put32(pack, unpacked);
    Put32(pack, (unsigned)body.size());
    pack.insert(pack.end(), body.begin(), body.end());
}

// The block of four "a": literal-width code, one literal, a short match.
const Bytes AaaaBlock = {0x4A, 0x43, 0x04, 0x00, 0x00, 0x00, 0xA2, 0xA3, 0xA3,
                         0xA3, 0x14, 0x40, 0xD8, 0x20, 0x00, 0x00, 0x00, 0x00};

class PackReaderWin : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
        path_ = std::string(temp) + "talvera-pack-" + std::to_string(GetCurrentProcessId()) + ".pak";
    }
    void TearDown() override {
        PackReader::close();
        DeleteFileA(path_.c_str());
    }

    void writePack(const Bytes& bytes) {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(bytes.empty() || WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL));
        EXPECT_EQ(written, bytes.size());
        CloseHandle(file);
    }

    // Opens the pack the way a writer would, sharing everything: fails only
    // when the holder of the file forbids writing.
    bool canOpenForWriting() {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    }

    bool canOpenForReading() {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        CloseHandle(file);
        return true;
    }

    std::string path_;
};

TEST_F(PackReaderWin, OpenPackCannotBeDeletedOrWritten) {
    Bytes pack;
    AddEntry(pack, 6, {'h', 'e', 'l', 'l', 'o', 0});
    writePack(pack);

    ASSERT_EQ(PackReader::open(path_.c_str()), 1);
    EXPECT_FALSE(DeleteFileA(path_.c_str()));
    EXPECT_FALSE(canOpenForWriting());
    EXPECT_TRUE(canOpenForReading()) << "others may read it";
    const unsigned char* entry = PackReader::nextEntry();
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ((const char*)entry, "hello");
    EXPECT_FALSE(DeleteFileA(path_.c_str())) << "still open after the last entry";

    PackReader::close();
    EXPECT_TRUE(canOpenForWriting());
    EXPECT_TRUE(DeleteFileA(path_.c_str()));
}

TEST_F(PackReaderWin, OpeningAnotherPackReleasesTheFirst) {
    writePack({});
    ASSERT_EQ(PackReader::open(path_.c_str()), 1);
    EXPECT_FALSE(DeleteFileA(path_.c_str()));
    EXPECT_EQ(PackReader::open((path_ + ".missing").c_str()), 0);
    EXPECT_TRUE(DeleteFileA(path_.c_str())) << "a failed open still closes the pack before";
}

TEST_F(PackReaderWin, PackLockedAgainstReadingDoesNotOpen) {
    writePack({});
    HANDLE exclusive = CreateFileA(path_.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(PackReader::open(path_.c_str()), 0);
    EXPECT_EQ(PackReader::nextEntry(), nullptr);
    EXPECT_EQ(PackReader::lastStatus(), PackReader::NotOpen);
    CloseHandle(exclusive);
    EXPECT_EQ(PackReader::open((path_ + ".missing").c_str()), 0);
}

TEST_F(PackReaderWin, ReadsEntriesThroughReadFile) {
    Bytes pack;
    AddEntry(pack, 11, {'C', 'l', 'i', 'e', 'n', 't', '.', 'e', 'x', 'e', 0});
    AddEntry(pack, 0, {});
    AddEntry(pack, 4, AaaaBlock);
    pack.insert(pack.end(), {9, 0, 0});  // a header cut short
    writePack(pack);

    ASSERT_EQ(PackReader::open(path_.c_str()), 1);
    const unsigned char* name = PackReader::nextEntry();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ((const char*)name, "Client.exe");
    EXPECT_EQ(PackReader::entrySize(), 11);
    EXPECT_NE(PackReader::nextEntry(), nullptr);
    EXPECT_EQ(PackReader::entrySize(), 0);
    const unsigned char* data = PackReader::nextEntry();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(PackReader::entrySize(), 4);
    EXPECT_EQ(std::string((const char*)data, 4), "aaaa");
    EXPECT_EQ(PackReader::nextEntry(), nullptr);
    EXPECT_EQ(PackReader::entrySize(), -1);
    EXPECT_EQ(PackReader::lastStatus(), PackReader::EntryDamaged);
}

TEST_F(PackReaderWin, EmptyPackEndsAtOnce) {
    writePack({});
    ASSERT_EQ(PackReader::open(path_.c_str()), 1);
    EXPECT_EQ(PackReader::nextEntry(), nullptr);
    EXPECT_EQ(PackReader::entrySize(), -1);
    EXPECT_EQ(PackReader::lastStatus(), PackReader::EndOfPack);
}

}  // namespace
