// The uninstaller seen from outside: started where Client.exe lies, it asks,
// reads install.log, removes what an installation left below the two logged
// paths, and leaves the removal of its own program file (and, when nothing is
// kept, of the emptied directory) to C:\talvera.bat, which it starts hidden.
//
// Most cases prepare an installation by hand: the payload's names, the
// client's own files, a copy of Setup.exe as Unins.exe, an install log whose
// lines the case chooses, and shortcuts in a Start-menu folder of the test's
// own. The round trip installs through the wizard instead.
#include "Driver.h"
#include "PayloadFiles.h"
#include "SetupControls.h"

#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <set>

using namespace e2e;

namespace {

const std::string kBatch = "C:\\talvera.bat";

// A message box's title, text and flags, with the box described on failure.
void expectBox(const MsgBox& box, const std::string& title, const std::string& text, int flags)
{
    EXPECT_EQ(box.title, title);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.flags(), flags) << box.describe();
}

// What the client itself leaves beside its program file.
const char* const kClientFiles[] = {"servers.list", "lang.lng", "Client.exe.manifest", "Talvera.wav"};

std::string listing(const std::string& dir)
{
    return ::testing::PrintToString(listTree(dir));
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// The self-removal batch, with the program path and directory written as
// cmd must read them.
std::string expectedBatch(const std::string& program, const std::string& dir, bool removesDir)
{
    std::string batch = "@echo off\r\n:loop\r\n";
    batch += "del " + quoted(program) + "\r\n";
    batch += "if exist " + quoted(program) + " goto loop\r\n";
    if (removesDir)
        batch += "rd " + quoted(dir) + "\r\n";
    return batch + "del C:\\talvera.bat";
}

// Shows the bytes of a batch with its line ends visible, for failure messages.
std::string visibleLines(std::string bytes)
{
    for (size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos; at += 5)
        bytes.replace(at, 2, "<CRLF>");
    return bytes;
}

// The command interpreters (and their console hosts) that this process
// started, directly or through one of them, still running.
std::vector<std::string> runningChildren(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        throw Failure("no process snapshot");
    std::vector<PROCESSENTRY32> interpreters;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        std::string name = entry.szExeFile;
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        if (name == "cmd.exe" || name == "conhost.exe")
            interpreters.push_back(entry);
    }
    CloseHandle(snapshot);
    std::set<DWORD> parents = {parent};
    std::vector<std::string> found;
    for (bool grew = true; grew;) {
        grew = false;
        for (const PROCESSENTRY32& process : interpreters)
            if (parents.count(process.th32ParentProcessID) && !parents.count(process.th32ProcessID)) {
                parents.insert(process.th32ProcessID);
                found.push_back(std::string(process.szExeFile) + " (pid " + std::to_string(process.th32ProcessID) + ")");
                grew = true;
            }
    }
    return found;
}

class Uninstall : public e2e::Test {
protected:
    void SetUp() override
    {
        e2e::Test::SetUp();
        removePath(kBatch);
        sandbox().removeAtEnd(kBatch);
        // C:\e2e\<Suite>.<Test>\ gives the Start-menu folder its unique name.
        const std::string& root = sandbox().root();
        folderName_ = "E2E " + root.substr(7, root.size() - 8);
        folder_ = specialFolder(CSIDL_PROGRAMS) + folderName_ + "\\";
        removePath(folder_);
        sandbox().removeAtEnd(folder_);
    }

    const std::string& folderName() const { return folderName_; }
    // The test's own folder below the Start menu's Programs folder.
    const std::string& folder() const { return folder_; }
    // That folder as the installer logs it with the default folder name,
    // "\Talvera": the Programs folder, a second backslash, the name.
    std::string loggedFolder() const { return specialFolder(CSIDL_PROGRAMS) + "\\" + folderName_ + "\\"; }

    // An installation in dir as the installer and the client leave it.
    void makeInstallation(const std::string& dir, const std::string& log)
    {
        for (const PayloadFile& file : payloadFiles())
            writeFile(dir + file.targetSubdir + file.name, file.name);
        for (const char* name : kClientFiles)
            writeFile(dir + name, name);
        if (!CopyFileA(setupExe().c_str(), (dir + "Unins.exe").c_str(), FALSE))
            throw Failure("can't copy Setup.exe to " + dir + "Unins.exe");
        writeFile(dir + "Install.log", log);
    }

    // The two shortcuts of an installation in dir, in the test's folder.
    void makeShortcuts(const std::string& dir)
    {
        makeDirectories(folder_);
        Shortcut client;
        client.target = dir + "Client.exe";
        client.workingDirectory = dir;
        client.description = "Launch Talvera Client";
        writeShortcut(folder_ + "Talvera Client.lnk", client);
        Shortcut uninstaller;
        uninstaller.target = dir + "Unins.exe";
        uninstaller.workingDirectory = dir;
        uninstaller.description = "Uninstall Talvera Client";
        writeShortcut(folder_ + "Uninstall.lnk", uninstaller);
    }

    Program& startUninstaller(const std::string& dir)
    {
        return keep(Program::start(dir + "Unins.exe", dir, sandbox().temp()));
    }

    static void answerFirstQuestion(Program& program, int answer)
    {
        MsgBox question = program.waitForMessageBox();
        expectBox(question, "Question", "Do you want to uninstall Talvera Client ?", MB_ICONQUESTION | MB_YESNO);
        question.press(answer);
    }

    // Yes to the first question, `keep` to the second; the box that follows
    // is returned still open.
    static MsgBox uninstall(Program& program, int keep)
    {
        answerFirstQuestion(program, IDYES);
        MsgBox question = program.waitForMessageBox();
        expectBox(question, "Question", "Do you want to keep configuration ?", MB_ICONQUESTION | MB_YESNO);
        question.press(keep);
        return program.waitForMessageBox();
    }

    static void expectFinishedBox(const MsgBox& box)
    {
        expectBox(box, "Information", "Uninstall finished.", MB_ICONINFORMATION | MB_OK);
    }

    // The batch removes itself last, so everything it does is done then;
    // its interpreter, started by the uninstaller, ends right after.
    static void waitForBatchEnd(const Program& uninstaller)
    {
        waitUntil([] { return !pathExists(kBatch); }, "C:\\talvera.bat to delete itself", kTimeoutMs);
        waitUntil([&] { return runningChildren(uninstaller.pid()).empty(); }, "the batch's cmd to end", kTimeoutMs,
                  [&] { return ::testing::PrintToString(runningChildren(uninstaller.pid())); });
    }

private:
    std::string folderName_;
    std::string folder_;
};

TEST_F(Uninstall, RoundTripThroughTheWizardAndTheUninstallShortcut)
{
    const std::string installDir = sandbox().install();
    Program& setupProgram = start(setupExe());
    Window wizard = setupProgram.waitForWindow(setup::kWizardCaption);
    Control next = wizard.control(setup::btnNext);
    auto waitVisible = [&](int id, const char* what) {
        waitUntil([&] { return wizard.control(id).visible(); }, what, kTimeoutMs, [&] { return wizard.describe(); });
    };

    next.click();
    waitVisible(setup::optAgree, "the licence page");
    wizard.control(setup::optAgree).click();
    waitUntil([&] { return next.enabled(); }, "Next enabled after I agree");
    next.click();
    waitVisible(setup::chkSources, "the components page");
    wizard.control(setup::chkSources).click();
    waitUntil([&] { return wizard.control(setup::chkSources).checkState() == 1; }, "Sources checked");
    next.click();
    waitVisible(setup::fldInstallDir, "the install directory page");
    // The folder tree reports its first selection a moment after the page
    // is built, and the program then rewrites the field: type after that.
    waitUntil([&] { return !wizard.control(setup::treeInstallDir).treeSelection().empty(); },
              "the folder tree's first selection");
    Sleep(300);
    Control dirField = wizard.control(setup::fldInstallDir);
    const std::string typedDir = installDir.substr(0, installDir.size() - 1);
    dirField.selectAll();
    dirField.type(typedDir);
    ASSERT_EQ(dirField.text(), typedDir);
    next.click();
    waitVisible(setup::fldShortcutDir, "the shortcut folder page");
    Control folderField = wizard.control(setup::fldShortcutDir);
    folderField.selectAll();
    folderField.type(folderName());
    waitUntil([&] { return next.text() == "Install"; }, "the Install button");
    next.click();
    MsgBox launch = setupProgram.waitForMessageBox(60000);
    ASSERT_EQ(launch.text, "Install finished. Do you want to launch Talvera Client ?") << setupProgram.describe();
    launch.press(IDNO);
    EXPECT_EQ(setupProgram.waitForExit(), 0);

    ASSERT_EQ(readFile(installDir + "Install.log"), installDir + "\r\n" + folder());
    ASSERT_TRUE(fileExists(installDir + "Unins.exe")) << listing(installDir);
    for (const PayloadFile& file : payloadFiles())
        ASSERT_TRUE(fileExists(installDir + file.targetSubdir + file.name)) << listing(installDir);
    ASSERT_EQ(listTree(folder()), (std::vector<std::string>{"Talvera Client.lnk", "Uninstall.lnk"}));
    EXPECT_EQ(readShortcut(folder() + "Uninstall.lnk").workingDirectory, installDir);

    Program& uninstaller = keep(Program::shellOpen(folder() + "Uninstall.lnk", sandbox().temp()));
    EXPECT_EQ(uninstaller.name(), "Unins.exe");
    MsgBox finished = uninstall(uninstaller, IDNO);
    expectFinishedBox(finished);
    finished.press(IDOK);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    waitForBatchEnd(uninstaller);
    EXPECT_FALSE(pathExists(installDir)) << listing(installDir);
    EXPECT_FALSE(pathExists(folder())) << listing(folder());
}

// The keep answer decides about servers.list and the batch's "rd" line; the
// batch must name the program and the directory so that cmd finds them
// whatever characters they hold, and must end even when the program file was
// read-only.
struct BatchCase {
    const char* name;
    bool inProgramFiles;   // else in the sandbox
    const char* dir;       // below Program Files or the sandbox, ending in '\'
    const char* dirInBatch;
    int keep;
    bool readOnlyProgram;
};

void PrintTo(const BatchCase& c, std::ostream* out)
{
    *out << c.name;
}

class UninstallBatch : public Uninstall, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(UninstallBatch, LinesAreExactAndTheBatchFinishesTheJob)
{
    const BatchCase& c = GetParam();
    const std::string base = c.inProgramFiles ? specialFolder(CSIDL_PROGRAM_FILES) : sandbox().root();
    const std::string dir = base + c.dir;
    const std::string dirInBatch = base + c.dirInBatch;
    removePath(dir);
    sandbox().removeAtEnd(dir);
    makeInstallation(dir, dir + "\r\n" + loggedFolder());
    makeShortcuts(dir);
    if (c.readOnlyProgram) {
        ASSERT_TRUE(SetFileAttributesA((dir + "Unins.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    }

    Program& uninstaller = startUninstaller(dir);
    MsgBox finished = uninstall(uninstaller, c.keep);
    expectFinishedBox(finished);
    // The batch only spins on the program file while this box is open.
    std::string batch = readFile(kBatch);
    std::string expected = expectedBatch(dirInBatch + "Unins.exe", dirInBatch, c.keep == IDNO);
    EXPECT_EQ(batch, expected) << "as lines: " << visibleLines(batch) << "\nexpected: " << visibleLines(expected);
    EXPECT_TRUE(fileExists(dir + "Unins.exe")) << "deleted while the program still runs";
    finished.press(IDOK);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    waitForBatchEnd(uninstaller);

    if (c.keep == IDYES)
        EXPECT_EQ(listTree(dir), std::vector<std::string>{"servers.list"});
    else
        EXPECT_FALSE(pathExists(dir)) << listing(dir);
    EXPECT_FALSE(pathExists(folder())) << listing(folder());
}

const BatchCase kBatchCases[] = {
    {"ProgramFilesKeepYes", true, "Talvera E2E\\", "Talvera E2E\\", IDYES, false},
    {"ProgramFilesKeepNo", true, "Talvera E2E\\", "Talvera E2E\\", IDNO, false},
    {"PercentSignsDoubled", false, "100% %PATH% Talvera\\", "100%% %%PATH%% Talvera\\", IDNO, false},
    {"ReadOnlyProgramFile", false, "install\\", "install\\", IDNO, true},
};

INSTANTIATE_TEST_SUITE_P(Uninstall, UninstallBatch, ::testing::ValuesIn(kBatchCases),
                         [](const ::testing::TestParamInfo<BatchCase>& info) { return std::string(info.param.name); });

TEST_F(Uninstall, NoToTheFirstQuestionChangesNothing)
{
    const std::string dir = sandbox().install();
    const std::string log = dir + "\r\n" + loggedFolder();
    makeInstallation(dir, log);
    makeShortcuts(dir);
    const std::vector<std::string> installed = listTree(dir);
    const std::vector<std::string> shortcuts = listTree(folder());

    Program& uninstaller = startUninstaller(dir);
    answerFirstQuestion(uninstaller, IDNO);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    EXPECT_EQ(listTree(dir), installed);
    EXPECT_EQ(readFile(dir + "Install.log"), log);
    EXPECT_EQ(listTree(folder()), shortcuts);
    EXPECT_FALSE(pathExists(kBatch));
}

// A log that is missing, or whose first line names no directory or a whole
// drive or share, stops the uninstaller before it deletes anything.
TEST_F(Uninstall, UnusableLogIsRefusedBeforeAnythingGoes)
{
    struct Case {
        const char* what;
        bool present;
        std::string log;
    };
    const std::string shortcutLine = "\r\n" + loggedFolder();
    const Case cases[] = {
        {"no install.log", false, ""},
        {"an empty install.log", true, ""},
        {"an empty first line", true, shortcutLine},
        {"the root of drive C:", true, "C:\\" + shortcutLine},
        {"the root of the current drive", true, "\\" + shortcutLine},
        {"a drive root reached through ..", true, "C:\\windows\\..\\" + shortcutLine},
        {"a drive root with a doubled backslash", true, "C:\\\\" + shortcutLine},
        {"the root of a share", true, "\\\\e2e-nowhere\\share\\" + shortcutLine},
    };
    const std::string dir = sandbox().install();
    makeInstallation(dir, "");
    makeShortcuts(dir);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        removePath(dir + "Install.log");
        if (c.present)
            writeFile(dir + "Install.log", c.log);
        const std::vector<std::string> installed = listTree(dir);
        const std::vector<std::string> shortcuts = listTree(folder());

        Program& uninstaller = startUninstaller(dir);
        answerFirstQuestion(uninstaller, IDYES);
        MsgBox error = uninstaller.waitForMessageBox();
        expectBox(error, "Error", "Can't read uninstall informations !", MB_ICONERROR | MB_OK);
        error.press(IDOK);
        EXPECT_EQ(uninstaller.waitForExit(), 0);
        EXPECT_EQ(listTree(dir), installed);
        if (c.present) {
            EXPECT_EQ(readFile(dir + "Install.log"), c.log);
        }
        EXPECT_EQ(listTree(folder()), shortcuts);
        EXPECT_FALSE(pathExists(kBatch));
    }
}

// The user's own files: one in the install directory keeps the batch's "rd"
// from removing it; one in the shortcut folder goes with the folder's
// files, while a subfolder there keeps the folder.
TEST_F(Uninstall, UsersFilesAndSubfolderKeepTheirDirectories)
{
    const std::string dir = sandbox().install();
    makeInstallation(dir, dir + "\r\n" + loggedFolder());
    makeShortcuts(dir);
    writeFile(dir + "notes.txt", "mine");
    writeFile(folder() + "Readme.txt", "added to the folder");
    writeFile(folder() + "Mine\\keep.txt", "mine");

    Program& uninstaller = startUninstaller(dir);
    MsgBox finished = uninstall(uninstaller, IDNO);
    expectFinishedBox(finished);
    finished.press(IDOK);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    waitForBatchEnd(uninstaller);
    EXPECT_EQ(listTree(dir), std::vector<std::string>{"notes.txt"});
    EXPECT_EQ(listTree(folder()), (std::vector<std::string>{"Mine\\", "Mine\\keep.txt"}));
}

// A second log line that is empty or names a drive root: the shortcuts
// that lie elsewhere stay, and no files of a root are swept; the rest of the
// uninstallation goes on.
TEST_F(Uninstall, ShortcutLineWithoutAFolderSweepsNothing)
{
    const std::string sentinel = "C:\\e2e-uninstall-sentinel.txt";
    sandbox().removeAtEnd(sentinel);
    writeFile(sentinel, "must stay");
    struct Case {
        const char* what;
        const char* second;  // appended to the first line
    };
    const Case cases[] = {
        {"an empty second line", "\r\n"},
        {"no line end after the first line", ""},
        {"the root of drive C:", "\r\nC:\\"},
        {"the root of the current drive", "\r\n\\"},
        {"a drive root reached through ..", "\r\nC:\\windows\\..\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = sandbox().install();
        makeInstallation(dir, dir + c.second);
        makeShortcuts(dir);

        Program& uninstaller = startUninstaller(dir);
        MsgBox finished = uninstall(uninstaller, IDNO);
        expectFinishedBox(finished);
        finished.press(IDOK);
        EXPECT_EQ(uninstaller.waitForExit(), 0);
        waitForBatchEnd(uninstaller);
        EXPECT_FALSE(pathExists(dir)) << listing(dir);
        EXPECT_EQ(listTree(folder()), (std::vector<std::string>{"Talvera Client.lnk", "Uninstall.lnk"}));
        EXPECT_EQ(readFile(sentinel), "must stay");
    }
}

// The installed files go from the logged directory; the program file and
// the directory of the batch are those the program was started from.
TEST_F(Uninstall, LoggedDirectoryOtherThanTheStartingOne)
{
    const std::string started = sandbox().start();
    const std::string logged = sandbox().install();
    const std::string log = logged + "\r\n" + loggedFolder();
    makeInstallation(started, log);
    makeInstallation(logged, log);
    makeShortcuts(logged);
    std::vector<std::string> startedLeft = listTree(started);
    startedLeft.erase(std::find(startedLeft.begin(), startedLeft.end(), "Unins.exe"));

    Program& uninstaller = startUninstaller(started);
    MsgBox finished = uninstall(uninstaller, IDNO);
    expectFinishedBox(finished);
    std::string batch = readFile(kBatch);
    std::string expected = expectedBatch(started + "Unins.exe", started, true);
    EXPECT_EQ(batch, expected) << "as lines: " << visibleLines(batch) << "\nexpected: " << visibleLines(expected);
    finished.press(IDOK);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    waitForBatchEnd(uninstaller);
    EXPECT_EQ(listTree(logged), std::vector<std::string>{"Unins.exe"});
    EXPECT_EQ(listTree(started), startedLeft);
    EXPECT_FALSE(pathExists(folder())) << listing(folder());
}

// With no batch the user is told which directory to delete, and the
// program file stays.
TEST_F(Uninstall, BatchThatCannotBeWrittenNamesTheDirectory)
{
    makeDirectories(kBatch);
    const std::string dir = sandbox().install();
    makeInstallation(dir, dir + "\r\n" + loggedFolder());
    makeShortcuts(dir);

    Program& uninstaller = startUninstaller(dir);
    MsgBox finished = uninstall(uninstaller, IDNO);
    expectBox(finished, "Information", "Uninstall finished. Delete Talvera Client directory " + dir, MB_ICONINFORMATION | MB_OK);
    finished.press(IDOK);
    EXPECT_EQ(uninstaller.waitForExit(), 0);
    EXPECT_EQ(listTree(dir), std::vector<std::string>{"Unins.exe"});
    EXPECT_TRUE(directoryExists(kBatch));
    EXPECT_FALSE(pathExists(folder())) << listing(folder());
    removePath(kBatch);
}

}  // namespace
