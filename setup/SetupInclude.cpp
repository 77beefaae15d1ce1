// Procedures that the main sequence calls: the staged-file list, the path
// queries, the windows, staging, the shell link and the install log.
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include "../pack/PackReader.h"
#include "../platform/Platform.h"
#include "Setup.h"

// ------------------------------------------------------------------ staged files

void StagedListAppend(StagedList& list, const Text& name, const Text& sourcePath, const Text& targetSubdir) {
    if (list.count == list.capacity) {
        int grown = list.capacity ? list.capacity * 2 : 16;
        StagedFile** items = (StagedFile**)realloc(list.items, sizeof(StagedFile*) * grown);
        if (!items) return;
        list.items = items;
        list.capacity = grown;
    }
    StagedFile* file = (StagedFile*)malloc(sizeof(StagedFile));
    if (!file) return;
    new (file) StagedFile{name, sourcePath, targetSubdir};
    list.items[list.count] = file;
    list.cursor = list.count;
    list.count++;
}

void StagedListReset(StagedList& list) { list.cursor = -1; }

bool StagedListNext(StagedList& list) {
    if (list.cursor + 1 >= list.count) {
        list.cursor = list.count;
        return false;
    }
    list.cursor++;
    return true;
}

StagedFile* StagedListCurrent(StagedList& list) {
    if (list.cursor < 0 || list.cursor >= list.count) return nullptr;
    return list.items[list.cursor];
}

void StagedListDeleteCurrent(StagedList& list) {
    StagedFile* file = StagedListCurrent(list);
    if (!file) return;
    file->~StagedFile();
    free(file);
    for (int i = list.cursor; i + 1 < list.count; i++) list.items[i] = list.items[i + 1];
    list.count--;
    list.cursor--;
}

int StagedListCount(const StagedList& list) { return list.count; }

void StagedListClear(StagedList& list) {
    for (int i = 0; i < list.count; i++) {
        list.items[i]->~StagedFile();
        free(list.items[i]);
    }
    free(list.items);
    list = StagedList{nullptr, 0, 0, -1};
}

// ------------------------------------------------------------------ path queries

namespace {

enum { PATH_BUFFER = 255 };

// A query that failed stays empty rather than becoming a bare "\".
Text withFinalBackslash(const Text& path) {
    if (path.empty() || path.last() == '\\') return path;
    return path + "\\";
}

// Runs a Win32 query that fills a buffer and returns the length it needs,
// first into the usual 255 characters and, for a longer path, into a buffer
// of the size the query asked for, so a deep directory is never cut short.
template <typename Query>
Text queryIntoBuffer(Query query) {
    char small[PATH_BUFFER];
    DWORD needed = query(small, PATH_BUFFER);
    if (needed == 0) return Text();
    if (needed < PATH_BUFFER) return Text(small);
    char* large = (char*)malloc(needed + 1);
    if (!large) return Text();
    DWORD got = query(large, needed + 1);
    Text result = (got > 0 && got <= needed) ? Text(large) : Text();
    free(large);
    return result;
}

}  // namespace

Text QueryCurrentDirectory() {
    return withFinalBackslash(
        queryIntoBuffer([](char* buffer, DWORD size) { return GetCurrentDirectoryA(size, buffer); }));
}

Text QueryTempDirectory() {
    return withFinalBackslash(
        queryIntoBuffer([](char* buffer, DWORD size) { return GetTempPathA(size, buffer); }));
}

Text QueryProgramPath() {
    // GetModuleFileNameA returns the size of the buffer when the name was cut.
    DWORD size = PATH_BUFFER;
    for (;;) {
        char* buffer = (char*)malloc(size);
        if (!buffer) return Text();
        DWORD got = GetModuleFileNameA(nullptr, buffer, size);
        if (got < size) {
            Text path(buffer, (int)got);
            free(buffer);
            return path;
        }
        free(buffer);
        if (size >= 32768) return Text();
        size *= 2;
    }
}

Text SpecialFolderPath(int csidl) {
    char buffer[MAX_PATH];
    LPITEMIDLIST items = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, csidl, &items) != S_OK) return Text();
    if (!SHGetPathFromIDListA(items, buffer)) {
        CoTaskMemFree(items);
        return Text();
    }
    int length = (int)strlen(buffer);
    while (length > 0 && buffer[length - 1] == ' ') length--;
    CoTaskMemFree(items);
    Text path(buffer, length);
    if (path.empty() || path.last() != '\\') path += "\\";
    return path;
}

// ------------------------------------------------------------------ windows

void OpenWaitWindow() {
    // The position passed is overridden by the centring flag.
    if (!WindowOpen(wndWait, 353, 360, 150, 50, WINDOW_CENTRE_SCREEN, "Please wait...")) return;
    TextCreate(txtWait, 10, 10, 130, 20, "Please wait...");
    TextCreate(txtPreparing, 10, 30, 130, 20, "Preparing install...");
}

namespace {

// The welcome picture's lines are drawn with trailing spaces: each text
// sits on a white cell as wide as the text, so the spaces widen the white
// band across the black picture.
Text padded(const char* text, int length) {
    Text line(text);
    while (line.length() < length) line += ' ';
    return line;
}

void drawWelcomeTexts() {
    DrawingFont(fontTitle);
    DrawingMoveTo(0, 0);
    DrawingText(padded("Welcome in the installation of", 37));
    DrawingMoveTo(0, 24);
    DrawingText(padded("Talvera", 56));
    DrawingFont(fontBody);
    DrawingMoveTo(0, 48);
    DrawingText(padded("This wizard will help during the installaton of Talvera", 66));
    DrawingMoveTo(0, 64);
    DrawingText(padded("release 2.30 Client on you computer", 73));
    for (int y = 80; y <= 314; y += 16) {
        DrawingMoveTo(0, y);
        DrawingText(padded("", 88));
    }
}

}  // namespace

void OpenWizardWindow() {
    // Flags: centred on the screen; caption, system menu and minimise box.
    if (!WindowOpen(wndWizard, 298, 148, 502, 369, 0xCA0001, "Installation")) return;

    ContainerCreate(boxWelcome, 164, 0, 338, 314);
    HBITMAP welcome = ImageCreateBlank(imageWelcome, 338, 314);
    if (welcome) {
        FontLoad(fontTitle, "Arial", 16, 1);
        FontLoad(fontBody, "Arial", 10, 0);
        if (DrawingStart(imageWelcome)) {
            drawWelcomeTexts();
            DrawingStop();
        }
    }
    ImageCreate(imgWelcome, 0, 0, 338, 314, welcome);
    ContainerEnd();

    // The frames reach past the client area on three sides: only their
    // bottom edges show, as separator lines.
    FrameCreate(frmHeader, -5, -5, 530, 107, "");
    FrameCreate(frmBody, -5, -5, 530, 319, "");
    TextCreate(txtCopyright, 5, 306, 140, 20, "(c) The Talvera authors");
    ImageCreate(imgSide, 0, 0, 164, 314, state.sideImage);
    ImageCreate(imgHeader, 0, 0, 500, 100, state.headerImage);
    ButtonCreate(btnCancel, 412, 330, 73, 21, "Cancel");
    ButtonCreate(btnNext, 322, 330, 73, 21, "Next >");
    EditorCreate(edtLicense, 30, 130, 442, 140);
    TextCreate(txtPrompt, 30, 110, 442, 20, "Read license :");
    OptionCreate(optAgree, 30, 275, 442, 15, "I agree");
    OptionCreate(optDisagree, 30, 290, 442, 15, "I don't agree");
    TextCreate(txtInstallDir, 30, 110, 442, 20, "Choose directory where you want to install Talvera Client :");
    TextCreate(txtShortcutDir, 30, 110, 442, 20,
               "Choose directory where you want to install shortcuts : (leave blank if not)");
    FieldCreate(fldShortcutDir, 30, 150, 442, 20, "\\Talvera");
    TextCreate(txtStatus, 30, 110, 442, 20, "Installing");
    ProgressBarCreate(barProgress, 30, 140, 442, 20, 0, 100, 1);
    ListBoxCreate(lstLog, 30, 170, 442, 109);

    // The later pages show these; the welcome page does not.
    ControlHide(imgHeader, 1);
    ControlHide(frmHeader, 1);
    ControlHide(txtCopyright, 1);
    ControlDisable(txtCopyright, 1);
    const int laterControls[] = {edtLicense,     txtPrompt,      optAgree,  optDisagree, txtInstallDir,
                                 txtShortcutDir, fldShortcutDir, txtStatus, barProgress, lstLog};
    for (int control : laterControls) ControlHide(control, 1);

    HWND licence = ControlHandle(edtLicense);
    if (licence) SendMessageA(licence, EM_SETREADONLY, 1, 0);
}

// ------------------------------------------------------------------ staging

namespace {

// File number used to write memory out; no other procedure holds it open.
enum { fileStaging = 5 };

// The failures that stop staging: tell the user, take back what staging
// wrote, and end before the wizard opens.
void FailStaging(const char* text) {
    MessageBoxShow("Error", text, MB_ICONERROR | MB_OK);
    PackReader::close();
    if (!state.tempDir.empty()) {
        DeleteFileAt(state.tempDir + "Setup.pak");
        DeleteStagedFiles();
    }
    EndProgram();
}

// The text of a string entry, up to its first NUL and never past its end.
Text EntryText(const unsigned char* entry) {
    if (!entry) return Text();
    int size = PackReader::entrySize();
    int length = 0;
    while (length < size && entry[length]) length++;
    return Text((const char*)entry, length);
}

// Reads the next entry; a damaged one stops staging.
const unsigned char* NextEntryChecked() {
    const unsigned char* entry = PackReader::nextEntry();
    if (!entry && PackReader::lastStatus() == PackReader::EntryDamaged) FailStaging("Setup data is damaged !");
    return entry;
}

// Staging writes only directly into tempDir.
bool IsPlainFileName(const Text& name) {
    if (name == "." || name == "..") return false;
    return name.find("\\") < 0 && name.find("/") < 0 && name.find(":") < 0;
}

}  // namespace

int WriteMemoryToFile(const Text& path, const void* start, const void* end) {
    if (!FileCreate(fileStaging, path)) return 0;
    int size = (int)((const char*)end - (const char*)start);
    int written = FileWriteBytes(fileStaging, start, size);
    FileClose(fileStaging);
    // A write cut short (a full disk) would leave a file that only looks
    // complete.
    if (written != size && size > 0) {
        DeleteFileAt(path);
        return 0;
    }
    return 1;
}

void StagePayload() {
    OpenWaitWindow();
    state.tempDir = QueryTempDirectory();
    Text pack = state.tempDir + "Setup.pak";
    if (state.tempDir.empty() || !WriteMemoryToFile(pack, PackStart, PackEnd)) FailStaging("Can't create temp file !");
    if (!PackReader::open(pack.c_str())) FailStaging("Can't create temp file !");

    state.entryData = NextEntryChecked();
    while (state.entryData) {
        state.entryName = EntryText(state.entryData);
        if (!IsPlainFileName(state.entryName)) FailStaging("Setup data is damaged !");
        state.entryPath = EntryText(NextEntryChecked());
        state.entryData = NextEntryChecked();
        state.entrySize = state.entryData ? PackReader::entrySize() : 0;
        // Listed before it is written, so that a failure takes it back too.
        StagedListAppend(state.stagedFiles, state.entryName, state.entryPath, "");
        if (!WriteMemoryToFile(state.tempDir + state.entryName, state.entryData,
                               state.entryData ? state.entryData + state.entrySize : nullptr))
            FailStaging("Can't create temp file !");
        state.entryData = NextEntryChecked();
    }
    PackReader::close();
    // Only now: the reader's share mode forbids deleting an open pack.
    DeleteFileAt(pack);
    WindowClose(wndWait);
}

// ------------------------------------------------------------------ shell link

// The shell's link object and its two interfaces, held in the program's own
// data rather than taken from a library.
namespace shell {

const GUID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace shell

int CreateShellLink(const Text& target, const Text& linkFile, const Text& arguments, const Text& description,
                    const Text& workingDir, int showCommand, int hotkey, const Text& iconFile, int iconIndex) {
    int result = 0;
    CoInitialize(nullptr);
    IShellLinkA* link = nullptr;
    if (CoCreateInstance(shell::CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, shell::IID_IShellLinkA, (void**)&link) ==
        S_OK) {
        link->SetPath(target.c_str());
        link->SetArguments(arguments.c_str());
        link->SetWorkingDirectory(workingDir.c_str());
        link->SetDescription(description.c_str());
        link->SetShowCmd(showCommand);
        link->SetHotkey((WORD)hotkey);
        link->SetIconLocation(iconFile.c_str(), iconIndex);
        IPersistFile* file = nullptr;
        if (link->QueryInterface(shell::IID_IPersistFile, (void**)&file) == S_OK) {
            WCHAR name[1000];
            if (MultiByteToWideChar(CP_ACP, 0, linkFile.c_str(), -1, name, 1000) > 0 &&
                file->Save(name, TRUE) == S_OK)
                result = 1;  // a shortcut that was not saved is no shortcut
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return result;
}

// ------------------------------------------------------------------ install log

int WriteInstallLog(const Text& installDir, const Text& shortcutDir) {
    if (!FileCreate(fileInstallLog, installDir + "Install.log")) return 0;
    FileWriteLine(fileInstallLog, installDir);
    FileWriteText(fileInstallLog, shortcutDir);
    return 1;  // left open until the program ends
}
