// Files, directories, the sandbox and the locations of the programs under test.
#include "Driver.h"

#include <shlobj.h>

#include <algorithm>

namespace e2e {

namespace {

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    return path;
}

std::string lastErrorText()
{
    return "error " + std::to_string(GetLastError());
}

void listInto(const std::string& dir, const std::string& prefix, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(joinPath(dir, "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out.push_back(prefix + name + "\\");
            listInto(joinPath(dir, name), prefix + name + "\\", out);
        } else {
            out.push_back(prefix + name);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

double nowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / frequency.QuadPart;
}

void waitUntil(const std::function<bool()>& condition, const std::string& what, int timeoutMs,
               const std::function<std::string()>& seen)
{
    double end = nowMs() + timeoutMs;
    for (;;) {
        if (condition())
            return;
        if (nowMs() >= end)
            break;
        Sleep(kPollMs);
    }
    std::string message = "timed out after " + std::to_string(timeoutMs) + " ms waiting for " + what;
    if (seen)
        message += "; seen instead: " + seen();
    throw Failure(message);
}

std::string windowsPath(const std::string& path)
{
    if (path.empty() || path[0] != '/')
        return path;
    std::string result = "Z:" + path;
    std::replace(result.begin(), result.end(), '/', '\\');
    return result;
}

std::string joinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty())
        return name;
    if (dir.back() == '\\' || dir.back() == '/')
        return dir + name;
    return dir + "\\" + name;
}

bool pathExists(const std::string& path)
{
    return GetFileAttributesA(withoutTrailingSlash(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool fileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool directoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(withoutTrailingSlash(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

long long fileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(withoutTrailingSlash(path).c_str(), GetFileExInfoStandard, &data))
        return -1;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return -2;
    return ((long long)data.nFileSizeHigh << 32) | data.nFileSizeLow;
}

std::string readFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw Failure("can't open " + path + " for reading (" + lastErrorText() + ")");
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void writeFile(const std::string& path, const std::string& bytes)
{
    size_t slash = path.find_last_of("\\/");
    if (slash != std::string::npos)
        makeDirectories(path.substr(0, slash));
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw Failure("can't create " + path + " (" + lastErrorText() + ")");
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size())
        throw Failure("can't write " + path + " (" + lastErrorText() + ")");
}

void makeDirectories(const std::string& path)
{
    std::string dir = withoutTrailingSlash(path);
    if (dir.empty() || directoryExists(dir))
        return;
    size_t slash = dir.find_last_of("\\/");
    if (slash != std::string::npos && slash > 2)
        makeDirectories(dir.substr(0, slash));
    if (!CreateDirectoryA(dir.c_str(), nullptr) && !directoryExists(dir))
        throw Failure("can't create the directory " + dir + " (" + lastErrorText() + ")");
}

void removePath(const std::string& path)
{
    std::string target = withoutTrailingSlash(path);
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileA(target.c_str());
        return;
    }
    std::vector<std::string> entries;
    listInto(target, "", entries);
    // Deepest first: files and subdirectories before their parents.
    std::sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) { return a > b; });
    for (const std::string& entry : entries) {
        std::string full = joinPath(target, withoutTrailingSlash(entry));
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.back() == '\\')
            RemoveDirectoryA(full.c_str());
        else
            DeleteFileA(full.c_str());
    }
    RemoveDirectoryA(target.c_str());
}

std::vector<std::string> listTree(const std::string& dir)
{
    std::vector<std::string> entries;
    listInto(withoutTrailingSlash(dir), "", entries);
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::string specialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE))
        throw Failure("no special folder " + std::to_string(csidl));
    return joinPath(path, "");
}

std::string setupExe()
{
#ifdef E2E_SETUP_EXE
    return windowsPath(E2E_SETUP_EXE);
#else
    throw Failure("this test program was built without Setup.exe");
#endif
}

std::string targetExe()
{
#ifdef E2E_TARGET_EXE
    return windowsPath(E2E_TARGET_EXE);
#else
    throw Failure("this test program was built without the target program");
#endif
}

Sandbox::Sandbox(const std::string& name) : root_("C:\\e2e\\" + name + "\\")
{
    removePath(root_);
    if (pathExists(root_))
        throw Failure("can't empty the sandbox " + root_);
    makeDirectories(start());
    makeDirectories(temp());
}

Sandbox::~Sandbox()
{
    for (const std::string& path : extra_)
        removePath(path);
    removePath(root_);
}

void Sandbox::removeAtEnd(const std::string& path)
{
    extra_.push_back(path);
}

}  // namespace e2e
