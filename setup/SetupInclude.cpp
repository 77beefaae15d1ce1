// Procedures that the main sequence calls: the staged-file list, the path
// queries, the windows, staging, the shell link and the install log.
#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include <new>

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

Text withFinalBackslash(const Text& path) {
    if (path.last() == '\\') return path;
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

void OpenWaitWindow() {}

void OpenWizardWindow() {}

// ------------------------------------------------------------------ staging

void StagePayload() {}

int WriteMemoryToFile(const Text&, const void*, const void*) { return 0; }

// ------------------------------------------------------------------ shell link

int CreateShellLink(const Text&, const Text&, const Text&, const Text&, const Text&, int, int,
                    const Text&, int) {
    return 0;
}

// ------------------------------------------------------------------ install log

int WriteInstallLog(const Text&, const Text&) { return 0; }
