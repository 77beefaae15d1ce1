// The setup program's main sequence: entry and mode, the wizard loop, the
// installation run and the uninstall run.
#include "Setup.h"

#include <shlobj.h>
#include <stdlib.h>

#include <new>

#include "../pack/PackReader.h"
#include "../platform/Platform.h"

InstallerState state;

void ResetInstallerState() {
    StagedListClear(state.stagedFiles);
    state.~InstallerState();
    new (&state) InstallerState();
    state.stagedFiles = StagedList{nullptr, 0, 0, -1};
}

// ------------------------------------------------------------------ start-up

void StartUp() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    GetCommandLineA();  // fetched with the start-up values; the program reads no arguments
    ResetInstallerState();
    state.instance = instance;
    PlatformStart(instance);
    // A banner that cannot be decoded leaves its handle 0 and an empty picture.
    state.sideImage = ImageDecodePng(imageSide, SideBannerStart, (int)(SideBannerEnd - SideBannerStart));
    state.headerImage =
        ImageDecodePng(imageHeader, HeaderBannerStart, (int)(HeaderBannerEnd - HeaderBannerStart));
    state.currentDir = QueryCurrentDirectory();
}

int IsUninstallMode() {
    // A file of any size, or a directory, named Client.exe marks the
    // client's own directory.
    return FileSize(state.currentDir + "Client.exe") != -1;
}

void EndProgram() {
    PlatformRelease();
    PackReader::close();
    ExitProcess(0);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    StartUp();
    if (IsUninstallMode()) {
        RunUninstall();
    } else {
        StagePayload();
        OpenWizardWindow();
        RunWizardLoop();
    }
    EndProgram();
    return 0;
}

// ------------------------------------------------------------------ wizard

namespace {

const char* const productName = "Talvera";

void BuildLicencePage() {
    ControlFree(imgSide);
    ControlFree(imgWelcome);
    ControlFree(boxWelcome);
    const int shown[] = {imgHeader, edtLicense, txtPrompt, optAgree, optDisagree, frmHeader, txtCopyright};
    for (int control : shown) ControlHide(control, 0);
    // The licence gate of the loop enables Next once "I agree" is selected.
    ControlDisable(btnNext, 1);
    if (FileOpenRead(fileLicence, state.tempDir + "gpl.txt")) {
        while (!(state.endOfFile = FileEof(fileLicence)))
            ControlAddItem(edtLicense, -1, FileReadLine(fileLicence));
        FileClose(fileLicence);
    }
    // Appending leaves the caret at the end; the reader starts at the top.
    HWND editor = ControlHandle(edtLicense);
    if (editor) {
        SendMessageA(editor, EM_SETSEL, 0, 0);
        SendMessageA(editor, EM_SCROLLCARET, 0, 0);
    }
}

void BuildComponentsPage() {
    ControlSetText(txtPrompt, "Select elements that setup will install :");
    ControlFree(edtLicense);
    ControlFree(optAgree);
    ControlFree(optDisagree);
    CheckBoxCreate(chkMain, 30, 130, 442, 20, "Main program");
    CheckBoxCreate(chkSources, 30, 160, 422, 20, "Sources");
    ControlSetState(chkMain, 1);
    ControlDisable(chkMain, 1);
}

bool IsSourceFile(const StagedFile& file) {
    return file.sourcePath.find("src") >= 0 || file.sourcePath.find("setup") >= 0;
}

// Unchosen sources leave the temporary directory and the list; chosen ones
// get the subdirectory they are installed into, the tail of their source
// directory from "src" (or else "setup") on.
void FilterComponents() {
    StagedList& list = state.stagedFiles;
    StagedListReset(list);
    while (StagedListNext(list)) {
        StagedFile& file = *StagedListCurrent(list);
        if (!IsSourceFile(file)) continue;
        if (ControlGetState(chkSources) == 0) {
            DeleteFileAt(state.tempDir + file.name);
            StagedListDeleteCurrent(list);
            continue;
        }
        state.installSources = 1;
        state.markerPos = file.sourcePath.find("src") + 1;
        if (state.markerPos == 0) state.markerPos = file.sourcePath.find("setup") + 1;
        file.targetSubdir = file.sourcePath.mid(state.markerPos - 1);
    }
}

void BuildInstallDirectoryPage() {
    FilterComponents();
    ControlFree(chkMain);
    ControlFree(chkSources);
    ControlFree(txtPrompt);
    state.defaultBaseDir = SpecialFolderPath(CSIDL_PROGRAM_FILES);
    if (state.defaultBaseDir.empty()) state.defaultBaseDir = SpecialFolderPath(CSIDL_DESKTOP).left(3);
    FieldCreate(fldInstallDir, 30, 150, 442, 20, (state.defaultBaseDir + productName).c_str());
    FolderTreeCreate(treeInstallDir, 30, 190, 442, 100, state.defaultBaseDir, 0x0D000241);
    ControlHide(txtInstallDir, 0);
}

void BuildShortcutFolderPage() {
    state.installDir = ControlGetText(fldInstallDir);
    if (state.installDir.empty()) {
        state.currentPage--;  // the increment after the handler keeps this page
        MessageBoxShow("Error", "Enter a directory !", MB_ICONERROR | MB_OK);
    } else {
        ControlFree(txtInstallDir);
        ControlFree(fldInstallDir);
        ControlFree(treeInstallDir);
        ControlHide(txtShortcutDir, 0);
        ControlHide(fldShortcutDir, 0);
        if (state.installDir.last() != '\\') state.installDir += "\\";
    }
    ControlSetText(btnNext, "Install");
}

void OnNext() {
    switch (state.currentPage) {
    case Welcome: BuildLicencePage(); break;
    case Licence: BuildComponentsPage(); break;
    case Components: BuildInstallDirectoryPage(); break;
    case InstallDirectory: BuildShortcutFolderPage(); break;
    case ShortcutFolder: RunInstallation(); break;
    }
    state.currentPage++;
}

// The field holds the tree's folder followed by the product name; a change
// of either is mirrored into the other. The tree reports the program's own
// selections too, so the echo of a typed path is swallowed once.
void OnTreeChanged() {
    state.eventType = EventType();
    if (state.eventType != EVENT_TYPE_CHANGE) return;
    if (state.treeEchoPending == 0)
        ControlSetText(fldInstallDir, ControlGetText(treeInstallDir) + productName);
    else
        state.treeEchoPending = 0;
}

void OnInstallDirTyped() {
    state.eventType = EventType();
    if (state.eventType != EVENT_TYPE_CHANGE) return;
    state.typedDir = ControlGetText(fldInstallDir);
    if (state.typedDir.endsWith(productName))
        state.typedDir = state.typedDir.left(state.typedDir.length() - 7);
    ControlSetText(treeInstallDir, state.typedDir);
    state.treeEchoPending = 1;
}

void DispatchControlEvent() {
    switch (state.eventControl) {
    case btnCancel: AbortInstall(); break;
    case treeInstallDir: OnTreeChanged(); break;
    case fldInstallDir: OnInstallDirTyped(); break;
    case btnNext: OnNext(); break;
    default: break;
    }
}

void ApplyLicenceGate() {
    if (ControlExists(optAgree) && state.currentPage != Welcome)
        ControlDisable(btnNext, ControlGetState(optAgree) == 1 ? 0 : 1);
}

// Polls until the user closes the window or the installation is over.
void PollUntilCloseOrFinished() {
    for (;;) {
        Sleep(1);
        ApplyLicenceGate();
        state.lastEvent = EventPoll();
        if (state.lastEvent == EVENT_CONTROL) {
            state.eventControl = EventControl();
            DispatchControlEvent();
        }
        if (state.lastEvent == EVENT_CLOSE || state.finished == 1) return;
    }
}

}  // namespace

void RunWizardLoop() {
    state.currentPage = Welcome;
    for (;;) {
        PollUntilCloseOrFinished();
        if (state.finished == 1) return;
        AbortInstall();  // the close box; on No the wizard goes on as it was
    }
}

void AbortInstall() {
    state.abortAnswer = MessageBoxShow("Caution", "Do you want to abort Talvera install ?",
                                       MB_ICONWARNING | MB_YESNO);
    if (state.abortAnswer != IDYES) return;
    DeleteStagedFiles();
    EndProgram();
}

// ------------------------------------------------------------------ installation

namespace {

const char* const sourceExtension = ".cpp";

// The run polls no events; each step paints its progress itself.
void ShowStatus(const Text& text) {
    ControlSetText(txtStatus, text);
    WindowRefresh(wndWizard);
}

void AddLogLine(const Text& text) {
    ControlAddItem(lstLog, -1, text);
    WindowRefresh(wndWizard);
}

void Fail(const Text& text, int flags) {
    MessageBoxShow("Error", text, flags);
    EndProgram();
}

// What this run wrote into an install directory that existed before it, so
// that a failed update can take back exactly that and nothing else.
struct RunRecord {
    Text* paths;
    int count;
    int capacity;
};
RunRecord writtenFiles, createdDirectories;

void Remember(RunRecord& record, const Text& path) {
    if (record.count == record.capacity) {
        int grown = record.capacity ? record.capacity * 2 : 32;
        Text* paths = (Text*)realloc((void*)record.paths, sizeof(Text) * grown);
        if (!paths) return;
        record.paths = paths;
        record.capacity = grown;
    }
    new (&record.paths[record.count++]) Text(path);
}

void UndoUpdateWrites() {
    for (int i = writtenFiles.count - 1; i >= 0; i--) DeleteFileAt(writtenFiles.paths[i]);
    for (int i = createdDirectories.count - 1; i >= 0; i--)
        RemoveDirectoryA(createdDirectories.paths[i].c_str());
}

void MakeDirectoryRemembered(const Text& path) {
    if (MakeDirectory(path)) Remember(createdDirectories, path);
}

void SetupShortcutFolder() {
    state.shortcutName = ControlGetText(fldShortcutDir);
    ControlFree(txtShortcutDir);
    ControlFree(fldShortcutDir);
    if (state.shortcutName.empty()) return;
    state.programsDir = SpecialFolderPath(CSIDL_PROGRAMS);
    if (state.shortcutName.last() != '\\') state.shortcutName += "\\";
    // Plain concatenation: the default "\Talvera" keeps its doubled separator.
    state.shortcutDir = state.programsDir + state.shortcutName;
}

void DeleteEarlierInstallation() {
    const Text& dir = state.installDir;
    DeleteFileAt(dir + "Client.exe");
    const char* const sources[] = {"ClientMain", "ClientInclude", "SetupPack", "SetupMain", "SetupInclude"};
    for (const char* source : sources) DeleteFileAt(dir + source + sourceExtension);
    const char* const others[] = {"Changelog.txt", "Unins.exe", "Talvera.wav", "gpl.txt"};
    for (const char* other : others) DeleteFileAt(dir + other);
    RemoveDirectoryTree(dir + "src\\", "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    RemoveDirectoryTree(dir + "setup\\", "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
}

// Creates the install directory, or offers to update the installation that
// is there. Ends the program when neither happens.
void PrepareInstallDirectory() {
    ShowStatus("Creating directory : " + state.installDir);
    if (MakeDirectory(state.installDir)) {
        AddLogLine("Creating directory : " + state.installDir);
        return;
    }
    state.installDirSize = FileSize(state.installDir);
    if (state.installDirSize != -2) Fail("Can't create directory " + state.installDir, MB_ICONERROR | MB_OK);
    state.updateAnswer = MessageBoxShow(
        "Question", "A previous version has been found. Do you want to update ?", MB_ICONQUESTION | MB_YESNO);
    if (state.updateAnswer != IDYES) EndProgram();
    DeleteEarlierInstallation();
}

void CreateSourceDirectories() {
    ShowStatus("Creating sources directories");
    const char* const subdirs[] = {"src\\", "setup\\", "src\\inc\\", "src\\res\\"};
    for (const char* subdir : subdirs) MakeDirectoryRemembered(state.installDir + subdir);
    AddLogLine("Creating sources directories");
}

void FailSourceCopy(const Text& name) {
    MessageBoxShow("Error", "Can't copy " + name, MB_ICONERROR | MB_OK);
    if (state.updateAnswer == IDYES)
        UndoUpdateWrites();
    else
        RemoveDirectoryTree(state.installDir, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    DeleteStagedFiles();
    EndProgram();
}

void CopyStagedFiles() {
    StagedList& list = state.stagedFiles;
    StagedListReset(list);
    for (state.fileIndex = 1; state.fileIndex <= state.stagedCount && StagedListNext(list); state.fileIndex++) {
        const StagedFile& file = *StagedListCurrent(list);
        ShowStatus("Copying : " + file.name);
        Text target = state.installDir + file.targetSubdir + file.name;
        // Remembered before copying: a copy that fails part-way (a full
        // disk) leaves a new target behind, and it is this run's too.
        if (FileSize(target) == -1) Remember(writtenFiles, target);
        if (CopyFileTo(state.tempDir + file.name, target)) {
            AddLogLine("Copying : " + file.name);
            ControlSetState(barProgress, ControlGetState(barProgress) + state.stepPercent);
            DeleteFileAt(state.tempDir + file.name);
        } else if (file.targetSubdir.empty()) {
            // A file of the main program, say a running Client.exe: warn and go on.
            MessageBoxShow("Error", "Can't copy " + file.name, MB_ICONWARNING | MB_OK);
        } else {
            FailSourceCopy(file.name);
        }
    }
}

void CreateUninstaller() {
    ShowStatus("Creating uninstaller");
    if (!CopyFileTo(QueryProgramPath(), state.installDir + "Unins.exe"))
        Fail("Can't create uninstaller", MB_ICONERROR | MB_OK);
    AddLogLine("Creating uninstaller");
}

void FailShortcut(const char* text) {
    MessageBoxShow("Error", text, MB_OK);
    RemoveDirectoryTree(state.installDir, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    RemoveDirectoryTree(state.shortcutDir, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    EndProgram();
}

void CreateShortcuts() {
    ShowStatus("Creating directory : " + state.shortcutDir);
    if (!MakeDirectory(state.shortcutDir)) {
        MessageBoxShow("Error", "Can't create directory " + state.shortcutDir, MB_ICONERROR | MB_OK);
        RemoveDirectoryTree(state.installDir, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
        EndProgram();
    }
    AddLogLine("Creating directory : " + state.shortcutDir);

    ShowStatus("Creating shortcut");
    if (!CreateShellLink(state.installDir + "Client.exe", state.shortcutDir + "Talvera Client.lnk", "",
                         "Launch Talvera Client", state.installDir, SW_SHOWNORMAL, 0, "", 0))
        FailShortcut("Can't create shortcut");
    AddLogLine("Creating shortcut");

    ShowStatus("Creating shortcut for uninstall");
    if (!CreateShellLink(state.installDir + "Unins.exe", state.shortcutDir + "Uninstall.lnk", "",
                         "Uninstall Talvera Client", state.installDir, SW_SHOWNORMAL, 0, "", 0))
        FailShortcut("Can't create shortcut for uninstall");
    AddLogLine("Creating shortcut for uninstall");
    ControlSetState(barProgress, 100);
}

int FinishUpdate() {
    ControlSetState(barProgress, 100);
    ShowStatus("Update finished");
    AddLogLine("Update finished");
    return MessageBoxShow("Information", "Update finished. Do you want to launch Talvera Client ?",
                          MB_ICONQUESTION | MB_YESNO);
}

int FinishInstall() {
    if (!state.shortcutDir.empty()) CreateShortcuts();
    AddLogLine("Install finished");
    ShowStatus("Install finished");
    if (!WriteInstallLog(state.installDir, state.shortcutDir))
        MessageBoxShow("Error", "Can't write install log", MB_ICONERROR | MB_OK);
    return MessageBoxShow("Information", "Install finished. Do you want to launch Talvera Client ?",
                          MB_ICONQUESTION | MB_YESNO);
}

}  // namespace

void DeleteStagedFiles() {
    StagedList& list = state.stagedFiles;
    StagedListReset(list);
    while (StagedListNext(list)) DeleteFileAt(state.tempDir + StagedListCurrent(list)->name);
}

void RunInstallation() {
    SetupShortcutFolder();
    const int installingControls[] = {txtStatus, barProgress, lstLog};
    for (int control : installingControls) ControlHide(control, 0);

    PrepareInstallDirectory();
    if (state.installSources == 1) CreateSourceDirectories();
    ControlSetState(barProgress, 10);

    state.stagedCount = StagedListCount(state.stagedFiles);
    state.stepCount = state.stagedCount + 1 + (state.updateAnswer == IDYES ? 0 : 1);
    state.stepPercent = 100 / state.stepCount;
    CopyStagedFiles();
    CreateUninstaller();

    state.launchAnswer = state.updateAnswer == IDYES ? FinishUpdate() : FinishInstall();
    if (state.launchAnswer != IDYES) EndProgram();
    ShellStart(state.installDir + "Client.exe", "", state.installDir, SW_SHOWNORMAL);
    state.finished = 1;
}

// ------------------------------------------------------------------ uninstallation

namespace {

// A log line that names no directory, or a whole drive or share, can only
// come from a damaged or edited log: removing trees or every file below it
// would reach far beyond the installation. The line is judged by the
// directory the system makes of it, so "C:\\" and "C:\windows\..\" are roots
// too.
bool IsDriveRootOrEmpty(const Text& dir) {
    if (dir.empty()) return true;
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(dir.c_str(), MAX_PATH, full, nullptr);
    if (length == 0) return true;
    if (length >= MAX_PATH) return false;  // far longer than any root
    if (full[1] == ':') return length <= 3;
    if (full[0] != '\\' || full[1] != '\\') return false;
    // "\\server\share\": no more than two names after the leading pair.
    int names = 0;
    for (int i = 2; full[i]; i++)
        if (full[i] != '\\' && full[i - 1] == '\\') names++;
    return names <= 2;
}

void DeleteInstalledFiles() {
    const char* const installed[] = {"Client.exe", "Changelog.txt", "Client.exe.manifest",
                                     "Talvera.wav", "gpl.txt", "lang.lng"};
    for (const char* name : installed) DeleteFileAt(state.logInstallDir + name);
    if (state.keepConfig == IDNO) DeleteFileAt(state.logInstallDir + "servers.list");
}

void DeleteShortcuts() {
    DeleteFileAt(state.logShortcutDir + "Talvera Client.lnk");
    DeleteFileAt(state.logShortcutDir + "Uninstall.lnk");
}

// cmd expands %NAME% even inside quotes; a literal percent sign is %%.
Text BatchQuoted(const Text& path) {
    Text quoted("\"");
    for (int i = 0; i < path.length(); i++) {
        if (path[i] == '%') quoted += '%';
        quoted += path[i];
    }
    return quoted + "\"";
}

// Writes the batch that removes the program file once this process has
// ended, and the install directory when nothing is kept. 1 when written.
int WriteSelfRemovalBatch(const Text& programPath) {
    if (!FileCreate(fileBatch, "C:\\talvera.bat")) return 0;
    FileWriteLine(fileBatch, "@echo off");
    FileWriteLine(fileBatch, ":loop");
    FileWriteLine(fileBatch, "del " + BatchQuoted(programPath));
    FileWriteLine(fileBatch, "if exist " + BatchQuoted(programPath) + " goto loop");
    if (state.keepConfig == IDNO) FileWriteLine(fileBatch, "rd " + BatchQuoted(state.currentDir));
    FileWriteText(fileBatch, "del C:\\talvera.bat");
    FileClose(fileBatch);
    return 1;
}

}  // namespace

void RunUninstall() {
    state.uninstallAnswer = MessageBoxShow("Question", "Do you want to uninstall Talvera Client ?",
                                           MB_ICONQUESTION | MB_YESNO);
    if (state.uninstallAnswer != IDYES) EndProgram();

    if (!FileOpenRead(fileUninstallLog, "install.log")) Fail("Can't read uninstall informations !", MB_ICONERROR | MB_OK);
    state.logInstallDir = FileReadLine(fileUninstallLog);
    state.logShortcutDir = FileReadLine(fileUninstallLog);
    FileClose(fileUninstallLog);
    if (IsDriveRootOrEmpty(state.logInstallDir)) Fail("Can't read uninstall informations !", MB_ICONERROR | MB_OK);
    DeleteFileAt(state.logInstallDir + "install.log");

    state.keepConfig = MessageBoxShow("Question", "Do you want to keep configuration ?", MB_ICONQUESTION | MB_YESNO);
    DeleteInstalledFiles();
    DeleteShortcuts();
    RemoveDirectoryTree(state.logInstallDir + "src\\", "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    RemoveDirectoryTree(state.logInstallDir + "setup\\", "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    if (!IsDriveRootOrEmpty(state.logShortcutDir)) RemoveDirectoryTree(state.logShortcutDir, "*.*", 0);

    Text programPath = QueryProgramPath();
    // A read-only program file (copied from read-only media) would keep the
    // batch's deletion loop spinning forever.
    SetFileAttributesA(programPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!WriteSelfRemovalBatch(programPath)) {
        MessageBoxShow("Information", "Uninstall finished. Delete Talvera Client directory " + state.currentDir,
                       MB_ICONINFORMATION | MB_OK);
        EndProgram();
    }
    ShellStart("C:\\talvera.bat", "", "C:\\", SW_HIDE);
    MessageBoxShow("Information", "Uninstall finished.", MB_ICONINFORMATION | MB_OK);
    EndProgram();
}
