// The end-to-end driver: starts a program under test with a current
// directory and TEMP of the test's choosing, works its windows from another
// process the way a user would (clicks, typing, message box answers), reads
// what they show, and checks what lands on disk.
//
// Every wait has a timeout. A wait that runs out, or an action that a user
// could not do (clicking a hidden or disabled control), throws e2e::Failure
// with a message naming what was awaited and what was seen instead;
// GoogleTest reports it as the test's failure and the fixture's teardown ends
// whatever is still running.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace e2e {

// How long a wait allows by default, and how often it looks.
constexpr int kTimeoutMs = 15000;
constexpr int kPollMs = 20;
// How long one message sent to the program under test may take by default.
constexpr int kMessageTimeoutMs = 10000;
// Changes that time; returns the one before.
int setMessageTimeout(int ms);

class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ---- Waiting -------------------------------------------------------------

// Polls `condition` every kPollMs until it holds. Fails after `timeoutMs`
// with "timed out after N ms waiting for <what>" and, when `seen` is given,
// its description of what was there instead.
void waitUntil(const std::function<bool()>& condition, const std::string& what,
               int timeoutMs = kTimeoutMs, const std::function<std::string()>& seen = nullptr);

// Milliseconds since an arbitrary start; for measuring.
double nowMs();

// ---- Files ---------------------------------------------------------------

// "/a/b" -> "Z:\a\b" (Wine's drive for the Unix root); a Windows path is kept.
std::string windowsPath(const std::string& path);
// dir + name with exactly one backslash between them.
std::string joinPath(const std::string& dir, const std::string& name);

bool pathExists(const std::string& path);
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
// Size in bytes; -1 when nothing is there, -2 for a directory.
long long fileSize(const std::string& path);
// Whole file as bytes; fails when it can't be read.
std::string readFile(const std::string& path);
// Creates or replaces the file (and its missing parent directories).
void writeFile(const std::string& path, const std::string& bytes);
void makeDirectories(const std::string& path);
// Removes a file or a whole tree, read-only entries included; nothing there is fine.
void removePath(const std::string& path);
// Every entry below dir, relative to it, sorted; directories end in '\'.
std::vector<std::string> listTree(const std::string& dir);
// A shell folder (CSIDL_PROGRAMS, ...) ending in '\'.
std::string specialFolder(int csidl);

// A shell link (.lnk) as IShellLinkA gives it back (the show command and
// the hotkey as the file holds them).
struct Shortcut {
    std::string target;
    std::string arguments;
    std::string workingDirectory;
    std::string description;
    std::string iconPath;
    int iconIndex = 0;
    int showCommand = SW_SHOWNORMAL;
    WORD hotkey = 0;
};
// Loads a .lnk through IShellLinkA and IPersistFile; fails when it can't.
Shortcut readShortcut(const std::string& path);
// Saves one; for preparing a test.
void writeShortcut(const std::string& path, const Shortcut& shortcut);

// ---- Locations -----------------------------------------------------------

// The built Setup.exe (fails when this test program was built without it).
std::string setupExe();
// The driver's self-test target program.
std::string targetExe();

// ---- Sandbox -------------------------------------------------------------

// A fresh directory tree for one test: C:\e2e\<name>\ with the empty
// directories start\ and temp\; install\ is only a name (the program under
// test decides whether it gets made). Emptied on construction, removed on
// destruction together with every path handed to removeAtEnd.
class Sandbox {
public:
    explicit Sandbox(const std::string& name);
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return root_; }  // ends in '\'
    std::string start() const { return root_ + "start\\"; }
    std::string temp() const { return root_ + "temp\\"; }
    std::string install() const { return root_ + "install\\"; }
    // root() + relative
    std::string path(const std::string& relative) const { return root_ + relative; }
    // Something outside the sandbox that the test creates (a Start-menu folder, C:\talvera.bat).
    void removeAtEnd(const std::string& path);

private:
    std::string root_;
    std::vector<std::string> extra_;
};

// ---- Programs ------------------------------------------------------------

class Window;
class MsgBox;

// A running (or ended) program under test. The destructor ends it if it is
// still running.
class Program {
public:
    // CreateProcessA with that current directory and an environment in which
    // TEMP and TMP are `tempDir`; `args` follow the quoted program path.
    static Program start(const std::string& exe, const std::string& currentDir,
                         const std::string& tempDir, const std::string& args = "");
    // Opens a file through the shell (ShellExecuteExA, verb "open") as a
    // user's double click would, with TEMP and TMP set to `tempDir`.
    static Program shellOpen(const std::string& file, const std::string& tempDir);
    // The program owning the first visible top-level window with this
    // caption, whichever process it is (a program that the one under test started).
    static Program byWindow(const std::string& caption, int timeoutMs = kTimeoutMs);

    Program(Program&& other) noexcept;
    Program& operator=(Program&& other) noexcept;
    ~Program();

    DWORD pid() const { return pid_; }
    const std::string& name() const { return name_; }
    // Milliseconds from just before the start to now.
    double elapsedMs() const { return nowMs() - startedMs_; }
    bool running() const;
    // The exit code once it has ended.
    std::optional<int> exitCode() const;
    // Waits for the end; fails (and ends the program) when it doesn't come.
    int waitForExit(int timeoutMs = kTimeoutMs);
    // Ends it now (TerminateProcess) and waits for it to be gone.
    void terminate();

    // The visible top-level windows of this process (message boxes included).
    std::vector<HWND> windows() const;
    // The first visible top-level window with this caption (and class, when
    // not empty); an empty Window when there is none.
    Window findWindow(const std::string& caption, const std::string& className = "") const;
    // Fails when it doesn't appear in time or the program ends first.
    Window waitForWindow(const std::string& caption, int timeoutMs = kTimeoutMs,
                         const std::string& className = "") const;
    // The message box that is open now, if any.
    std::optional<MsgBox> findMessageBox() const;
    MsgBox waitForMessageBox(int timeoutMs = kTimeoutMs) const;
    // Watches for `ms`: fails as soon as a message box of the program
    // appears; returns early when the program ends.
    void expectNoMessageBox(int ms) const;
    // "Setup.exe (pid 32, running): #32770 "Error" [Can't create temp file !] ..."
    std::string describe() const;

private:
    Program() = default;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    std::string name_;
    double startedMs_ = 0;
};

// ---- Windows and controls ------------------------------------------------

class Control;

// A top-level window. Copies are cheap; it names the window by its handle.
class Window {
public:
    Window() = default;
    explicit Window(HWND handle) : handle_(handle) {}

    HWND handle() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    bool exists() const;
    bool visible() const;
    bool enabled() const;
    std::string caption() const;
    std::string className() const;
    // Size of the client area.
    SIZE clientSize() const;
    // The control with this identifier anywhere below the window.
    Control control(int id) const;
    // The close box: posts WM_SYSCOMMAND SC_CLOSE (what the title bar's button sends).
    void pressCloseBox() const;
    // Posts WM_CLOSE directly.
    void postClose() const;
    // The identifier of the control that has the keyboard focus, 0 for none.
    int focusedControl() const;
    // A key press (WM_KEYDOWN, WM_KEYUP; with Alt WM_SYSKEYDOWN, WM_SYSKEYUP)
    // posted to the focused control, or to the window when none has the focus.
    // pressKey(VK_TAB); pressKey(VK_F4, true) is Alt+F4.
    void pressKey(UINT virtualKey, bool alt = false) const;
    // Fails when the window is still there (visible) after the timeout.
    void waitUntilGone(int timeoutMs = kTimeoutMs) const;
    // Describes the window and its visible controls, for failure messages.
    std::string describe() const;

private:
    HWND handle_ = nullptr;
};

// A control of a window, found by its identifier again at every use, so it
// stays valid while the program destroys and recreates the control.
class Control {
public:
    Control(HWND window, int id) : window_(window), id_(id) {}

    int id() const { return id_; }
    // 0 when the window has no such control now.
    HWND handle() const;
    bool exists() const { return handle() != nullptr; }
    // Visible on the screen: it and all its parents shown.
    bool visible() const;
    // It and all its parents enabled.
    bool enabled() const;
    std::string className() const;
    // WM_GETTEXT.
    std::string text() const;
    // A user's click (BM_CLICK, posted). Fails when the control is hidden or disabled.
    void click() const;
    // A user's mouse click at a point of the control's client area (posted
    // WM_LBUTTONDOWN/UP). Fails when hidden or disabled.
    void clickAt(int x, int y) const;
    // Typing into an edit field: one posted WM_CHAR per character, each
    // posted once the program has handled the one before and what it did
    // about it. Fails when hidden or disabled. Clicks, unlike typing, return
    // at once: wait for their effect.
    void type(const std::string& chars, int timeoutMs = kTimeoutMs) const;
    // Selects the whole text of an edit field (EM_SETSEL 0, -1), so that
    // typing replaces it.
    void selectAll() const;
    // Puts the caret after the last character (an edit field's caret is at
    // the start after its text was set), so that typing appends.
    void caretToEnd() const;
    // WM_SETTEXT from outside.
    void setText(const std::string& text) const;
    // BM_GETCHECK: 1 checked, 0 not.
    int checkState() const;
    // The lines of a list box.
    std::vector<std::string> lines() const;
    // The position of a progress bar (PBM_GETPOS).
    int position() const;

    // Tree views: this control or the SysTreeView32 inside it. An item is
    // named by its labels from the root down.
    // The labels of the children of an item ({} for the top level), after expanding it.
    std::vector<std::string> treeChildren(const std::vector<std::string>& item) const;
    // The labels of the selected item, {} when none.
    std::vector<std::string> treeSelection() const;
    // Expands every item on the way and clicks the last one with the mouse.
    // Fails when the click doesn't select it within the timeout.
    void treeClick(const std::vector<std::string>& item, int timeoutMs = kTimeoutMs) const;

    std::string describe() const;

    // WM_GETTEXT of any window of another process; fails with `what`.
    static std::string readText(HWND window, const std::string& what);

private:
    HWND require(const char* action) const;
    HWND requireUsable(const char* action) const;
    HWND treeHandle() const;
    HWND window_;
    int id_;
};

// A message box of the program under test (class #32770): title, text and
// buttons are read when it is found.
class MsgBox {
public:
    struct Button {
        int id;
        std::string text;
    };

    HWND handle = nullptr;
    std::string title;
    std::string text;
    std::vector<Button> buttons;
    // The icon (MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING,
    // MB_ICONINFORMATION, 0 for none), recognised by its pixels on the screen.
    int icon = 0;

    // MB_ flags that would show this box: buttons plus icon (16, 36, 48, 52, 64, 0...).
    int flags() const;
    bool hasButton(int id) const;
    // Posts BM_CLICK to that button (IDYES, IDNO, IDOK...) and waits until
    // the box is gone. Fails when the box has no such button.
    void press(int id, int timeoutMs = kTimeoutMs) const;
    std::string describe() const;
};

// Builds a MsgBox from a #32770 window.
MsgBox readMessageBox(HWND box);

// ---- Screenshots ---------------------------------------------------------

// Saves the screen (or only `window`'s outer rectangle) as <name>.png in
// the directory named by TALVERA_SCREENSHOT_DIR. Returns the file's path,
// "" when the variable is unset.
std::string screenshot(const std::string& name, HWND window = nullptr);

// ---- Cleaning up --------------------------------------------------------

// Ends every process descended from one of `roots` and every process whose
// program file lies below `directory`; returns "name (pid N)" for each.
std::vector<std::string> endLeftoverProcesses(const std::set<DWORD>& roots, const std::string& directory);

// ---- The test fixture ----------------------------------------------------

// Gives each test a sandbox named after it and ends every program it started
// when the test ends, also every process whose program file lies in the
// sandbox (an installed client, an uninstaller copy). A failed test leaves a
// screenshot "<suite>.<test>-failed.png".
class Test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Sandbox& sandbox() { return *sandbox_; }
    // Starts exe in sandbox().start() with TEMP = sandbox().temp().
    Program& start(const std::string& exe, const std::string& args = "");
    // Keeps a program for the teardown.
    Program& keep(Program program);

private:
    std::unique_ptr<Sandbox> sandbox_;
    std::vector<std::unique_ptr<Program>> programs_;
};

}  // namespace e2e
