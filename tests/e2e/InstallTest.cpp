// Setup.exe's installation run seen from outside: the wizard is walked to
// its last page, Install is pressed, and the test reads what the run shows
// (status line, list of steps, progress bar, questions) and what it leaves
// on disk (installed tree, uninstaller, shortcuts, install log, staged
// files) on a fresh install, an update, and the failures that end a run or
// take it back.
#include "Driver.h"
#include "PayloadFiles.h"
#include "SetupControls.h"

#include <shlobj.h>

#include <algorithm>
#include <map>

using namespace e2e;

namespace {

// An installation run does more than the wizard's steps: give it longer.
constexpr int kRunTimeoutMs = 30000;

// ---------------------------------------------------------------- payload

// The 16 files of the pack in pack order, read once.
const std::vector<PayloadFile>& payload()
{
    static std::vector<PayloadFile> files;
    if (files.empty())
        files = payloadFiles();
    return files;
}

bool isSource(const PayloadFile& file)
{
    return !file.targetSubdir.empty();
}

std::vector<std::string> splitOn(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

// What a run installs: every file with Sources, the main program without.
std::vector<PayloadFile> installedFiles(bool sources)
{
    std::vector<PayloadFile> chosen;
    for (const PayloadFile& file : payload())
        if (sources || !isSource(file))
            chosen.push_back(file);
    return chosen;
}

// ---------------------------------------------------------------- disk

// A tree as path -> bytes; directories end in '\' and map to "<dir>".
using Snapshot = std::map<std::string, std::string>;
const char* const kDirectory = "<dir>";

Snapshot snapshot(const std::string& dir)
{
    Snapshot tree;
    for (const std::string& entry : listTree(dir))
        tree[entry] = entry.back() == '\\' ? kDirectory : readFile(dir + entry);
    return tree;
}

// The entries of a snapshot, for failure messages.
std::string namesOf(const Snapshot& tree)
{
    std::string names;
    for (const auto& [path, bytes] : tree)
        names += (names.empty() ? "" : ", ") + path;
    return "{" + names + "}";
}

// Compares two trees entry by entry, naming the first difference.
void expectSameTree(const Snapshot& actual, const Snapshot& expected, const std::string& what)
{
    EXPECT_EQ(namesOf(actual), namesOf(expected)) << what;
    for (const auto& [path, bytes] : expected) {
        auto found = actual.find(path);
        if (found != actual.end()) {
            EXPECT_TRUE(found->second == bytes) << what << ": " << path << " has other bytes (" << found->second.size()
                                                << " instead of " << bytes.size() << ")";
        }
    }
}

// The tree a run installs: the payload's files with their bytes, the source
// directories, the uninstaller and (fresh install) the log.
Snapshot installedTree(bool sources, const std::string& logBytes)
{
    Snapshot tree;
    for (const PayloadFile& file : installedFiles(sources))
        tree[file.targetSubdir + file.name] = readFile(file.hostPath);
    if (sources)
        for (const char* dir : {"src\\", "src\\inc\\", "src\\res\\", "setup\\"})
            tree[dir] = kDirectory;
    tree["Unins.exe"] = readFile(setupExe());
    if (!logBytes.empty())
        tree["Install.log"] = logBytes;
    return tree;
}

// A file or directory held open by the test. With no sharing at all nobody
// else can read, replace or delete it until release(); shared for reading
// and writing a file can still be replaced and a directory listed and
// emptied, but neither can be deleted.
class Held {
public:
    enum Sharing { Nothing = 0, ReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE };
    explicit Held(const std::string& path, Sharing sharing = Nothing)
        : handle_(CreateFileA(path.c_str(), GENERIC_READ | (sharing ? GENERIC_WRITE : 0), sharing, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr))
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            throw Failure("can't hold " + path + " open (error " + std::to_string(GetLastError()) + ")");
    }
    ~Held() { release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    void release()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

std::string programsFolder()
{
    return specialFolder(CSIDL_PROGRAMS);
}

// ---------------------------------------------------------------- an earlier installation

// The names an update deletes from the install directory itself.
const char* const kUpdateDeletes[] = {"Client.exe",    "ClientMain.cpp", "ClientInclude.cpp", "SetupPack.cpp",
                                      "SetupMain.cpp", "SetupInclude.cpp", "changelog.txt",  "Unins.exe",
                                      "Talvera.wav",   "gpl.txt"};

// An earlier installation with the user's own files beside it: the names an
// update deletes (the change log in lower case, as it is installed), source
// trees with a read-only file and a subdirectory, and files an update must
// keep: the log, the configuration, a source name that is not on the list
// and a user directory holding a listed name.
void writeEarlierInstallation(const std::string& dir, const std::string& log)
{
    for (const char* name : kUpdateDeletes)
        writeFile(dir + name, std::string("earlier ") + name);
    const char* const trees[] = {"src\\ClientMain.cpp", "src\\inc\\ClientConst.cpp", "src\\inc\\user.txt",
                                 "src\\res\\eagle.ico", "setup\\SetupMain.cpp", "setup\\old\\notes.txt"};
    for (const char* path : trees)
        writeFile(dir + path, std::string("earlier ") + path);
    SetFileAttributesA((dir + "src\\res\\eagle.ico").c_str(), FILE_ATTRIBUTE_READONLY);
    const char* const kept[] = {"servers.list", "lang.lng", "notes.txt", "ClientConst.cpp", "backup\\Client.exe"};
    for (const char* path : kept)
        writeFile(dir + path, std::string("the user's ") + path);
    writeFile(dir + "Install.log", log);
}

// What an update leaves of an earlier installation: everything but the
// listed names and the two source trees.
Snapshot keptByUpdate(const Snapshot& earlier)
{
    Snapshot kept;
    for (const auto& [path, bytes] : earlier) {
        bool listed = std::any_of(std::begin(kUpdateDeletes), std::end(kUpdateDeletes),
                                  [&](const char* name) { return !_stricmp(name, path.c_str()); });
        bool inTrees = !_strnicmp(path.c_str(), "src\\", 4) || !_strnicmp(path.c_str(), "setup\\", 6);
        if (!listed && !inTrees)
            kept[path] = bytes;
    }
    return kept;
}

// ---------------------------------------------------------------- the wizard

// Sets a field from outside and waits until the program has settled on it:
// the install-directory field and the folder tree echo each other.
void setFieldSettled(const Control& field, const std::string& text)
{
    for (int attempt = 1;; attempt++) {
        field.setText(text);
        Sleep(250);
        if (field.text() == text)
            return;
        if (attempt == 3)
            throw Failure("the field " + std::to_string(field.id()) + " does not keep " + text + ", it shows " +
                          field.text());
    }
}

// Walks the wizard from its welcome page to the shortcut-folder page: the
// licence accepted, Sources as asked, the install directory typed.
Window walkToShortcutPage(const Program& setup, bool sources, const std::string& installDir)
{
    Window wizard = setup.waitForWindow(setup::kWizardCaption);
    auto waitFor = [&](const std::function<bool()>& condition, const std::string& what) {
        waitUntil(condition, what, kTimeoutMs, [&] { return setup.describe(); });
    };
    Control next = wizard.control(setup::btnNext);
    next.click();
    Control agree = wizard.control(setup::optAgree);
    waitFor([&] { return agree.visible(); }, "the licence page");
    agree.click();
    waitFor([&] { return next.enabled(); }, "Next enabled once the licence is accepted");
    next.click();
    Control chkSources = wizard.control(setup::chkSources);
    waitFor([&] { return chkSources.visible(); }, "the components page");
    if (sources) {
        chkSources.click();
        waitFor([&] { return chkSources.checkState() == 1; }, "Sources checked");
    }
    next.click();
    Control field = wizard.control(setup::fldInstallDir);
    waitFor([&] { return field.visible(); }, "the install directory page");
    setFieldSettled(field, installDir);
    next.click();
    waitFor([&] { return wizard.control(setup::fldShortcutDir).visible(); }, "the shortcut folder page");
    return wizard;
}

// Types the shortcut folder (nullptr keeps the page's own text) and presses Install.
void install(const Window& wizard, const char* shortcutField)
{
    Control field = wizard.control(setup::fldShortcutDir);
    if (shortcutField)
        setFieldSettled(field, shortcutField);
    Control next = wizard.control(setup::btnNext);
    EXPECT_EQ(next.text(), "Install");
    next.click();
}

// What the installing page shows while a message box of the run is open.
struct PageAtBox {
    MsgBox box;
    std::string status;
    std::vector<std::string> lines;
    int bar = -1;
};

PageAtBox waitForBox(const Program& setup, const Window& wizard)
{
    PageAtBox page;
    page.box = setup.waitForMessageBox(kRunTimeoutMs);
    page.status = wizard.control(setup::txtStatus).text();
    page.lines = wizard.control(setup::lstLog).lines();
    page.bar = wizard.control(setup::barProgress).position();
    return page;
}

void expectBox(const MsgBox& box, const std::string& title, const std::string& text, int flags)
{
    EXPECT_EQ(box.title, title) << box.describe();
    EXPECT_EQ(box.text, text) << box.describe();
    EXPECT_EQ(box.flags(), flags) << box.describe();
}

std::string launchQuestion(const char* finished)
{
    return std::string(finished) + ". Do you want to launch Talvera Client ?";
}

std::vector<std::string> copyLines(const std::vector<PayloadFile>& files)
{
    std::vector<std::string> lines;
    for (const PayloadFile& file : files)
        lines.push_back("Copying : " + file.name);
    return lines;
}

void append(std::vector<std::string>& to, const std::vector<std::string>& lines)
{
    to.insert(to.end(), lines.begin(), lines.end());
}

// ---------------------------------------------------------------- fresh installs

struct FreshCase {
    const char* label;
    bool sources;
    const char* shortcutField;  // nullptr: the page's own "\Talvera"
    const char* belowPrograms;  // what the shortcut folder adds to the Programs path; "" for none
    const char* folderName;     // that folder's name in Programs
    int finalBar;
};

class FreshInstall : public e2e::Test, public ::testing::WithParamInterface<FreshCase> {};

TEST_P(FreshInstall, InstallsTheTreeShortcutsAndLog)
{
    const FreshCase& c = GetParam();
    const std::string programs = programsFolder();
    const std::string shortcutDir = *c.belowPrograms ? programs + c.belowPrograms : "";
    // The folder as a plain path, for the test's own checks.
    const std::string folder = *c.folderName ? joinPath(programs, c.folderName) : "";
    if (!folder.empty()) {
        removePath(folder);  // left by an earlier, broken run
        sandbox().removeAtEnd(folder);
    }
    const Snapshot programsBefore = snapshot(programs);
    const std::string typed = sandbox().path("install");  // without its final backslash
    const std::string installDir = typed + "\\";

    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, c.sources, typed);
    EXPECT_EQ(wizard.control(setup::fldShortcutDir).text(), "\\Talvera");
    install(wizard, c.shortcutField);

    PageAtBox end = waitForBox(setup, wizard);
    if (!c.shortcutField)
        screenshot("install-launch-question");
    expectBox(end.box, "Information", launchQuestion("Install finished"), MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(end.status, "Install finished");
    EXPECT_EQ(end.bar, c.finalBar);

    std::vector<PayloadFile> files = installedFiles(c.sources);
    std::vector<std::string> lines = {"Creating directory : " + installDir};
    if (c.sources)
        lines.push_back("Creating sources directories");
    append(lines, copyLines(files));
    lines.push_back("Creating uninstaller");
    if (!shortcutDir.empty())
        append(lines, {"Creating directory : " + shortcutDir, "Creating shortcut", "Creating shortcut for uninstall"});
    lines.push_back("Install finished");
    EXPECT_EQ(end.lines, lines);

    // The log is complete while the program still holds it open.
    std::string log = installDir + "\r\n" + shortcutDir;
    expectSameTree(snapshot(installDir), installedTree(c.sources, log), "the installed tree");
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << "every staged file is deleted once installed: "
                                                    << ::testing::PrintToString(listTree(sandbox().temp()));

    if (shortcutDir.empty()) {
        expectSameTree(snapshot(programs), programsBefore, "the Programs folder without shortcuts");
    } else {
        EXPECT_EQ(listTree(folder), (std::vector<std::string>{"Talvera Client.lnk", "Uninstall.lnk"}));
        struct Link {
            const char* file;
            const char* target;
            const char* description;
        } links[] = {{"Talvera Client.lnk", "Client.exe", "Launch Talvera Client"},
                     {"Uninstall.lnk", "Unins.exe", "Uninstall Talvera Client"}};
        for (const Link& link : links) {
            Shortcut read = readShortcut(joinPath(folder, link.file));
            EXPECT_EQ(read.target, installDir + link.target) << link.file;
            EXPECT_EQ(read.workingDirectory, installDir) << link.file;
            EXPECT_EQ(read.description, link.description) << link.file;
            EXPECT_EQ(read.arguments, "") << link.file;
            EXPECT_EQ(read.showCommand, SW_SHOWNORMAL) << link.file;
            EXPECT_EQ(read.hotkey, 0) << link.file;
        }
    }

    end.box.press(IDNO);
    EXPECT_EQ(setup.waitForExit(), 0);
    EXPECT_EQ(readFile(installDir + "Install.log"), log) << "the same bytes once the program has closed it";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FreshInstall,
    ::testing::Values(
        // The page's own text: the Programs path, a second backslash, the folder.
        FreshCase{"DefaultChoices", true, nullptr, "\\Talvera\\", "Talvera", 100},
        FreshCase{"SourcesOff", false, "\\TalveraE2E-NoSources", "\\TalveraE2E-NoSources\\", "TalveraE2E-NoSources",
                  100},
        FreshCase{"FolderWithoutBackslash", false, "TalveraE2E-Plain", "TalveraE2E-Plain\\", "TalveraE2E-Plain", 100},
        FreshCase{"NoShortcutsSourcesOff", false, "", "", "", 70},
        FreshCase{"NoShortcutsSourcesOn", true, "", "", "", 90}),
    [](const ::testing::TestParamInfo<FreshCase>& info) { return info.param.label; });

// ---------------------------------------------------------------- launch

// The process's current directory, read from its process parameters.
std::string currentDirectoryOf(DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        throw Failure("can't open process " + std::to_string(pid));
    typedef LONG(WINAPI * QueryProcess)(HANDLE, int, void*, ULONG, ULONG*);
    QueryProcess query = (QueryProcess)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    struct {
        LONG exitStatus;
        char* peb;
        ULONG_PTR affinity;
        LONG priority;
        ULONG_PTR pid, parentPid;
    } basic = {};
    char* parameters = nullptr;
    struct {
        USHORT length, maximum;
        wchar_t* buffer;
    } dosPath = {};
    std::wstring path;
    // 32-bit layout: PEB.ProcessParameters at 0x10, CurrentDirectory.DosPath at 0x24.
    bool read = query && query(process, 0, &basic, sizeof basic, nullptr) == 0 &&
                ReadProcessMemory(process, basic.peb + 0x10, &parameters, sizeof parameters, nullptr) &&
                ReadProcessMemory(process, parameters + 0x24, &dosPath, sizeof dosPath, nullptr);
    if (read) {
        path.resize(dosPath.length / 2);
        read = ReadProcessMemory(process, dosPath.buffer, &path[0], dosPath.length, nullptr);
    }
    CloseHandle(process);
    if (!read)
        throw Failure("can't read the current directory of process " + std::to_string(pid));
    std::string ansi(path.size() * 2 + 1, '\0');
    int length = WideCharToMultiByte(CP_ACP, 0, path.c_str(), (int)path.size(), &ansi[0], (int)ansi.size(), nullptr,
                                     nullptr);
    ansi.resize(length > 0 ? length : 0);
    return ansi;
}

class InstallRun : public e2e::Test {};

TEST_F(InstallRun, LaunchYesStartsTheClientInTheInstallDirectoryAndEnds)
{
    const std::string installDir = sandbox().install();
    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, false, installDir);
    install(wizard, "");
    PageAtBox end = waitForBox(setup, wizard);
    expectBox(end.box, "Information", launchQuestion("Install finished"), MB_ICONQUESTION | MB_YESNO);
    EXPECT_FALSE(pathExists(installDir + "servers.list")) << "nothing started the client yet";

    end.box.press(IDYES);
    EXPECT_EQ(setup.waitForExit(5000), 0);
    Program& client = keep(Program::byWindow("Talvera Client"));
    EXPECT_TRUE(client.running()) << "Setup.exe ended without waiting for the client";
    EXPECT_EQ(_stricmp(currentDirectoryOf(client.pid()).c_str(), installDir.c_str()), 0)
        << currentDirectoryOf(client.pid());
    // The stand-in client writes its configuration beside itself on its first start.
    waitUntil([&] { return fileExists(installDir + "servers.list") && fileExists(installDir + "lang.lng"); },
              "the client's configuration files in " + installDir);
    client.waitForWindow("Talvera Client").postClose();
    EXPECT_EQ(client.waitForExit(), 0);
}

// ---------------------------------------------------------------- failures before copying

struct InstallDirCase {
    const char* label;
    const char* typed;  // below the sandbox
    bool fileThere;     // the typed path is an existing file
};

class InstallDirFailure : public e2e::Test, public ::testing::WithParamInterface<InstallDirCase> {};

TEST_P(InstallDirFailure, EndsWithNothingChanged)
{
    const InstallDirCase& c = GetParam();
    const std::string typed = sandbox().path(c.typed);
    if (c.fileThere)
        writeFile(typed, "a file where the directory would go");
    const std::string programs = programsFolder();
    const std::string folder = joinPath(programs, "TalveraE2E-NoDir");
    sandbox().removeAtEnd(folder);

    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, false, typed);
    const Snapshot before = snapshot(sandbox().root());
    const Snapshot programsBefore = snapshot(programs);
    install(wizard, "\\TalveraE2E-NoDir");

    PageAtBox end = waitForBox(setup, wizard);
    expectBox(end.box, "Error", "Can't create directory " + typed + "\\", MB_ICONERROR | MB_OK);
    EXPECT_TRUE(end.lines.empty()) << ::testing::PrintToString(end.lines);
    end.box.press(IDOK);
    EXPECT_EQ(setup.waitForExit(), 0);
    // The staged files stay in TEMP with the rest.
    expectSameTree(snapshot(sandbox().root()), before, "the sandbox");
    expectSameTree(snapshot(programs), programsBefore, "the Programs folder");
}

INSTANTIATE_TEST_SUITE_P(Cases, InstallDirFailure,
                         ::testing::Values(InstallDirCase{"ParentMissing", "missing\\install", false},
                                           InstallDirCase{"NamesAFile", "afile", true}),
                         [](const ::testing::TestParamInfo<InstallDirCase>& info) { return info.param.label; });

// ---------------------------------------------------------------- shortcut folder failures

struct ShortcutDirCase {
    const char* label;
    const char* field;
    const char* existingFolder;  // below Programs, made before the run; nullptr for none
};

class ShortcutDirFailure : public e2e::Test, public ::testing::WithParamInterface<ShortcutDirCase> {};

TEST_P(ShortcutDirFailure, RemovesTheNewInstallDirectory)
{
    const ShortcutDirCase& c = GetParam();
    const std::string programs = programsFolder();
    const std::string firstLevel = joinPath(programs, splitOn(c.field, '\\')[1]);
    removePath(firstLevel);
    sandbox().removeAtEnd(firstLevel);
    if (c.existingFolder)
        writeFile(joinPath(programs, c.existingFolder) + "\\user.txt", "the user's own");
    const Snapshot programsBefore = snapshot(programs);
    const std::string installDir = sandbox().install();

    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, false, installDir);
    install(wizard, c.field);

    PageAtBox end = waitForBox(setup, wizard);
    const std::string shortcutDir = programs + c.field + "\\";
    expectBox(end.box, "Error", "Can't create directory " + shortcutDir, MB_ICONERROR | MB_OK);
    EXPECT_EQ(end.status, "Creating directory : " + shortcutDir);
    ASSERT_FALSE(end.lines.empty());
    EXPECT_EQ(end.lines.back(), "Creating uninstaller");
    EXPECT_TRUE(fileExists(installDir + "Unins.exe")) << "installed until the folder failed";
    end.box.press(IDOK);
    EXPECT_EQ(setup.waitForExit(), 0);
    EXPECT_FALSE(pathExists(installDir));
    expectSameTree(snapshot(programs), programsBefore, "the Programs folder");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortcutDirFailure,
    ::testing::Values(ShortcutDirCase{"FolderExists", "\\TalveraE2E-Exists", "TalveraE2E-Exists"},
                      ShortcutDirCase{"FirstLevelMissing", "\\TalveraE2E-Missing\\Sub", nullptr}),
    [](const ::testing::TestParamInfo<ShortcutDirCase>& info) { return info.param.label; });

// ---------------------------------------------------------------- updates

// An earlier installation in the sandbox's install directory, with its
// shortcuts in a Start-menu folder of the test's own and a log naming both.
struct Earlier {
    std::string installDir;
    std::string shortcutFolder;
    Snapshot tree;
    Snapshot shortcuts;
};

Earlier prepareEarlier(Sandbox& sandbox, const std::string& folderName)
{
    Earlier earlier;
    earlier.installDir = sandbox.install();
    earlier.shortcutFolder = joinPath(programsFolder(), folderName) + "\\";
    removePath(earlier.shortcutFolder);
    sandbox.removeAtEnd(earlier.shortcutFolder);
    makeDirectories(earlier.shortcutFolder);
    for (const char* link : {"Talvera Client.lnk", "Uninstall.lnk"}) {
        Shortcut shortcut;
        shortcut.target = earlier.installDir + "Client.exe";
        shortcut.workingDirectory = earlier.installDir;
        shortcut.description = std::string("earlier ") + link;
        writeShortcut(earlier.shortcutFolder + link, shortcut);
    }
    writeEarlierInstallation(earlier.installDir, earlier.installDir + "\r\n" + earlier.shortcutFolder);
    earlier.tree = snapshot(earlier.installDir);
    earlier.shortcuts = snapshot(earlier.shortcutFolder);
    return earlier;
}

TEST_F(InstallRun, UpdateQuestionNoLeavesTheDirectoryUntouched)
{
    Earlier earlier = prepareEarlier(sandbox(), "TalveraE2E-UpdateNo");
    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, true, earlier.installDir);
    install(wizard, nullptr);
    PageAtBox question = waitForBox(setup, wizard);
    expectBox(question.box, "Question", "A previous version has been found. Do you want to update ?",
              MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(question.status, "Creating directory : " + earlier.installDir);
    EXPECT_TRUE(question.lines.empty()) << ::testing::PrintToString(question.lines);
    question.box.press(IDNO);
    EXPECT_EQ(setup.waitForExit(), 0);
    expectSameTree(snapshot(earlier.installDir), earlier.tree, "the earlier installation");
    expectSameTree(snapshot(earlier.shortcutFolder), earlier.shortcuts, "the earlier shortcuts");
    EXPECT_EQ(listTree(sandbox().temp()).size(), 16u) << "the staged files stay";
}

class Update : public e2e::Test, public ::testing::WithParamInterface<bool> {};

TEST_P(Update, ReplacesTheListedFilesAndKeepsTheRest)
{
    const bool sources = GetParam();
    Earlier earlier = prepareEarlier(sandbox(), "TalveraE2E-Update");
    const std::string unusedFolder = joinPath(programsFolder(), "TalveraE2E-UpdateField");
    sandbox().removeAtEnd(unusedFolder);

    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, sources, earlier.installDir);
    install(wizard, "\\TalveraE2E-UpdateField");
    waitForBox(setup, wizard).box.press(IDYES);

    PageAtBox end = waitForBox(setup, wizard);
    expectBox(end.box, "Information", launchQuestion("Update finished"), MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(end.status, "Update finished");
    EXPECT_EQ(end.bar, 100);
    std::vector<std::string> lines;
    if (sources)
        lines.push_back("Creating sources directories");
    append(lines, copyLines(installedFiles(sources)));
    append(lines, {"Creating uninstaller", "Update finished"});
    EXPECT_EQ(end.lines, lines);
    end.box.press(IDNO);
    EXPECT_EQ(setup.waitForExit(), 0);

    // The earlier log stays as it was, byte for byte.
    Snapshot expected = keptByUpdate(earlier.tree);
    for (const auto& [path, bytes] : installedTree(sources, ""))
        expected[path] = bytes;
    expectSameTree(snapshot(earlier.installDir), expected, "the updated installation");
    expectSameTree(snapshot(earlier.shortcutFolder), earlier.shortcuts, "the earlier shortcuts");
    EXPECT_FALSE(pathExists(unusedFolder)) << "an update makes no shortcuts";
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << ::testing::PrintToString(listTree(sandbox().temp()));
}

INSTANTIATE_TEST_SUITE_P(Cases, Update, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "SourcesOn" : "SourcesOff";
                         });

TEST_F(InstallRun, UpdateWithTheClientHeldOpenWarnsOnceAndFinishes)
{
    Earlier earlier = prepareEarlier(sandbox(), "TalveraE2E-Held");
    const std::string client = earlier.installDir + "Client.exe";
    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, false, earlier.installDir);
    Held held(client);
    install(wizard, nullptr);
    waitForBox(setup, wizard).box.press(IDYES);

    PageAtBox warning = waitForBox(setup, wizard);
    expectBox(warning.box, "Error", "Can't copy Client.exe", MB_ICONWARNING | MB_OK);
    EXPECT_EQ(warning.status, "Copying : Client.exe");
    warning.box.press(IDOK);

    PageAtBox end = waitForBox(setup, wizard);
    expectBox(end.box, "Information", launchQuestion("Update finished"), MB_ICONQUESTION | MB_YESNO);
    EXPECT_EQ(end.status, "Update finished");
    EXPECT_EQ(end.bar, 100);
    EXPECT_EQ(end.lines, (std::vector<std::string>{"Copying : changelog.txt", "Copying : gpl.txt",
                                                   "Creating uninstaller", "Update finished"}));
    end.box.press(IDNO);
    EXPECT_EQ(setup.waitForExit(), 0);
    held.release();

    EXPECT_EQ(readFile(client), "earlier Client.exe");
    EXPECT_EQ(listTree(sandbox().temp()), (std::vector<std::string>{"Client.exe"})) << "its staged copy stays";
    EXPECT_TRUE(readFile(sandbox().temp() + "Client.exe") == readFile(payload()[0].hostPath));
    EXPECT_TRUE(readFile(earlier.installDir + "gpl.txt") == readFile(payload().back().hostPath));
    EXPECT_TRUE(readFile(earlier.installDir + "Unins.exe") == readFile(setupExe()));
}

// ---------------------------------------------------------------- a source file that can't be copied

const char* const kUncopyable = "ClientInclude.cpp";

// The pack's files before the one that can't be copied.
std::vector<PayloadFile> copiedBeforeFailure()
{
    std::vector<PayloadFile> before;
    for (const PayloadFile& file : payload()) {
        if (file.name == kUncopyable)
            return before;
        before.push_back(file);
    }
    throw Failure(std::string("the payload has no ") + kUncopyable);
}

// The staged copy is the copy's source: held open without sharing, it
// can't be read. The box is answered once the test has let go of what it
// holds, so that the run's clean-up could delete any of it.
void failOnUncopyableSource(Program& setup, const Window& wizard, const std::vector<Held*>& holds,
                            const std::vector<std::string>& linesBefore, const std::string& installDir)
{
    PageAtBox failure = waitForBox(setup, wizard);
    expectBox(failure.box, "Error", std::string("Can't copy ") + kUncopyable, MB_ICONERROR | MB_OK);
    std::vector<std::string> lines = linesBefore;
    append(lines, copyLines(copiedBeforeFailure()));
    EXPECT_EQ(failure.lines, lines);
    for (const PayloadFile& file : copiedBeforeFailure())
        EXPECT_TRUE(fileExists(installDir + file.targetSubdir + file.name)) << "copied before the failure: " << file.name;
    for (Held* held : holds)
        held->release();
    failure.box.press(IDOK);
    EXPECT_EQ(setup.waitForExit(), 0);
}

TEST_F(InstallRun, SourceCopyFailureOnAFreshInstallRemovesEverything)
{
    const std::string installDir = sandbox().install();
    const std::string folder = joinPath(programsFolder(), "TalveraE2E-Rollback");
    sandbox().removeAtEnd(folder);
    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, true, installDir);
    Held staged(sandbox().temp() + kUncopyable);
    install(wizard, "\\TalveraE2E-Rollback");
    failOnUncopyableSource(setup, wizard, {&staged},
                           {"Creating directory : " + installDir, "Creating sources directories"}, installDir);
    EXPECT_FALSE(pathExists(installDir)) << ::testing::PrintToString(listTree(installDir));
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << ::testing::PrintToString(listTree(sandbox().temp()));
    EXPECT_FALSE(pathExists(folder));
}

// During an update the run takes back only what it wrote. Two things that
// the update's deletions can't remove are there before the run, held open
// by the test so that others may read and write but not delete them: the
// earlier src\inc\ClientConst.cpp (so src and src\inc stay too, and the
// run copies over that file) and the directory setup, emptied by the
// update. The run finds all of them there and must leave them, while it
// removes the directory it made (src\res) and the files it copied that were
// not there before.
TEST_F(InstallRun, SourceCopyFailureDuringAnUpdateRemovesOnlyWhatTheRunWrote)
{
    Earlier earlier = prepareEarlier(sandbox(), "TalveraE2E-UpdateRollback");
    Held overwritten(earlier.installDir + "src\\inc\\ClientConst.cpp", Held::ReadWrite);
    Held setupDir(earlier.installDir + "setup", Held::ReadWrite);
    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, true, earlier.installDir);
    Held staged(sandbox().temp() + kUncopyable);
    install(wizard, nullptr);
    waitForBox(setup, wizard).box.press(IDYES);
    failOnUncopyableSource(setup, wizard, {&staged, &overwritten, &setupDir}, {"Creating sources directories"},
                           earlier.installDir);

    Snapshot expected = keptByUpdate(earlier.tree);
    for (const char* dir : {"src\\", "src\\inc\\", "setup\\"})
        expected[dir] = kDirectory;
    expected["src\\inc\\ClientConst.cpp"] = readFile(payload()[2].hostPath);
    expectSameTree(snapshot(earlier.installDir), expected, "the earlier installation after the failed update");
    expectSameTree(snapshot(earlier.shortcutFolder), earlier.shortcuts, "the earlier shortcuts");
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << ::testing::PrintToString(listTree(sandbox().temp()));
}


// A drive that fills up during an update: the copy of a source file fails
// part-way and leaves its new target behind, which is the run's to take
// back with the rest. T: is a 64 KB disk of its own (scripts/test.sh mounts
// it when run as root); without it the test is skipped.
TEST_F(InstallRun, SourceCopyFailureOnAFullDiskDuringAnUpdateLeavesNothingOfTheRun)
{
    const std::string root = "T:\\";
    ULARGE_INTEGER available = {}, total = {};
    if (!GetDiskFreeSpaceExA(root.c_str(), &available, &total, nullptr))
        GTEST_SKIP() << "no small disk mapped as T: (scripts/test.sh mounts a 64 KB tmpfs there when run as root)";
    ASSERT_LT(total.QuadPart, 1024u * 1024u) << "T: is not the small disk this test fills";
    const std::string installDir = root + "e2e-install\\";
    const std::string filler = root + "e2e-install-filler";
    for (const std::string& path : {installDir, filler}) {
        removePath(path);
        sandbox().removeAtEnd(path);
    }
    writeFile(installDir + "notes.txt", "the user's notes");
    writeFile(installDir + "Install.log", "earlier log");
    const Snapshot earlier = snapshot(installDir);
    // Room for the client and one page more: a source file's copy fails soon after.
    ASSERT_TRUE(GetDiskFreeSpaceExA(root.c_str(), &available, nullptr, nullptr)) << root;
    const long long room = (fileSize(payload()[0].hostPath) + 4095) / 4096 * 4096 + 4096;
    ASSERT_GT((long long)available.QuadPart, room) << root << " has too little room left";
    writeFile(filler, std::string((size_t)(available.QuadPart - room), '\0'));

    Program& setup = start(setupExe());
    Window wizard = walkToShortcutPage(setup, true, installDir);
    install(wizard, nullptr);
    waitForBox(setup, wizard).box.press(IDYES);
    PageAtBox failure = waitForBox(setup, wizard);
    for (; failure.box.flags() == (MB_ICONWARNING | MB_OK); failure = waitForBox(setup, wizard))
        failure.box.press(IDOK);  // a file of the main program that did not fit either
    EXPECT_EQ(failure.box.title, "Error");
    EXPECT_EQ(failure.box.text.rfind("Can't copy ", 0), 0u) << failure.box.describe();
    EXPECT_EQ(failure.box.flags(), MB_ICONERROR | MB_OK) << failure.box.describe();
    const std::string failed = failure.box.text.substr(strlen("Can't copy "));
    for (const PayloadFile& file : payload())
        if (file.name == failed)
            printf("[e2e] at the failure, %s%s is %s\n", file.targetSubdir.c_str(), file.name.c_str(),
                   fileExists(installDir + file.targetSubdir + file.name) ? "there" : "not there");
    failure.box.press(IDOK);
    EXPECT_EQ(setup.waitForExit(), 0);
    expectSameTree(snapshot(installDir), earlier, "the earlier installation after the failed update");
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << ::testing::PrintToString(listTree(sandbox().temp()));
}

}  // namespace
