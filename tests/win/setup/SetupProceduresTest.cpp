// The setup program's own procedures, run in-process under Wine on real
// files and real shell objects.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Platform.h"
#include "Setup.h"
#include "TestFiles.h"

namespace {

std::string Str(const Text& t) { return t.c_str(); }

// A fresh directory per test below C:\, removed afterwards; the current
// directory is restored.
class InScratch : public ::testing::Test {
protected:
    void SetUp() override {
        GetCurrentDirectoryA(MAX_PATH, savedCwd);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '-';
        dir = "C:\\talvera-unit\\" + name + "\\";
        CreateDirectoryA("C:\\talvera-unit", nullptr);
        RemoveDirectoryTree(dir.c_str(), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
        ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    }
    void TearDown() override {
        FileCloseAll();
        SetCurrentDirectoryA(savedCwd);
        RemoveDirectoryTree(dir.c_str(), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    }
    char savedCwd[MAX_PATH];
    std::string dir;
};

// ---------------------------------------------------------------- path queries

TEST_F(InScratch, CurrentDirectoryEndsInOneBackslash) {
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    EXPECT_EQ(Str(QueryCurrentDirectory()), dir);
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\"));
    EXPECT_EQ(Str(QueryCurrentDirectory()), "C:\\");
}

TEST_F(InScratch, TempDirectoryEndsInOneBackslash) {
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, MAX_PATH);
    struct Case { std::string tmp, expected; } cases[] = {
        {dir.substr(0, dir.size() - 1), dir},  // given without its final backslash
        {dir, dir},
        {"C:\\", "C:\\"},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableA("TMP", c.tmp.c_str());
        EXPECT_EQ(Str(QueryTempDirectory()), c.expected) << c.tmp;
    }
    // Longer than a path may be: whole or nothing, never cut short and never
    // a bare backslash that would put the staged files at a drive's root.
    std::string tooLong = dir + std::string(300, 'x');
    SetEnvironmentVariableA("TMP", tooLong.c_str());
    std::string got = Str(QueryTempDirectory());
    EXPECT_TRUE(got.empty() || got == tooLong + "\\") << got;
    SetEnvironmentVariableA("TMP", saved[0] ? saved : nullptr);
}

TEST(PathQueries, ProgramPathIsTheRunningFile) {
    char expected[MAX_PATH];
    GetModuleFileNameA(nullptr, expected, MAX_PATH);
    EXPECT_EQ(Str(QueryProgramPath()), expected);
    EXPECT_GT(FileSize(QueryProgramPath()), 0);
}

TEST(PathQueries, SpecialFoldersEndInExactlyOneBackslash) {
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_PROGRAM_FILES, CSIDL_DESKTOP}) {
        Text path = SpecialFolderPath(csidl);
        ASSERT_GE(path.length(), 3) << csidl;
        EXPECT_EQ(path.last(), '\\') << path.c_str();
        EXPECT_NE(path[path.length() - 2], '\\') << path.c_str();
        EXPECT_EQ(FileSize(path), -2) << path.c_str();
    }
    EXPECT_NE(Str(SpecialFolderPath(CSIDL_PROGRAMS)).find("Programs"), std::string::npos);
}

TEST(PathQueries, AnUnknownOrVirtualFolderGivesEmpty) {
    EXPECT_EQ(Str(SpecialFolderPath(0x7777)), "");
    EXPECT_EQ(Str(SpecialFolderPath(CSIDL_DRIVES)), "");  // My Computer has no file-system path
}

// ---------------------------------------------------------------- mode test

struct ModeCase {
    const char* label;
    int uninstall;
    void (*prepare)(const std::string& dir);
};

class ModeTest : public InScratch, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ModeTest, ClientExeInTheCurrentDirectorySelectsUninstall) {
    GetParam().prepare(dir);
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    state.currentDir = QueryCurrentDirectory();
    EXPECT_EQ(IsUninstallMode(), GetParam().uninstall);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ModeTest,
    ::testing::Values(
        ModeCase{"NoClient", 0, [](const std::string& d) { CreateDirectoryA((d + "client").c_str(), nullptr); }},
        ModeCase{"EmptyClientFile", 1,
                 [](const std::string& d) {
                     CloseHandle(CreateFileA((d + "Client.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                             nullptr));
                 }},
        ModeCase{"ClientDirectory", 1,
                 [](const std::string& d) { CreateDirectoryA((d + "Client.exe").c_str(), nullptr); }},
        ModeCase{"ClientInLowerCase", 1,
                 [](const std::string& d) {
                     CloseHandle(CreateFileA((d + "client.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                             nullptr));
                 }}),
    [](const ::testing::TestParamInfo<ModeCase>& info) { return info.param.label; });

// ---------------------------------------------------------------- staged list

std::vector<std::string> Names(StagedList& list) {
    std::vector<std::string> names;
    StagedListReset(list);
    while (StagedListNext(list)) names.push_back(StagedListCurrent(list)->name.c_str());
    return names;
}

TEST(StagedFiles, KeepOrderAndDeletingFallsBackToThePreviousElement) {
    StagedList list{nullptr, 0, 0, -1};
    for (const char* name : {"a", "b", "c", "d"}) StagedListAppend(list, name, "C:\\x\\", "");
    EXPECT_EQ(StagedListCount(list), 4);
    EXPECT_EQ(StagedListCurrent(list)->name, "d") << "the cursor stays on the new record";

    // Delete the first and the third while walking: each next advance reaches
    // the element that followed the deleted one.
    std::vector<std::string> visited;
    StagedListReset(list);
    while (StagedListNext(list)) {
        std::string name = StagedListCurrent(list)->name.c_str();
        visited.push_back(name);
        if (name == "a" || name == "c") StagedListDeleteCurrent(list);
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Names(list), (std::vector<std::string>{"b", "d"}));
    EXPECT_FALSE(StagedListNext(list)) << "past the last stays past";
    EXPECT_EQ(StagedListCurrent(list), nullptr);
    StagedListClear(list);
    EXPECT_EQ(StagedListCount(list), 0);
    StagedListReset(list);
    EXPECT_FALSE(StagedListNext(list));
}

// ---------------------------------------------------------------- install log

struct LogCase {
    const char* label;
    const char* installDir;
    const char* shortcutDir;
};

class InstallLog : public InScratch, public ::testing::WithParamInterface<LogCase> {};

TEST_P(InstallLog, HoldsTheTwoPathsByteForByte) {
    ASSERT_TRUE(SetCurrentDirectoryA(dir.c_str()));
    std::string installDir = GetParam().installDir;
    if (installDir.empty() || installDir[1] != ':') {
        CreateDirectoryA(installDir.c_str(), nullptr);  // relative to the scratch directory
    } else {
        installDir = dir + installDir.substr(3);
        CreateDirectoryA(installDir.c_str(), nullptr);
    }
    ASSERT_NE(WriteInstallLog(installDir.c_str(), GetParam().shortcutDir), 0);
    std::string logPath = installDir[1] == ':' ? installDir + "Install.log" : dir + installDir + "Install.log";
    // Written straight through: complete while still open, and readable.
    EXPECT_EQ(ReadWholeFile(logPath), installDir + "\r\n" + GetParam().shortcutDir);
    EXPECT_EQ(FileIsOpen(fileInstallLog), 1) << "the log stays open until the program ends";
    FileCloseAll();
    EXPECT_EQ(ReadWholeFile(logPath), installDir + "\r\n" + GetParam().shortcutDir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InstallLog,
    ::testing::Values(
        LogCase{"DefaultShortcutFolder", "C:\\Apps\\",
                "C:\\users\\me\\Start Menu\\Programs\\\\Talvera\\"},
        LogCase{"NoShortcuts", "C:\\Apps\\", ""},
        LogCase{"RelativeInstallDirectory", "relative\\", "C:\\Menu\\Talvera\\"}),
    [](const ::testing::TestParamInfo<LogCase>& info) { return info.param.label; });

TEST_F(InScratch, InstallLogThatCannotBeCreatedGivesZero) {
    CreateDirectoryA((dir + "Install.log").c_str(), nullptr);  // a directory in the way
    EXPECT_EQ(WriteInstallLog(dir.c_str(), "x"), 0);
    EXPECT_EQ(WriteInstallLog((dir + "missing\\").c_str(), "x"), 0);
}

// ---------------------------------------------------------------- shell link

struct LinkRead {
    std::string path, workingDir, description, arguments;
    int showCommand = -1;
    WORD hotkey = 0xFFFF;
};

LinkRead LoadLink(const std::string& file) {
    LinkRead read;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link) == S_OK &&
        link->QueryInterface(IID_IPersistFile, (void**)&persist) == S_OK) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
        if (persist->Load(wide, STGM_READ) == S_OK) {
            char buffer[MAX_PATH];
            if (link->GetPath(buffer, MAX_PATH, nullptr, SLGP_RAWPATH) == S_OK) read.path = buffer;
            if (link->GetWorkingDirectory(buffer, MAX_PATH) == S_OK) read.workingDir = buffer;
            if (link->GetDescription(buffer, MAX_PATH) == S_OK) read.description = buffer;
            if (link->GetArguments(buffer, MAX_PATH) == S_OK) read.arguments = buffer;
            link->GetShowCmd(&read.showCommand);
            link->GetHotkey(&read.hotkey);
        }
    }
    if (persist) persist->Release();
    if (link) link->Release();
    CoUninitialize();
    return read;
}

TEST_F(InScratch, ShellLinksReadBackWithEveryProperty) {
    std::string install = dir + "App\\";
    CreateDirectoryA(install.c_str(), nullptr);
    struct Case { const char* file; const char* target; const char* description; } cases[] = {
        {"Talvera Client.lnk", "Client.exe", "Launch Talvera Client"},
        {"Uninstall.lnk", "Unins.exe", "Uninstall Talvera Client"},
    };
    // Two calls in a row, as the installation run makes them: each stands alone.
    for (const Case& c : cases)
        ASSERT_EQ(CreateShellLink((install + c.target).c_str(), (dir + c.file).c_str(), "", c.description,
                                  install.c_str(), SW_SHOWNORMAL, 0, "", 0),
                  1);
    for (const Case& c : cases) {
        LinkRead link = LoadLink(dir + c.file);
        EXPECT_EQ(link.path, install + c.target);
        EXPECT_EQ(link.workingDir, install);
        EXPECT_EQ(link.description, c.description);
        EXPECT_EQ(link.arguments, "");
        EXPECT_EQ(link.showCommand, SW_SHOWNORMAL);
        EXPECT_EQ(link.hotkey, 0);
    }
}

TEST_F(InScratch, ShellLinkNameOutsideAsciiKeepsItsCharacters) {
    // A name in the system code page: the same bytes must name the file.
    std::string name = dir + "Caf\xE9 Talvera.lnk";
    ASSERT_EQ(CreateShellLink("C:\\App\\Client.exe", name.c_str(), "", "x", "C:\\App\\", 1, 0, "", 0), 1);
    EXPECT_GT(FileSize(name.c_str()), 0);
}

TEST_F(InScratch, ShellLinkThatCannotBeSavedIsAFailure) {
    EXPECT_EQ(CreateShellLink("C:\\App\\Client.exe", (dir + "missing\\x.lnk").c_str(), "", "x", "C:\\App\\", 1, 0,
                              "", 0),
              0);
}

}  // namespace
