// Programs under test: starting them, their top-level windows and message
// boxes, their end; and the test fixture that cleans up after them.
#include "Internal.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace e2e {

namespace {

bool startsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && !_strnicmp(text.c_str(), prefix.c_str(), prefix.size());
}

std::string fileNameOf(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string withoutTrailingBackslash(std::string path)
{
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    return path;
}

// The driver's own environment with TEMP and TMP replaced, as a block for
// CreateProcessA, sorted by name as Windows keeps it.
std::string environmentWithTemp(const std::string& tempDir)
{
    std::vector<std::string> variables;
    LPCH block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry; entry += strlen(entry) + 1) {
        std::string variable = entry;
        if (!startsWithNoCase(variable, "TEMP=") && !startsWithNoCase(variable, "TMP="))
            variables.push_back(variable);
    }
    FreeEnvironmentStringsA(block);
    std::string temp = withoutTrailingBackslash(tempDir);
    variables.push_back("TEMP=" + temp);
    variables.push_back("TMP=" + temp);
    std::sort(variables.begin(), variables.end(),
              [](const std::string& a, const std::string& b) { return _stricmp(a.c_str(), b.c_str()) < 0; });
    std::string result;
    for (const std::string& variable : variables)
        result += variable + '\0';
    result += '\0';
    return result;
}

// Sets the driver's own TEMP and TMP while it lives (for the shell, which
// passes the caller's environment on).
class TemporaryTemp {
public:
    explicit TemporaryTemp(const std::string& tempDir)
    {
        save("TEMP", oldTemp_, hadTemp_);
        save("TMP", oldTmp_, hadTmp_);
        std::string temp = withoutTrailingBackslash(tempDir);
        SetEnvironmentVariableA("TEMP", temp.c_str());
        SetEnvironmentVariableA("TMP", temp.c_str());
    }
    ~TemporaryTemp()
    {
        SetEnvironmentVariableA("TEMP", hadTemp_ ? oldTemp_.c_str() : nullptr);
        SetEnvironmentVariableA("TMP", hadTmp_ ? oldTmp_.c_str() : nullptr);
    }

private:
    static void save(const char* name, std::string& value, bool& had)
    {
        char buffer[32768];
        DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        had = length > 0 && length < sizeof buffer;
        value = had ? buffer : "";
    }
    std::string oldTemp_, oldTmp_;
    bool hadTemp_ = false, hadTmp_ = false;
};

std::string imagePathOf(HANDLE process)
{
    char path[MAX_PATH] = "";
    DWORD size = sizeof path;
    if (!QueryFullProcessImageNameA(process, 0, path, &size))
        return "";
    return path;
}

struct WindowSearch {
    DWORD pid;  // 0: any process
    std::vector<HWND> found;
};

BOOL CALLBACK collectVisible(HWND window, LPARAM param)
{
    WindowSearch* search = (WindowSearch*)param;
    if (IsWindowVisible(window) && (!search->pid || processOf(window) == search->pid))
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> visibleTopWindows(DWORD pid)
{
    WindowSearch search = {pid, {}};
    EnumWindows(collectVisible, (LPARAM)&search);
    return search.found;
}

bool matches(HWND window, const std::string& caption, const std::string& className)
{
    return (caption.empty() || windowText(window) == caption) && (className.empty() || classOf(window) == className);
}

std::string windowWanted(const std::string& caption, const std::string& className)
{
    std::string what = "a window";
    if (!caption.empty())
        what += " captioned " + quoted(caption);
    if (!className.empty())
        what += " of class " + quoted(className);
    return what;
}

// Wine starts its desktop (explorer.exe) and services as children of the
// first program that needs them, which may be a program under test. They
// must live on; a command interpreter running a batch file must not.
bool isSystemService(const std::string& image)
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    if (image.empty() || !startsWithNoCase(image, joinPath(windows, "")))
        return false;
    std::string name = fileNameOf(image);
    return _stricmp(name.c_str(), "cmd.exe") && _stricmp(name.c_str(), "conhost.exe");
}

// Every process: its parent's pid.
std::map<DWORD, DWORD> processParents()
{
    std::map<DWORD, DWORD> parentOf;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return parentOf;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        parentOf[entry.th32ProcessID] = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parentOf;
}

std::set<DWORD> childProcesses()
{
    std::set<DWORD> children;
    for (const auto& [pid, parent] : processParents())
        if (parent == GetCurrentProcessId())
            children.insert(pid);
    return children;
}

// The first process started by this one that isn't in `before` (nor one of
// Wine's services).
HANDLE newChildProcess(const std::set<DWORD>& before, const std::string& file)
{
    HANDLE found = nullptr;
    waitUntil(
        [&] {
            for (DWORD pid : childProcesses()) {
                if (before.count(pid))
                    continue;
                HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
                if (process && !isSystemService(imagePathOf(process))) {
                    found = process;
                    return true;
                }
                if (process)
                    CloseHandle(process);
            }
            return false;
        },
        "the process that the shell started for " + file);
    return found;
}

void endProcess(HANDLE process)
{
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
}

}  // namespace

// ---- Program -------------------------------------------------------------

Program Program::start(const std::string& exe, const std::string& currentDir, const std::string& tempDir,
                       const std::string& args)
{
    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty())
        commandLine += " " + args;
    std::string environment = environmentWithTemp(tempDir);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    Program program;
    program.name_ = fileNameOf(exe);
    program.startedMs_ = nowMs();
    if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, &environment[0],
                        currentDir.c_str(), &startup, &info))
        throw Failure("can't start " + exe + " in " + currentDir + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(info.hThread);
    program.process_ = info.hProcess;
    program.pid_ = info.dwProcessId;
    return program;
}

Program Program::shellOpen(const std::string& file, const std::string& tempDir)
{
    TemporaryTemp temp(tempDir);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = "open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    Program program;
    program.startedMs_ = nowMs();
    std::set<DWORD> before = childProcesses();
    if (!ShellExecuteExA(&info))
        throw Failure("the shell can't open " + file + " (error " + std::to_string(GetLastError()) + ")");
    // For a shortcut Wine's shell starts the target itself and gives no
    // process back: take the new child of this process.
    if (!info.hProcess)
        info.hProcess = newChildProcess(before, file);
    program.process_ = info.hProcess;
    program.pid_ = GetProcessId(info.hProcess);
    std::string image = imagePathOf(info.hProcess);
    program.name_ = fileNameOf(image.empty() ? file : image);
    return program;
}

Program Program::byWindow(const std::string& caption, int timeoutMs)
{
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : visibleTopWindows(0))
                if (windowText(window) == caption) {
                    found = window;
                    return true;
                }
            return false;
        },
        "a window captioned " + quoted(caption) + " of any program", timeoutMs);
    Program program;
    program.pid_ = processOf(found);
    program.process_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ,
                                   FALSE, program.pid_);
    if (!program.process_)
        throw Failure("can't open the process " + std::to_string(program.pid_) + " of the window " + quoted(caption));
    program.name_ = fileNameOf(imagePathOf(program.process_));
    program.startedMs_ = nowMs();
    return program;
}

Program::Program(Program&& other) noexcept
{
    *this = std::move(other);
}

Program& Program::operator=(Program&& other) noexcept
{
    if (this != &other) {
        if (process_)
            CloseHandle(process_);
        process_ = other.process_;
        pid_ = other.pid_;
        name_ = std::move(other.name_);
        startedMs_ = other.startedMs_;
        other.process_ = nullptr;
    }
    return *this;
}

Program::~Program()
{
    if (!process_)
        return;
    if (running())
        endProcess(process_);
    CloseHandle(process_);
}

bool Program::running() const
{
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<int> Program::exitCode() const
{
    DWORD code = 0;
    if (!process_ || running() || !GetExitCodeProcess(process_, &code))
        return std::nullopt;
    return (int)code;
}

int Program::waitForExit(int timeoutMs)
{
    if (WaitForSingleObject(process_, timeoutMs) == WAIT_TIMEOUT) {
        std::string seen = describe();
        terminate();
        throw Failure("timed out after " + std::to_string(timeoutMs) + " ms waiting for " + name_ +
                      " to end; seen instead: " + seen + "; ended it");
    }
    return *exitCode();
}

void Program::terminate()
{
    if (running())
        endProcess(process_);
}

std::vector<HWND> Program::windows() const
{
    return visibleTopWindows(pid_);
}

Window Program::findWindow(const std::string& caption, const std::string& className) const
{
    for (HWND window : windows())
        if (matches(window, caption, className))
            return Window(window);
    return Window();
}

Window Program::waitForWindow(const std::string& caption, int timeoutMs, const std::string& className) const
{
    std::string what = windowWanted(caption, className) + " of " + name_;
    Window found;
    waitUntil(
        [&] {
            found = findWindow(caption, className);
            return found || !running();
        },
        what, timeoutMs, [&] { return describe(); });
    if (!found)
        throw Failure(describe() + " ended while waiting for " + what);
    return found;
}

std::optional<MsgBox> Program::findMessageBox() const
{
    for (HWND window : windows())
        if (classOf(window) == "#32770")
            return readMessageBox(window);
    return std::nullopt;
}

MsgBox Program::waitForMessageBox(int timeoutMs) const
{
    std::optional<MsgBox> box;
    waitUntil(
        [&] {
            box = findMessageBox();
            return box || !running();
        },
        "a message box of " + name_, timeoutMs, [&] { return describe(); });
    if (!box)
        throw Failure(describe() + " ended while waiting for a message box");
    return *box;
}

void Program::expectNoMessageBox(int ms) const
{
    double end = nowMs() + ms;
    while (running() && nowMs() < end) {
        if (std::optional<MsgBox> box = findMessageBox())
            throw Failure("expected no message box from " + name_ + " within " + std::to_string(ms) +
                          " ms, but one appeared: " + box->describe());
        Sleep(kPollMs);
    }
}

std::string Program::describe() const
{
    std::string text = name_ + " (pid " + std::to_string(pid_) + ", ";
    if (running())
        text += "running";
    else if (std::optional<int> code = exitCode())
        text += "ended with exit code " + std::to_string(*code);
    else
        text += "not started";
    text += ")";
    std::vector<HWND> shown = running() ? windows() : std::vector<HWND>();
    if (shown.empty() && running())
        text += " with no visible window";
    for (HWND window : shown) {
        if (classOf(window) == "#32770" && responding(window))
            text += "; message box " + readMessageBox(window).describe();
        else
            text += "; window " + Window(window).describe();
    }
    return text;
}

// ---- Fixture -------------------------------------------------------------

namespace {

std::string currentTestName()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
        if (strchr("/\\:*?\"<>|", c))
            c = '_';
    return name;
}

}  // namespace

std::vector<std::string> endLeftoverProcesses(const std::set<DWORD>& roots, const std::string& directory)
{
    std::map<DWORD, DWORD> parentOf = processParents();
    std::set<DWORD> doomed;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, parent] : parentOf)
            if (!doomed.count(pid) && pid != GetCurrentProcessId() && (roots.count(parent) || doomed.count(parent))) {
                doomed.insert(pid);
                grew = true;
            }
    }
    std::vector<std::string> ended;
    for (const auto& [pid, parent] : parentOf) {
        if (pid == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (!process)
            continue;
        std::string image = imagePathOf(process);
        bool inside = !image.empty() && startsWithNoCase(image, directory);
        bool leftover = (doomed.count(pid) && !isSystemService(image)) || inside;
        if (leftover && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            endProcess(process);
            ended.push_back(fileNameOf(image) + " (pid " + std::to_string(pid) + ")");
        }
        CloseHandle(process);
    }
    return ended;
}

void Test::SetUp()
{
    sandbox_ = std::make_unique<Sandbox>(currentTestName());
}

void Test::TearDown()
{
    try {
        if (HasFailure()) {
            std::string shot = screenshot(currentTestName() + "-failed");
            if (!shot.empty())
                printf("[e2e] screenshot of the failure: %s\n", shot.c_str());
        }
        std::set<DWORD> roots;
        for (const std::unique_ptr<Program>& program : programs_) {
            roots.insert(program->pid());
            if (program->running()) {
                // What it showed matters when the test failed.
                std::string what = HasFailure() ? program->describe()
                                                : program->name() + " (pid " + std::to_string(program->pid()) + ")";
                printf("[e2e] %s was still running at the end of the test: ending it\n", what.c_str());
                program->terminate();
            }
        }
        for (const std::string& leftover : endLeftoverProcesses(roots, sandbox_->root()))
            printf("[e2e] ended the leftover process %s\n", leftover.c_str());
        programs_.clear();
        sandbox_.reset();
    } catch (const std::exception& error) {
        ADD_FAILURE() << "cleaning up after the test: " << error.what();
    }
}

Program& Test::start(const std::string& exe, const std::string& args)
{
    return keep(Program::start(exe, sandbox().start(), sandbox().temp(), args));
}

Program& Test::keep(Program program)
{
    programs_.push_back(std::make_unique<Program>(std::move(program)));
    return *programs_.back();
}

}  // namespace e2e
