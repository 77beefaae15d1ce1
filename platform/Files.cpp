// Numbered files and the file-system operations.
#include "Platform.h"

#include <shellapi.h>

#include <string.h>

namespace {

enum { READ_BUFFER_SIZE = 4096 };

struct NumberedFile {
    HANDLE handle;
    bool reading;
    char* buffer;   // read-ahead for the line reader
    int buffered;   // bytes in buffer
    int position;   // next unread byte in buffer
    bool ended;     // ReadFile has reported the end of the file
};

NumberedFile files[FILE_SLOTS];

NumberedFile* slot(int number) {
    if (number < 0 || number >= FILE_SLOTS || !files[number].handle) return nullptr;
    return &files[number];
}

int openFile(int number, const Text& path, DWORD access, DWORD disposition) {
    if (number < 0 || number >= FILE_SLOTS) return 0;
    FileClose(number);
    HANDLE h = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    NumberedFile& f = files[number];
    f.handle = h;
    f.reading = access == GENERIC_READ;
    f.buffer = nullptr;
    f.buffered = f.position = 0;
    f.ended = false;
    if (f.reading) {
        f.buffer = (char*)HeapAlloc(GetProcessHeap(), 0, READ_BUFFER_SIZE);
        if (!f.buffer) {
            FileClose(number);
            return 0;
        }
    }
    return 1;
}

// Makes sure at least one unread byte is buffered; false at the end.
bool fill(NumberedFile& f) {
    if (f.position < f.buffered) return true;
    if (f.ended || !f.reading) return false;
    DWORD got = 0;
    if (!ReadFile(f.handle, f.buffer, READ_BUFFER_SIZE, &got, nullptr) || got == 0) {
        f.ended = true;
        return false;
    }
    f.buffered = (int)got;
    f.position = 0;
    return true;
}

Text withoutTrailingBackslash(const Text& path) {
    // "C:\" must keep its backslash: it names the root, not the drive's
    // current directory.
    if (path.length() > 3 && path.last() == '\\') return path.left(path.length() - 1);
    return path;
}

}  // namespace

int FileCreate(int number, const Text& path) {
    return openFile(number, path, GENERIC_WRITE, CREATE_ALWAYS);
}

int FileOpenRead(int number, const Text& path) {
    return openFile(number, path, GENERIC_READ, OPEN_EXISTING);
}

int FileIsOpen(int number) { return slot(number) != nullptr; }

int FileEof(int number) {
    NumberedFile* f = slot(number);
    return f ? !fill(*f) : 1;
}

Text FileReadLine(int number) {
    Text line;
    NumberedFile* f = slot(number);
    if (!f) return line;
    while (fill(*f)) {
        // Take the run of ordinary characters in one piece.
        int start = f->position;
        while (f->position < f->buffered) {
            char c = f->buffer[f->position];
            if (c == '\r' || c == '\n' || c == 0) break;
            f->position++;
        }
        line.append(f->buffer + start, f->position - start);
        if (f->position == f->buffered) continue;
        char c = f->buffer[f->position++];
        if (c == '\r' && fill(*f) && f->buffer[f->position] == '\n') f->position++;
        return line;
    }
    return line;
}

int FileWriteBytes(int number, const void* data, int size) {
    NumberedFile* f = slot(number);
    if (!f || f->reading || size <= 0) return 0;
    DWORD written = 0;
    if (!WriteFile(f->handle, data, (DWORD)size, &written, nullptr)) return 0;
    return (int)written;
}

int FileWriteText(int number, const Text& text) {
    return FileWriteBytes(number, text.c_str(), text.length());
}

int FileWriteLine(int number, const Text& text) {
    int written = FileWriteText(number, text);
    return written + FileWriteBytes(number, "\r\n", 2);
}

void FileClose(int number) {
    NumberedFile* f = slot(number);
    if (!f) return;
    CloseHandle(f->handle);
    if (f->buffer) HeapFree(GetProcessHeap(), 0, f->buffer);
    memset(f, 0, sizeof *f);
}

void FileCloseAll() {
    for (int i = 0; i < FILE_SLOTS; i++) FileClose(i);
}

int FileSize(const Text& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(withoutTrailingBackslash(path).c_str(), GetFileExInfoStandard, &data))
        return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -2;
    if (data.nFileSizeHigh || data.nFileSizeLow > 0x7FFFFFFF) return 0x7FFFFFFF;
    return (int)data.nFileSizeLow;
}

int MakeDirectory(const Text& path) { return CreateDirectoryA(path.c_str(), nullptr) ? 1 : 0; }

int CopyFileTo(const Text& source, const Text& target) {
    return CopyFileA(source.c_str(), target.c_str(), FALSE) ? 1 : 0;
}

int DeleteFileAt(const Text& path) { return DeleteFileA(path.c_str()) ? 1 : 0; }

void RemoveDirectoryTree(const Text& path, const char* pattern, int flags) {
    if (path.empty()) return;
    Text dir = path;
    if (dir.last() != '\\') dir += '\\';

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;  // nothing matches: the directory stays
    do {
        Text name(found.cFileName);
        Text entry = dir + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name == "." || name == "..") continue;
            if (flags & REMOVE_RECURSIVE) RemoveDirectoryTree(entry, pattern, flags);
        } else {
            if (flags & REMOVE_FORCE) SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(entry.c_str());
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);

    if (flags & REMOVE_FORCE) SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

int ShellStart(const Text& file, const Text& parameters, const Text& directory, int showCommand) {
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "Open";
    info.lpFile = file.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = directory.c_str();
    info.nShow = showCommand;
    BOOL started = ShellExecuteExA(&info);
    if (info.hProcess) CloseHandle(info.hProcess);
    return started ? 1 : 0;
}
