// The installation run in-process on a real wizard window: every value the
// progress bar is given, in order, on fresh installs and an update.
//
// Every way the run ends the program goes through a message box first. A
// helper thread answers the boxes this process shows: Yes to the update and
// launch questions (the launch then starts a harmless program that ends by
// itself, and the run returns); any other box ends this test program with a
// failure instead of letting the run end it with exit code 0.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "Platform.h"
#include "Setup.h"

namespace {

// ---------------------------------------------------------------- message boxes

struct ShownBox {
    std::string title;
    std::string text;
};

std::string WindowString(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

struct BoxSearch {
    HWND found;
};

BOOL CALLBACK FindOwnBox(HWND window, LPARAM param) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && !strcmp(className, "#32770")) {
        ((BoxSearch*)param)->found = window;
        return FALSE;
    }
    return TRUE;
}

bool IsQuestionToAnswerYes(const std::string& text) {
    return text == "A previous version has been found. Do you want to update ?" ||
           text == "Install finished. Do you want to launch Talvera Client ?" ||
           text == "Update finished. Do you want to launch Talvera Client ?";
}

// Answers the boxes of this process while it lives, recording each.
class BoxAnswerer {
public:
    BoxAnswerer() {
        InitializeCriticalSection(&lock_);
        thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
    }
    ~BoxAnswerer() {
        stop_ = 1;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        DeleteCriticalSection(&lock_);
    }
    std::vector<ShownBox> shown() {
        EnterCriticalSection(&lock_);
        std::vector<ShownBox> copy = shown_;
        LeaveCriticalSection(&lock_);
        return copy;
    }

private:
    static DWORD WINAPI Run(void* self) {
        ((BoxAnswerer*)self)->Answer();
        return 0;
    }
    void Answer() {
        while (!stop_) {
            BoxSearch search = {nullptr};
            EnumWindows(FindOwnBox, (LPARAM)&search);
            if (!search.found) {
                Sleep(10);
                continue;
            }
            ShownBox box = {WindowString(search.found), WindowString(GetDlgItem(search.found, 0xFFFF))};
            if (box.text.empty()) {  // not filled in yet
                Sleep(10);
                continue;
            }
            EnterCriticalSection(&lock_);
            shown_.push_back(box);
            LeaveCriticalSection(&lock_);
            if (!IsQuestionToAnswerYes(box.text)) {
                fprintf(stderr, "unexpected message box \"%s\": \"%s\"; ending the test program\n", box.title.c_str(),
                        box.text.c_str());
                fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
            PostMessageA(GetDlgItem(search.found, IDYES), BM_CLICK, 0, 0);
            for (int i = 0; i < 500 && IsWindow(search.found) && IsWindowVisible(search.found); i++) Sleep(10);
        }
    }
    CRITICAL_SECTION lock_;
    std::vector<ShownBox> shown_;
    volatile LONG stop_ = 0;
    HANDLE thread_ = nullptr;
};

// ---------------------------------------------------------------- progress bar

std::vector<int> barValues;
WNDPROC barProcedure;

// Records every position the bar is given; a relative move or a step is
// recorded as -1, which no expected list holds.
LRESULT CALLBACK RecordingBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == PBM_SETPOS) barValues.push_back((int)wParam);
    if (message == PBM_DELTAPOS || message == PBM_STEPIT) barValues.push_back(-1);
    return CallWindowProcA(barProcedure, bar, message, wParam, lParam);
}

// ---------------------------------------------------------------- staged files

struct PackFile {
    const char* name;
    const char* sourcePath;
    const char* targetSubdir;
};

// The pack's files in pack order, with the directories the components
// page gives the source files.
const PackFile packFiles[] = {
    {"Client.exe", "", ""},
    {"ClientMain.cpp", "client\\src\\", "src\\"},
    {"ClientConst.cpp", "client\\src\\inc\\", "src\\inc\\"},
    {"ClientEvent.cpp", "client\\src\\inc\\", "src\\inc\\"},
    {"ClientInclude.cpp", "client\\src\\inc\\", "src\\inc\\"},
    {"ClientStruct.cpp", "client\\src\\inc\\", "src\\inc\\"},
    {"Talvera.wav", "client\\src\\res\\", "src\\res\\"},
    {"blank.ico", "client\\src\\res\\", "src\\res\\"},
    {"eagle.ico", "client\\src\\res\\", "src\\res\\"},
    {"ssecure.ico", "client\\src\\res\\", "src\\res\\"},
    {"SetupMain.cpp", "setup\\", "setup\\"},
    {"SetupInclude.cpp", "setup\\", "setup\\"},
    {"SetupPack.cpp", "setup\\", "setup\\"},
    {"Setup.ico", "setup\\", "setup\\"},
    {"changelog.txt", "", ""},
    {"gpl.txt", "", ""},
};

bool WriteSmallFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size();
}

// Removes a tree, waiting for a started program to let go of its file.
void RemoveTreeWhenFree(const std::string& dir) {
    for (int i = 0; i < 250; i++) {
        RemoveDirectoryTree(dir.c_str(), "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
        if (FileSize(dir.c_str()) == -1) return;
        Sleep(20);
    }
}

// ---------------------------------------------------------------- the cases

struct ProgressCase {
    const char* label;
    bool sources;
    const char* shortcutField;
    bool update;  // the install directory is there before the run
    int stepCount;
    int stepPercent;
    std::vector<int> values;
    std::vector<std::string> questions;
};

std::vector<int> From10By(int step, int last) {
    std::vector<int> values;
    for (int value = 10; value <= last; value += step) values.push_back(value);
    return values;
}

std::vector<int> With100(std::vector<int> values) {
    values.push_back(100);
    return values;
}

const char* const shortcutFolderName = "TalveraUnit-Progress";

class ProgressSteps : public ::testing::TestWithParam<ProgressCase> {
protected:
    void SetUp() override {
        static bool started;
        if (!started) PlatformStart(GetModuleHandleA(nullptr));
        started = true;
        scratch = std::string("C:\\talvera-unit\\InstallRun-") + GetParam().label + "\\";
        programs = SpecialFolderPath(CSIDL_PROGRAMS).c_str();
        CreateDirectoryA("C:\\talvera-unit", nullptr);
        RemoveTreeWhenFree(scratch);
        RemoveTreeWhenFree(programs + shortcutFolderName + "\\");
        ASSERT_TRUE(CreateDirectoryA(scratch.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryA((scratch + "temp").c_str(), nullptr));
        if (GetParam().update) {
            ASSERT_TRUE(CreateDirectoryA((scratch + "install").c_str(), nullptr));
        }
    }
    void TearDown() override {
        PlatformRelease();  // the install log and the wizard window
        RemoveTreeWhenFree(scratch);
        RemoveTreeWhenFree(programs + shortcutFolderName + "\\");
        RemoveDirectoryA("C:\\talvera-unit");  // when no other test left anything there
    }

    // Page 4 as the wizard leaves it: the wizard window with the staged
    // files of the chosen components in a scratch TEMP.
    void PrepareShortcutPage() {
        const ProgressCase& c = GetParam();
        ResetInstallerState();
        OpenWizardWindow();
        state.tempDir = (scratch + "temp\\").c_str();
        state.installDir = (scratch + "install\\").c_str();
        state.installSources = c.sources ? 1 : 0;
        char client[MAX_PATH];
        GetSystemDirectoryA(client, MAX_PATH);
        strcat(client, "\\hostname.exe");
        for (const PackFile& file : packFiles) {
            if (!c.sources && *file.targetSubdir) continue;
            std::string staged = scratch + "temp\\" + file.name;
            // The launch starts the installed Client.exe: a program that ends by itself.
            if (!strcmp(file.name, "Client.exe")) {
                ASSERT_TRUE(CopyFileA(client, staged.c_str(), FALSE)) << client;
            } else {
                ASSERT_TRUE(WriteSmallFile(staged, std::string("staged ") + file.name));
            }
            StagedListAppend(state.stagedFiles, file.name,
                             (std::string("D:\\Builds\\Talvera\\Release\\") + file.sourcePath).c_str(),
                             file.targetSubdir);
        }
        ControlSetText(fldShortcutDir, c.shortcutField);
        HWND bar = ControlHandle(barProgress);
        ASSERT_NE(bar, nullptr);
        barValues.clear();
        barProcedure = (WNDPROC)SetWindowLongPtrA(bar, GWLP_WNDPROC, (LONG_PTR)RecordingBarProc);
    }

    std::string scratch;
    std::string programs;
};

TEST_P(ProgressSteps, BarGetsEveryValueInOrder) {
    const ProgressCase& c = GetParam();
    PrepareShortcutPage();
    if (HasFatalFailure()) return;
    std::vector<ShownBox> boxes;
    {
        BoxAnswerer answerer;
        RunInstallation();
        boxes = answerer.shown();
    }
    EXPECT_EQ(state.finished, 1) << "the run comes back after the launch";
    EXPECT_EQ(state.stepCount, c.stepCount);
    EXPECT_EQ(state.stepPercent, c.stepPercent);
    EXPECT_EQ(barValues, c.values);
    EXPECT_EQ(ControlGetState(barProgress), c.values.back());
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes) texts.push_back(box.text);
    EXPECT_EQ(texts, c.questions);
    EXPECT_GT(FileSize((scratch + "install\\Unins.exe").c_str()), 0);
}

const char* const launchAfterInstall = "Install finished. Do you want to launch Talvera Client ?";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgressSteps,
    ::testing::Values(
        // 16 files in 18 steps of 5; the shortcuts bring the bar to 100.
        ProgressCase{"SourcesOn", true, "\\TalveraUnit-Progress", false, 18, 5, With100(From10By(5, 90)),
                     {launchAfterInstall}},
        // 3 files in 5 steps of 20.
        ProgressCase{"SourcesOff", false, "TalveraUnit-Progress", false, 5, 20, {10, 30, 50, 70, 100},
                     {launchAfterInstall}},
        // No shortcuts: the bar stays where the copies brought it.
        ProgressCase{"NoShortcuts", true, "", false, 18, 5, From10By(5, 90), {launchAfterInstall}},
        // An update counts no shortcut step and ends at 100.
        ProgressCase{"UpdateSourcesOff", false, "\\TalveraUnit-Progress", true, 4, 25, {10, 35, 60, 85, 100},
                     {"A previous version has been found. Do you want to update ?",
                      "Update finished. Do you want to launch Talvera Client ?"}}),
    [](const ::testing::TestParamInfo<ProgressCase>& info) { return info.param.label; });

}  // namespace
