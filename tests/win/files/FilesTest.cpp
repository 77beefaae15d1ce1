// The numbered files and the file-system operations, on real files under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "Platform.h"
#include "TestFiles.h"

namespace {

// A scratch directory per test, removed afterwards.
class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '-';
        dir = std::string(temp) + "talvera-files-" + name + "\\";
        RemoveDirectoryTree(Text(dir.c_str()), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }
    void TearDown() override {
        FileCloseAll();
        RemoveDirectoryTree(Text(dir.c_str()), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    }
    std::string path(const std::string& name) const { return dir + name; }
    void write(const std::string& name, const std::string& bytes) {
        HANDLE h = CreateFileA(path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << name;
        DWORD written;
        WriteFile(h, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
        CloseHandle(h);
    }
    std::string read(const std::string& name) { return ReadWholeFile(path(name)); }
    bool exists(const std::string& name) {
        return GetFileAttributesA(path(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    void mkdir(const std::string& name) { ASSERT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr)) << name; }
    void makeReadOnly(const std::string& name) {
        ASSERT_TRUE(SetFileAttributesA(path(name).c_str(), FILE_ATTRIBUTE_READONLY)) << name;
    }
    Text at(const std::string& name) const { return Text(path(name).c_str()); }

    std::string dir;
};

// ---------------------------------------------------------------- line reader

struct LineCase {
    const char* label;
    std::string content;
    std::vector<std::string> lines;  // what successive reads return until the end
};

class LineReader : public Scratch, public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineReader, ReadsEachLineWithoutItsTerminator) {
    const LineCase& c = GetParam();
    write("lines.txt", c.content);
    ASSERT_EQ(FileOpenRead(3, at("lines.txt")), 1);
    std::vector<std::string> got;
    while (!FileEof(3)) got.push_back(FileReadLine(3).c_str());
    EXPECT_EQ(got, c.lines);
    // Past the end a read gives an empty line, as the uninstaller relies on
    // for a missing second line.
    EXPECT_STREQ(FileReadLine(3).c_str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Terminators, LineReader,
    ::testing::Values(
        LineCase{"CrLf", "one\r\ntwo\r\n", {"one", "two"}},
        LineCase{"LoneCr", "one\rtwo\r", {"one", "two"}},
        LineCase{"LoneLf", "one\ntwo\n", {"one", "two"}},
        LineCase{"Nul", std::string("one\0two", 7), {"one", "two"}},
        LineCase{"LastLineWithoutEnd", "C:\\Apps\\\r\nD:\\Menu\\\\Talvera\\", {"C:\\Apps\\", "D:\\Menu\\\\Talvera\\"}},
        LineCase{"EmptyFile", "", {}},
        LineCase{"EmptyLines", "\r\n\n\r\rx", {"", "", "", "", "x"}},
        LineCase{"CrLfAcrossBufferEdge", std::string(4095, 'a') + "\r\nb", {std::string(4095, 'a'), "b"}},
        LineCase{"LongLine", std::string(10000, 'z'), {std::string(10000, 'z')}}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return info.param.label; });

TEST_F(Scratch, MissingSecondLineReadsEmpty) {
    write("install.log", "C:\\Apps\\Talvera\\\r\n");
    ASSERT_EQ(FileOpenRead(3, at("install.log")), 1);
    EXPECT_STREQ(FileReadLine(3).c_str(), "C:\\Apps\\Talvera\\");
    EXPECT_STREQ(FileReadLine(3).c_str(), "");
}

TEST_F(Scratch, OpeningAMissingFileFails) {
    EXPECT_EQ(FileOpenRead(3, at("absent.txt")), 0);
    EXPECT_EQ(FileIsOpen(3), 0);
    EXPECT_EQ(FileEof(3), 1);
    EXPECT_STREQ(FileReadLine(3).c_str(), "");
}

// ---------------------------------------------------------------- writing

TEST_F(Scratch, WritesTextAndLinesByteForByteAndReplacesAnOldFile) {
    write("out.txt", "old content that is longer");
    ASSERT_EQ(FileCreate(2, at("out.txt")), 1);
    EXPECT_EQ(FileWriteLine(2, "D:\\Apps\\"), 10);
    EXPECT_EQ(FileWriteText(2, "tail"), 4);
    EXPECT_EQ(FileWriteText(2, ""), 0);
    // Unbuffered: the bytes are in the file while it is still open, and
    // others may read it meanwhile.
    EXPECT_EQ(read("out.txt"), "D:\\Apps\\\r\ntail");
    FileClose(2);
    EXPECT_EQ(read("out.txt"), "D:\\Apps\\\r\ntail");
}

TEST_F(Scratch, CreatingInAMissingDirectoryFails) {
    EXPECT_EQ(FileCreate(2, at("no\\such\\file.txt")), 0);
    EXPECT_EQ(FileWriteText(2, "x"), 0);
}

TEST_F(Scratch, NumbersOutOfRangeDoNothing) {
    EXPECT_EQ(FileCreate(-1, at("a")), 0);
    EXPECT_EQ(FileCreate(FILE_SLOTS, at("a")), 0);
    EXPECT_FALSE(exists("a"));
    FileClose(99);
}

// ---------------------------------------------------------------- queries

TEST_F(Scratch, FileSizeTellsNothingDirectoryAndSize) {
    write("five.bin", "12345");
    write("empty.bin", "");
    mkdir("folder");
    EXPECT_EQ(FileSize(at("absent")), -1);
    EXPECT_EQ(FileSize(at("folder")), -2);
    EXPECT_EQ(FileSize(at("folder\\")), -2);
    EXPECT_EQ(FileSize(at("five.bin")), 5);
    EXPECT_EQ(FileSize(at("empty.bin")), 0);
    EXPECT_EQ(FileSize("C:\\"), -2);
}

TEST_F(Scratch, MakeDirectoryCreatesOneLevelOnly) {
    EXPECT_EQ(MakeDirectory(at("new")), 1);
    EXPECT_EQ(FileSize(at("new")), -2);
    EXPECT_EQ(MakeDirectory(at("new")), 0) << "fails when a directory is there";
    write("file", "x");
    EXPECT_EQ(MakeDirectory(at("file")), 0) << "fails when a file is there";
    EXPECT_EQ(MakeDirectory(at("missing\\child")), 0) << "fails when the parent is missing";
}

TEST_F(Scratch, CopyReplacesTheTarget) {
    write("source", "new bytes");
    write("target", "old bytes, longer than the new ones");
    EXPECT_EQ(CopyFileTo(at("source"), at("target")), 1);
    EXPECT_EQ(read("target"), "new bytes");
    EXPECT_EQ(CopyFileTo(at("absent"), at("target2")), 0);
    EXPECT_FALSE(exists("target2"));
}

TEST_F(Scratch, DeletesAFile) {
    write("doomed", "x");
    EXPECT_EQ(DeleteFileAt(at("doomed")), 1);
    EXPECT_FALSE(exists("doomed"));
    EXPECT_EQ(DeleteFileAt(at("doomed")), 0);
}

// ---------------------------------------------------------------- directory removal

struct RemovalCase {
    const char* label;
    int flags;
    std::vector<std::string> remaining;  // of the entries below, those still there
};

const char* const treeEntries[] = {
    "tree",           "tree\\a.txt",           "tree\\readonly.txt", "tree\\sub",
    "tree\\sub\\b.txt", "tree\\sub\\deep",     "tree\\sub\\deep\\c.txt",
};

class Removal : public Scratch, public ::testing::WithParamInterface<RemovalCase> {
protected:
    void buildTree() {
        mkdir("tree");
        write("tree\\a.txt", "a");
        write("tree\\readonly.txt", "r");
        makeReadOnly("tree\\readonly.txt");
        mkdir("tree\\sub");
        write("tree\\sub\\b.txt", "b");
        mkdir("tree\\sub\\deep");
        write("tree\\sub\\deep\\c.txt", "c");
    }
    void TearDown() override {
        SetFileAttributesA(path("tree\\readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        Scratch::TearDown();
    }
};

TEST_P(Removal, RemovesWhatTheFlagsAllow) {
    buildTree();
    RemoveDirectoryTree(at("tree"), "*.*", GetParam().flags);
    std::vector<std::string> remaining;
    for (const char* entry : treeEntries)
        if (exists(entry)) remaining.push_back(entry);
    EXPECT_EQ(remaining, GetParam().remaining);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, Removal,
    ::testing::Values(
        RemovalCase{"OwnFilesOnly", 0,
                    {"tree", "tree\\readonly.txt", "tree\\sub", "tree\\sub\\b.txt", "tree\\sub\\deep",
                     "tree\\sub\\deep\\c.txt"}},
        RemovalCase{"Recursive", REMOVE_RECURSIVE, {"tree", "tree\\readonly.txt"}},
        RemovalCase{"Force", REMOVE_FORCE,
                    {"tree", "tree\\sub", "tree\\sub\\b.txt", "tree\\sub\\deep", "tree\\sub\\deep\\c.txt"}},
        RemovalCase{"RecursiveAndForce", REMOVE_RECURSIVE | REMOVE_FORCE, {}}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.label; });

TEST_F(Removal, ForceRemovesReadOnlyFoldersToo) {
    mkdir("tree");
    mkdir("tree\\locked");
    write("tree\\locked\\x.txt", "x");
    makeReadOnly("tree\\locked");
    RemoveDirectoryTree(at("tree\\"), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    EXPECT_FALSE(exists("tree"));
}

TEST_F(Removal, APatternThatMatchesNothingLeavesTheFolder) {
    buildTree();
    RemoveDirectoryTree(at("tree"), "*.none", REMOVE_RECURSIVE | REMOVE_FORCE);
    for (const char* entry : treeEntries) EXPECT_TRUE(exists(entry)) << entry;
}

TEST_F(Removal, AnEmptyFolderGoes) {
    mkdir("empty");
    RemoveDirectoryTree(at("empty"), "*.*", 0);
    EXPECT_FALSE(exists("empty"));
}

TEST_F(Removal, AnEmptyPathOrAMissingFolderDoesNothing) {
    buildTree();
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA(path("tree").c_str());
    RemoveDirectoryTree("", "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    RemoveDirectoryTree(at("absent"), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    SetCurrentDirectoryA(before);
    for (const char* entry : treeEntries) EXPECT_TRUE(exists(entry)) << entry;
}

}  // namespace
