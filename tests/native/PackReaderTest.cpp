// The pack reader on packs written by hand: good entries of every kind, the
// end of the pack, the reader's lifecycle, and damaged entries.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <filesystem>

#include "JcPack.h"
#include "PackReader.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

void Put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back((uint8_t)(v >> (8 * i)));
}

Bytes Entry(uint32_t unpacked, uint32_t packed, const Bytes& body) {
    Bytes out;
    Put32(out, unpacked);
    Put32(out, packed);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Stored(const Bytes& content) { return Entry((uint32_t)content.size(), (uint32_t)content.size(), content); }

Bytes Block(const Bytes& content) { return JcPack(content.data(), (uint32_t)content.size()); }

Bytes Compressed(const Bytes& content) {
    Bytes block = Block(content);
    return Entry((uint32_t)content.size(), (uint32_t)block.size(), block);
}

int OpenFileCount() {
    int count = 0;
    for (auto& entry : fs::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++count;
    }
    return count;
}

class PackReaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/packreader-XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override {
        PackReader::close();
        fs::remove_all(dir_);
    }

    std::string writePack(const char* name, const Bytes& bytes) {
        std::string path = (dir_ / name).string();
        FILE* f = fopen(path.c_str(), "wb");
        if (!bytes.empty())
            fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        return path;
    }

    // Reads the next entry and checks that it is good and holds content.
    void expectEntry(const Bytes& content) {
        const unsigned char* got = PackReader::nextEntry();
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(PackReader::lastStatus(), PackReader::EntryGood);
        ASSERT_EQ(PackReader::entrySize(), (int32_t)content.size());
        EXPECT_TRUE(Bytes(got, got + content.size()) == content);
    }

    void expectNull(int status) {
        EXPECT_EQ(PackReader::nextEntry(), nullptr);
        EXPECT_EQ(PackReader::entrySize(), -1);
        EXPECT_EQ(PackReader::lastStatus(), status);
    }

    fs::path dir_;
};

TEST_F(PackReaderTest, EmptyFileOpensAndEnds) {
    ASSERT_EQ(PackReader::open(writePack("empty.pak", {}).c_str()), 1);
    expectNull(PackReader::EndOfPack);
    expectNull(PackReader::EndOfPack);
}

TEST_F(PackReaderTest, ReadsEveryKindOfEntryInOrder) {
    Bytes name = BytesOf(std::string("Client.exe", 11));
    Bytes startsLikeABlock = BytesOf("JC\x04\0\0\0\0\0\0\0 stored, not decoded");
    Bytes text = TextBytes(5000, 1);
    Bytes last = BytesOf("last");
    Bytes pack = Concat({Stored(name), Stored({}), Stored(startsLikeABlock), Compressed(text), Stored(last)});
    ASSERT_EQ(PackReader::open(writePack("good.pak", pack).c_str()), 1);

    expectEntry(name);
    const unsigned char* empty = PackReader::nextEntry();
    EXPECT_NE(empty, nullptr) << "an empty entry is not the end";
    EXPECT_EQ(PackReader::entrySize(), 0);
    expectEntry(startsLikeABlock);
    expectEntry(text);
    expectEntry(last);
    const unsigned char* lastContent = PackReader::nextEntry();
    EXPECT_EQ(lastContent, nullptr);
    EXPECT_EQ(PackReader::entrySize(), -1);
    EXPECT_EQ(PackReader::lastStatus(), PackReader::EndOfPack);
    expectNull(PackReader::EndOfPack);
}

TEST_F(PackReaderTest, LastEntryStaysReadableAfterTheEnd) {
    Bytes content = TextBytes(3000, 2);
    ASSERT_EQ(PackReader::open(writePack("one.pak", Compressed(content)).c_str()), 1);
    const unsigned char* got = PackReader::nextEntry();
    ASSERT_NE(got, nullptr);
    expectNull(PackReader::EndOfPack);
    EXPECT_TRUE(Bytes(got, got + content.size()) == content);
}

TEST_F(PackReaderTest, ClosedReaderGivesNothing) {
    expectNull(PackReader::NotOpen);
    PackReader::close();
    PackReader::close();
    expectNull(PackReader::NotOpen);

    ASSERT_EQ(PackReader::open(writePack("a.pak", Stored(BytesOf("a"))).c_str()), 1);
    PackReader::close();
    PackReader::close();
    expectNull(PackReader::NotOpen);
    EXPECT_EQ(PackReader::open((dir_ / "missing.pak").c_str()), 0);
    EXPECT_EQ(PackReader::open(nullptr), 0);
}

TEST_F(PackReaderTest, OpenClosesThePackOpenBefore) {
    std::string a = writePack("a.pak", Concat({Stored(BytesOf("a1")), Stored(BytesOf("a2"))}));
    std::string b = writePack("b.pak", Stored(BytesOf("b1")));
    int filesBefore = OpenFileCount();

    ASSERT_EQ(PackReader::open(a.c_str()), 1);
    expectEntry(BytesOf("a1"));
    ASSERT_EQ(PackReader::open(b.c_str()), 1);
    EXPECT_EQ(OpenFileCount(), filesBefore + 1);
    expectEntry(BytesOf("b1"));
    expectNull(PackReader::EndOfPack);

    ASSERT_EQ(PackReader::open(a.c_str()), 1);
    expectEntry(BytesOf("a1"));
    EXPECT_EQ(PackReader::open((dir_ / "missing.pak").c_str()), 0);
    EXPECT_EQ(OpenFileCount(), filesBefore) << "the first pack is closed even when the second fails";
    expectNull(PackReader::NotOpen);
}

// A damaged entry reads as null with EntryDamaged, never as data. When the
// reader still knows where the next entry starts, it goes on reading;
// otherwise every later entry is damaged too.
TEST_F(PackReaderTest, DamagedEntriesAreReported) {
    Bytes content = TextBytes(2000, 3);
    Bytes block = Block(content);
    auto withBlock = [&](void (*change)(Bytes&)) {
        Bytes b = block;
        change(b);
        return Entry((uint32_t)content.size(), (uint32_t)b.size(), b);
    };
    const Bytes aaaa = {0x4A, 0x43, 0x04, 0x00, 0x00, 0x00, 0xA2, 0xA3, 0xA3,
                        0xA3, 0x14, 0x40, 0xD8, 0x20, 0x00, 0x00, 0x00, 0x00};
    struct Case {
        std::string what;
        Bytes entry;
        bool placeLost;  // the reader cannot know where a next entry would start
    };
    std::vector<Case> cases = {
        {"stored body cut short", Entry(100, 100, NoiseBytes(50, 1)), true},
        {"compressed body cut short", Entry((uint32_t)content.size(), (uint32_t)block.size(),
                                            Bytes(block.begin(), block.end() - 4)), true},
        {"unpacked length beyond the bound", Entry(PackReader::MaxEntryLength + 1, 8, NoiseBytes(8, 2)), true},
        {"packed length beyond the bound", Entry(8, PackReader::MaxEntryLength + 1, NoiseBytes(8, 3)), true},
        {"signature not JC", withBlock([](Bytes& b) { b[0] = 'X'; }), false},
        {"checksum mismatch", withBlock([](Bytes& b) { b[6] ^= 1; }), false},
        {"corrupt code stream", withBlock([](Bytes& b) { for (size_t i = 10; i < b.size(); ++i) b[i] = 0xFF; }), false},
        {"block longer than a whole number of words", withBlock([](Bytes& b) { b.push_back(0); }), false},
        {"block size differs from the entry's", Entry(5, (uint32_t)aaaa.size(), aaaa), false},
        {"block too short", Entry(3, 12, Bytes(aaaa.begin(), aaaa.begin() + 12)), false},
        {"packed length 0 with content", Entry(5, 0, {}), false},
    };
    for (int cut = 1; cut <= 7; ++cut)
        cases.push_back({"header cut to " + std::to_string(cut) + " bytes", Bytes(cut, 0x01), true});

    Bytes first = BytesOf("first");
    Bytes after = BytesOf("after");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Bytes pack = Concat({Stored(first), c.entry});
        if (!c.placeLost)
            pack = Concat({pack, Stored(after)});
        ASSERT_EQ(PackReader::open(writePack("damaged.pak", pack).c_str()), 1);
        expectEntry(first);
        expectNull(PackReader::EntryDamaged);
        if (c.placeLost) {
            expectNull(PackReader::EntryDamaged);
        } else {
            expectEntry(after);
            expectNull(PackReader::EndOfPack);
        }
        PackReader::close();
    }
}

}  // namespace
