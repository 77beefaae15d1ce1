// The driver against a small target program: every kind of control it reads
// or works, message boxes, the start environment, exit codes, and the
// failure paths (a wait that times out, a program that hangs or ends early,
// programs left running at the end of a test).
#include "Driver.h"
#include "TargetIds.h"

#include <shlobj.h>

#include <cstdlib>

using namespace e2e;

namespace {

class DriverSelfTest : public e2e::Test {
protected:
    Program& startTarget(const std::string& args = "") { return start(targetExe(), args); }

    Window mainWindow(const Program& target) { return target.waitForWindow(kTargetCaption, kTimeoutMs, kTargetClass); }

    // Waits until a control shows `expected`.
    void expectText(const Control& control, const std::string& expected)
    {
        waitUntil([&] { return control.text() == expected; }, control.describe() + " to read " + quoted(expected),
                  kTimeoutMs, [&] { return quoted(control.text()); });
    }

    static std::string quoted(const std::string& text) { return "\"" + text + "\""; }
};

// Runs `action`, which must fail; returns the failure's message.
template <typename Action>
std::string failureOf(Action action)
{
    try {
        action();
    } catch (const Failure& failure) {
        return failure.what();
    }
    ADD_FAILURE() << "expected the driver to fail";
    return "";
}

bool processEnded(HANDLE process)
{
    return WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
}

TEST_F(DriverSelfTest, StartsInTheChosenDirectoryWithTheChosenTemp)
{
    Program& target = startTarget();
    mainWindow(target);
    std::string report = sandbox().temp() + "target-temp.txt";
    waitUntil([&] { return fileExists(report); }, report);
    std::string temp = sandbox().root() + "temp";
    std::string start = sandbox().root() + "start";
    EXPECT_EQ(readFile(report), "TEMP=" + temp + "\r\nTMP=" + temp + "\r\nCWD=" + start + "\r\n");
}

TEST_F(DriverSelfTest, ReportsTheExitCodeHoweverTheProgramEnds)
{
    struct Case {
        const char* how;
        const char* exitCodeFile;  // nullptr: none, the target then ends with 0
        int expected;
    };
    const Case cases[] = {{"Quit button", "7", 7}, {"close box", "42", 42}, {"WM_CLOSE", nullptr, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        removePath(sandbox().start() + "exitcode.txt");
        if (c.exitCodeFile)
            writeFile(sandbox().start() + "exitcode.txt", c.exitCodeFile);
        Program& target = startTarget();
        Window window = mainWindow(target);
        if (std::string(c.how) == "Quit button")
            window.control(kTargetQuit).click();
        else if (std::string(c.how) == "close box")
            window.pressCloseBox();
        else
            window.postClose();
        EXPECT_EQ(target.waitForExit(), c.expected);
        EXPECT_FALSE(target.running());
        EXPECT_EQ(target.exitCode(), c.expected);
    }
}

TEST_F(DriverSelfTest, ReadsAndAnswersMessageBoxes)
{
    struct Case {
        int button;
        const char* title;
        const char* text;
        int flags;
        std::vector<int> buttons;
        int answer;
    };
    const Case cases[] = {
        {kTargetAsk, "Question", "Do you want to go on ?", MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, IDYES},
        {kTargetAsk, "Question", "Do you want to go on ?", MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, IDNO},
        {kTargetInform, "Information", "Saved !", MB_OK | MB_ICONINFORMATION, {IDOK}, IDOK},
        {kTargetError, "Error", "Can't go on !", MB_OK | MB_ICONERROR, {IDOK}, IDOK},
        {kTargetPlain, "Information", "Done.", MB_OK, {IDOK}, IDOK},
    };
    Program& target = startTarget();
    Window window = mainWindow(target);
    EXPECT_FALSE(target.findMessageBox());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        window.control(c.button).click();
        MsgBox box = target.waitForMessageBox();
        EXPECT_EQ(box.title, c.title);
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.flags(), c.flags);
        std::vector<int> ids;
        for (const MsgBox::Button& button : box.buttons)
            ids.push_back(button.id);
        EXPECT_EQ(ids, c.buttons);
        // The box is modal: its owner can't be clicked meanwhile.
        std::string refused = failureOf([&] { window.control(kTargetStep).click(); });
        EXPECT_NE(refused.find("disabled"), std::string::npos) << refused;
        EXPECT_NE(failureOf([&] { box.press(IDCANCEL); }).find("has no button 2"), std::string::npos);
        box.press(c.answer);
        EXPECT_FALSE(target.findMessageBox());
    }
    Control list = window.control(kTargetList);
    waitUntil([&] { return list.lines().size() == 5; }, "five lines in the list");
    EXPECT_EQ(list.lines(), (std::vector<std::string>{"Yes", "No", "OK", "OK", "OK"}));
}

TEST_F(DriverSelfTest, FindsAMessageBoxWithoutOwnerBeforeTheWindow)
{
    Program& target = startTarget("/box");
    MsgBox box = target.waitForMessageBox();
    EXPECT_EQ(box.title, "Caution");
    EXPECT_EQ(box.text, "Starting");
    EXPECT_EQ(box.flags(), MB_OK | MB_ICONWARNING);
    EXPECT_FALSE(target.findWindow(kTargetCaption));
    box.press(IDOK);
    mainWindow(target);
}

TEST_F(DriverSelfTest, WaitsForAWindowToComeAndGo)
{
    Program& target = startTarget("/wait");
    Window wait = target.waitForWindow("Please wait...");
    EXPECT_EQ(wait.className(), "E2ETargetWait");
    wait.waitUntilGone();
    Window window = mainWindow(target);
    EXPECT_TRUE(window.visible());
    EXPECT_EQ(window.caption(), kTargetCaption);
    EXPECT_FALSE(wait.exists());
}

TEST_F(DriverSelfTest, TypingGivesOneChangePerCharacter)
{
    Program& target = startTarget();
    Window window = mainWindow(target);
    Control field = window.control(kTargetField);
    Control changes = window.control(kTargetChanges);
    EXPECT_EQ(field.text(), "");

    field.type("abc");
    EXPECT_EQ(field.text(), "abc");
    expectText(changes, "3");
    // Each character came after the program's reaction to the one before.
    expectText(window.control(kTargetEcho), "a;ab;abc;");

    // Typing over a selection: the first character replaces it.
    field.selectAll();
    field.type("C:\\x y");
    EXPECT_EQ(field.text(), "C:\\x y");
    expectText(changes, "9");

    field.caretToEnd();
    field.type("z");
    EXPECT_EQ(field.text(), "C:\\x yz");
    expectText(changes, "10");

    field.type("\b");
    EXPECT_EQ(field.text(), "C:\\x y");
    expectText(changes, "11");

    field.setText("set from outside");
    EXPECT_EQ(field.text(), "set from outside");
}

TEST_F(DriverSelfTest, KeysMoveTheFocusAndAltF4Closes)
{
    writeFile(sandbox().start() + "exitcode.txt", "5");
    Program& target = startTarget();
    Window window = mainWindow(target);
    // A click into the field gives it the focus, as for a user.
    window.control(kTargetField).clickAt(5, 5);
    waitUntil([&] { return window.focusedControl() == kTargetField; }, "the focus in the field", kTimeoutMs,
              [&] { return std::to_string(window.focusedControl()); });
    window.pressKey(VK_TAB);
    waitUntil([&] { return window.focusedControl() == kTargetOption; }, "the focus on the next tab stop", kTimeoutMs,
              [&] { return std::to_string(window.focusedControl()); });
    window.pressKey(VK_F4, true);
    EXPECT_EQ(target.waitForExit(), 5);
}

TEST_F(DriverSelfTest, ReadsCheckBoxAndProgressBar)
{
    Program& target = startTarget();
    Window window = mainWindow(target);
    Control option = window.control(kTargetOption);
    Control progress = window.control(kTargetProgress);
    EXPECT_EQ(option.checkState(), 0);
    option.click();
    waitUntil([&] { return option.checkState() == 1; }, "the option to be checked");
    option.click();
    waitUntil([&] { return option.checkState() == 0; }, "the option to be cleared");

    EXPECT_EQ(progress.position(), 0);
    for (int expected : {25, 50, 75, 100, 100}) {
        window.control(kTargetStep).click();
        waitUntil([&] { return progress.position() == expected; }, "the progress bar at " + std::to_string(expected),
                  kTimeoutMs, [&] { return std::to_string(progress.position()); });
    }
}

TEST_F(DriverSelfTest, TellsControlStatesAndRefusesWhatAUserCantDo)
{
    Program& target = startTarget();
    Window window = mainWindow(target);

    Control disabled = window.control(kTargetDisabled);
    EXPECT_TRUE(disabled.exists());
    EXPECT_TRUE(disabled.visible());
    EXPECT_FALSE(disabled.enabled());
    EXPECT_EQ(disabled.text(), "Disabled");
    EXPECT_EQ(disabled.className(), "Button");
    std::string refused = failureOf([&] { disabled.click(); });
    EXPECT_NE(refused.find("control 106"), std::string::npos) << refused;
    EXPECT_NE(refused.find("disabled"), std::string::npos) << refused;

    Control hidden = window.control(kTargetHidden);
    EXPECT_TRUE(hidden.exists());
    EXPECT_FALSE(hidden.visible());
    EXPECT_NE(failureOf([&] { hidden.click(); }).find("not visible"), std::string::npos);
    EXPECT_NE(failureOf([&] { hidden.type("x"); }).find("not visible"), std::string::npos);

    Control missing = window.control(999);
    EXPECT_FALSE(missing.exists());
    EXPECT_FALSE(missing.visible());
    std::string noSuch = failureOf([&] { missing.text(); });
    EXPECT_NE(noSuch.find("no such control"), std::string::npos) << noSuch;
    // The message shows what the window has instead.
    EXPECT_NE(noSuch.find("\"Ask\""), std::string::npos) << noSuch;

    // A control inside a child window is found by its identifier too.
    EXPECT_EQ(window.control(kTargetTree).className(), "SysTreeView32");
    SIZE client = window.clientSize();
    EXPECT_GT(client.cx, 400);
    EXPECT_GT(client.cy, 250);
}

TEST_F(DriverSelfTest, ReadsAndClicksTreeItems)
{
    Program& target = startTarget();
    Window window = mainWindow(target);
    // The container holds the tree: both name it.
    Control tree = window.control(kTargetTreeBox);
    EXPECT_EQ(tree.treeChildren({}), (std::vector<std::string>{"Computer"}));
    EXPECT_EQ(tree.treeChildren({"Computer"}), (std::vector<std::string>{"C:\\", "D:\\"}));
    EXPECT_EQ(tree.treeChildren({"Computer", "C:\\"}), (std::vector<std::string>{"Program Files", "Windows"}));
    EXPECT_TRUE(tree.treeSelection().empty());

    tree.treeClick({"Computer", "C:\\", "Windows"});
    EXPECT_EQ(tree.treeSelection(), (std::vector<std::string>{"Computer", "C:\\", "Windows"}));
    // The program heard of it as of a user's click.
    expectText(window.control(kTargetTreeSelection), "Computer/C:\\/Windows");

    window.control(kTargetTree).treeClick({"Computer", "D:\\", "Apps"});
    expectText(window.control(kTargetTreeSelection), "Computer/D:\\/Apps");

    std::string missing = failureOf([&] { tree.treeClick({"Computer", "E:\\"}); });
    EXPECT_NE(missing.find("no item \"E:\\\" below \"Computer\"; there are: \"C:\\\", \"D:\\\""), std::string::npos)
        << missing;
}

TEST_F(DriverSelfTest, AWaitThatTimesOutFailsClearlyInTime)
{
    Program& target = startTarget();
    mainWindow(target);

    double started = nowMs();
    std::string noWindow = failureOf([&] { target.waitForWindow("Installation", 300); });
    double took = nowMs() - started;
    EXPECT_GE(took, 300);
    EXPECT_LT(took, 3000);
    EXPECT_NE(noWindow.find("timed out after 300 ms waiting for a window captioned \"Installation\""),
              std::string::npos)
        << noWindow;
    // What was there instead: the program's window with its controls.
    EXPECT_NE(noWindow.find("\"E2E Target\""), std::string::npos) << noWindow;
    EXPECT_NE(noWindow.find("\"Quit\""), std::string::npos) << noWindow;

    std::string noBox = failureOf([&] { target.waitForMessageBox(200); });
    EXPECT_NE(noBox.find("timed out after 200 ms waiting for a message box"), std::string::npos) << noBox;

    std::string custom = failureOf([&] { waitUntil([] { return false; }, "the moon", 100, [] { return "the sun"; }); });
    EXPECT_EQ(custom, "timed out after 100 ms waiting for the moon; seen instead: the sun");

    target.expectNoMessageBox(200);
    target.findWindow(kTargetCaption).control(kTargetAsk).click();
    started = nowMs();
    std::string unexpected = failureOf([&] { target.expectNoMessageBox(5000); });
    EXPECT_LT(nowMs() - started, 4000);
    EXPECT_NE(unexpected.find("\"Do you want to go on ?\""), std::string::npos) << unexpected;
}

TEST_F(DriverSelfTest, AProgramThatEndsWhileAwaitedFailsAtOnce)
{
    writeFile(sandbox().start() + "exitcode.txt", "3");
    Program& target = startTarget();
    mainWindow(target).control(kTargetQuit).click();
    double started = nowMs();
    std::string ended = failureOf([&] { target.waitForWindow("Installation", 10000); });
    EXPECT_LT(nowMs() - started, 5000);
    EXPECT_NE(ended.find("ended with exit code 3"), std::string::npos) << ended;
}

TEST_F(DriverSelfTest, AProgramThatDoesNotEndIsEnded)
{
    Program& target = startTarget();
    mainWindow(target);
    std::string late = failureOf([&] { target.waitForExit(300); });
    EXPECT_NE(late.find("timed out after 300 ms waiting for e2e_target.exe to end"), std::string::npos) << late;
    EXPECT_NE(late.find("ended it"), std::string::npos) << late;
    EXPECT_FALSE(target.running());
}

TEST_F(DriverSelfTest, AHungProgramFailsTheReadInsteadOfBlocking)
{
    Program& target = startTarget();
    Window window = mainWindow(target);
    window.control(kTargetHang).click();
    Sleep(200);
    int old = setMessageTimeout(500);
    double started = nowMs();
    std::string hung = failureOf([&] { window.control(kTargetField).text(); });
    setMessageTimeout(old);
    EXPECT_LT(nowMs() - started, 3000);
    EXPECT_NE(hung.find("no answer from the program within 500 ms"), std::string::npos) << hung;
    // The teardown ends it.
}

TEST_F(DriverSelfTest, TheTeardownEndsWhatIsStillRunning)
{
    Program& tracked = startTarget();
    mainWindow(tracked);
    HANDLE trackedProcess = OpenProcess(SYNCHRONIZE, FALSE, tracked.pid());
    ASSERT_TRUE(trackedProcess);

    // A program started behind the driver's back from the sandbox, as an
    // installed client would be.
    std::string copy = sandbox().path("bin\\client.exe");
    makeDirectories(sandbox().path("bin"));
    ASSERT_TRUE(CopyFileA(targetExe().c_str(), copy.c_str(), FALSE));
    Program untracked = Program::shellOpen(copy, sandbox().temp());
    untracked.waitForWindow(kTargetCaption);
    HANDLE untrackedProcess = OpenProcess(SYNCHRONIZE, FALSE, untracked.pid());
    ASSERT_TRUE(untrackedProcess);
    Program found = Program::byWindow(kTargetCaption);
    EXPECT_TRUE(found.pid() == tracked.pid() || found.pid() == untracked.pid());

    std::string root = sandbox().root();
    TearDown();
    EXPECT_TRUE(processEnded(trackedProcess));
    EXPECT_TRUE(processEnded(untrackedProcess));
    EXPECT_FALSE(pathExists(root));
    CloseHandle(trackedProcess);
    CloseHandle(untrackedProcess);
    SetUp();
}

TEST_F(DriverSelfTest, EndsLeftoversByProgramPlace)
{
    std::string copy = sandbox().path("bin\\other.exe");
    makeDirectories(sandbox().path("bin"));
    ASSERT_TRUE(CopyFileA(targetExe().c_str(), copy.c_str(), FALSE));
    {
        Program scoped = Program::start(copy, sandbox().start(), sandbox().temp());
        scoped.waitForWindow(kTargetCaption);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, scoped.pid());
        std::vector<std::string> ended = endLeftoverProcesses({}, sandbox().root());
        ASSERT_EQ(ended.size(), 1u);
        EXPECT_NE(ended[0].find("other.exe"), std::string::npos) << ended[0];
        EXPECT_TRUE(processEnded(process));
        CloseHandle(process);
        EXPECT_TRUE(endLeftoverProcesses({}, sandbox().root()).empty());
    }
    // A Program going out of scope ends what it started.
    HANDLE process = nullptr;
    {
        Program scoped = Program::start(copy, sandbox().start(), sandbox().temp());
        process = OpenProcess(SYNCHRONIZE, FALSE, scoped.pid());
        scoped.waitForWindow(kTargetCaption);
    }
    EXPECT_TRUE(processEnded(process));
    CloseHandle(process);
}

TEST_F(DriverSelfTest, SandboxAndFiles)
{
    EXPECT_TRUE(directoryExists(sandbox().start()));
    EXPECT_TRUE(directoryExists(sandbox().temp()));
    EXPECT_FALSE(pathExists(sandbox().install()));
    EXPECT_EQ(sandbox().root().substr(0, 8), "C:\\e2e\\D");

    writeFile(sandbox().path("a\\b\\c.txt"), std::string("x\0y\r\n", 5));
    writeFile(sandbox().path("a\\d.txt"), "");
    makeDirectories(sandbox().path("a\\e\\"));
    EXPECT_EQ(readFile(sandbox().path("a\\b\\c.txt")), std::string("x\0y\r\n", 5));
    EXPECT_EQ(fileSize(sandbox().path("a\\b\\c.txt")), 5);
    EXPECT_EQ(fileSize(sandbox().path("a\\d.txt")), 0);
    EXPECT_EQ(fileSize(sandbox().path("a\\b")), -2);
    EXPECT_EQ(fileSize(sandbox().path("a\\b\\")), -2);
    EXPECT_EQ(fileSize(sandbox().path("a\\none")), -1);
    EXPECT_EQ(listTree(sandbox().path("a")), (std::vector<std::string>{"b\\", "b\\c.txt", "d.txt", "e\\"}));
    EXPECT_NE(failureOf([&] { readFile(sandbox().path("a\\none")); }).find("a\\none"), std::string::npos);

    SetFileAttributesA(sandbox().path("a\\b\\c.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesA(sandbox().path("a\\b").c_str(), FILE_ATTRIBUTE_READONLY);
    removePath(sandbox().path("a"));
    EXPECT_FALSE(pathExists(sandbox().path("a")));

    EXPECT_EQ(windowsPath("/work/build/x.exe"), "Z:\\work\\build\\x.exe");
    EXPECT_EQ(windowsPath("C:\\x"), "C:\\x");
    EXPECT_EQ(joinPath("C:\\a", "b"), "C:\\a\\b");
    EXPECT_EQ(joinPath("C:\\a\\", "b"), "C:\\a\\b");
    std::string programs = specialFolder(CSIDL_PROGRAMS);
    EXPECT_EQ(programs.back(), '\\');
    EXPECT_TRUE(directoryExists(programs)) << programs;

    // Paths outside the sandbox that a test made go with it.
    std::string outside = "C:\\e2e-outside-" + std::to_string(GetCurrentProcessId());
    makeDirectories(outside);
    sandbox().removeAtEnd(outside);
    std::string root = sandbox().root();
    TearDown();
    EXPECT_FALSE(pathExists(outside));
    EXPECT_FALSE(pathExists(root));
    SetUp();
}

TEST_F(DriverSelfTest, ShortcutsAreWrittenReadAndOpened)
{
    std::string copy = sandbox().path("bin\\target.exe");
    makeDirectories(sandbox().path("bin"));
    makeDirectories(sandbox().path("work"));
    ASSERT_TRUE(CopyFileA(targetExe().c_str(), copy.c_str(), FALSE));
    Shortcut written;
    written.target = copy;
    written.workingDirectory = sandbox().path("work");
    written.description = "The target";
    written.showCommand = SW_SHOWMAXIMIZED;
    written.hotkey = MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT);
    std::string link = sandbox().path("Target.lnk");
    writeShortcut(link, written);

    Shortcut read = readShortcut(link);
    EXPECT_EQ(read.target, copy);
    EXPECT_EQ(read.workingDirectory, sandbox().path("work"));
    EXPECT_EQ(read.description, "The target");
    EXPECT_EQ(read.arguments, "");
    EXPECT_EQ(read.showCommand, SW_SHOWMAXIMIZED);
    EXPECT_EQ(read.hotkey, MAKEWORD('T', HOTKEYF_CONTROL | HOTKEYF_ALT));
    EXPECT_NE(failureOf([&] { readShortcut(sandbox().path("none.lnk")); }).find("none.lnk"), std::string::npos);

    // Opened through the shell, the program starts in the link's working directory.
    Program& opened = keep(Program::shellOpen(link, sandbox().temp()));
    opened.waitForWindow(kTargetCaption);
    EXPECT_EQ(opened.name(), "target.exe");
    std::string report = sandbox().temp() + "target-temp.txt";
    waitUntil([&] { return fileExists(report); }, report);
    EXPECT_NE(readFile(report).find("CWD=" + sandbox().path("work") + "\r\n"), std::string::npos) << readFile(report);
}

TEST_F(DriverSelfTest, ScreenshotsGoWhereTheVariableSays)
{
    const char* before = getenv("TALVERA_SCREENSHOT_DIR");
    std::string saved = before ? before : "";
    Program& target = startTarget();
    Window window = mainWindow(target);

    _putenv_s("TALVERA_SCREENSHOT_DIR", "");
    EXPECT_EQ(screenshot("none"), "");

    _putenv_s("TALVERA_SCREENSHOT_DIR", (sandbox().root() + "shots").c_str());
    std::string whole = screenshot("screen");
    std::string part = screenshot("window", window.handle());
    _putenv_s("TALVERA_SCREENSHOT_DIR", saved.c_str());

    EXPECT_EQ(whole, sandbox().root() + "shots\\screen.png");
    std::string png = readFile(whole);
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    // Width and height in the header: the screen, then the window.
    auto dimension = [](const std::string& bytes, int offset) {
        const unsigned char* p = (const unsigned char*)bytes.data() + offset;
        return (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    };
    EXPECT_EQ(dimension(png, 16), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(dimension(png, 20), GetSystemMetrics(SM_CYSCREEN));
    RECT rect;
    GetWindowRect(window.handle(), &rect);
    std::string windowPng = readFile(part);
    EXPECT_EQ(dimension(windowPng, 16), rect.right - rect.left);
    EXPECT_EQ(dimension(windowPng, 20), rect.bottom - rect.top);
}

}  // namespace
