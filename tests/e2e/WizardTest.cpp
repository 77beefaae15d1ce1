// The wizard's pages seen from outside, driven as a user would: what each
// page shows, the licence gate, the component choice and what it leaves in
// TEMP, the directory field and folder tree that mirror each other, the
// empty directory, and the abort question on every page. Also: a
// riched20.dll planted beside Setup.exe is never loaded.
#include "Driver.h"
#include "PayloadFiles.h"
#include "SetupControls.h"

#include <shlobj.h>

#include <algorithm>

using namespace e2e;
using namespace setup;

namespace {

using e2e::Control;

// A message sent to the program under test; fails when it doesn't answer.
LRESULT ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kMessageTimeoutMs, &result))
        throw Failure(what + ": no answer from the program within " + std::to_string(kMessageTimeoutMs) + " ms");
    return (LRESULT)result;
}

// Every control number of the wizard window.
const int kWizardControls[] = {
    boxWelcome, imgWelcome, frmBody, frmHeader, txtCopyright, imgSide, btnCancel, btnNext,
    imgHeader, edtLicense, txtPrompt, optAgree, optDisagree, txtInstallDir, fldInstallDir,
    treeInstallDir, txtShortcutDir, fldShortcutDir, txtStatus, barProgress, lstLog, chkSources, chkMain,
};

const char* const kInstallDirPrompt = "Choose directory where you want to install Talvera Client :";
const char* const kShortcutPrompt = "Choose directory where you want to install shortcuts : (leave blank if not)";

// What one page shows: its visible controls, with the text each must have
// (nullptr: not looked at), and the controls that must be gone by then.
struct PageView {
    const char* name;
    std::vector<std::pair<int, const char*>> visible;
    std::vector<int> freed;
};

const PageView kPages[] = {
    {"welcome",
     {{boxWelcome, nullptr}, {imgWelcome, nullptr}, {imgSide, nullptr}, {frmBody, ""}, {btnCancel, "Cancel"},
      {btnNext, "Next >"}},
     {}},
    {"licence",
     {{imgHeader, nullptr}, {frmHeader, ""}, {txtCopyright, nullptr}, {frmBody, ""}, {btnCancel, "Cancel"},
      {btnNext, "Next >"}, {txtPrompt, "Read license :"}, {edtLicense, nullptr}, {optAgree, "I agree"},
      {optDisagree, "I don't agree"}},
     {boxWelcome, imgWelcome, imgSide}},
    {"components",
     {{imgHeader, nullptr}, {frmHeader, ""}, {txtCopyright, nullptr}, {frmBody, ""}, {btnCancel, "Cancel"},
      {btnNext, "Next >"}, {txtPrompt, "Select elements that setup will install :"}, {chkMain, "Main program"},
      {chkSources, "Sources"}},
     {boxWelcome, imgWelcome, imgSide, edtLicense, optAgree, optDisagree}},
    {"directory",
     {{imgHeader, nullptr}, {frmHeader, ""}, {txtCopyright, nullptr}, {frmBody, ""}, {btnCancel, "Cancel"},
      {btnNext, "Next >"}, {txtInstallDir, kInstallDirPrompt}, {fldInstallDir, nullptr}, {treeInstallDir, nullptr}},
     {boxWelcome, imgWelcome, imgSide, edtLicense, optAgree, optDisagree, txtPrompt, chkMain, chkSources}},
    {"shortcut",
     {{imgHeader, nullptr}, {frmHeader, ""}, {txtCopyright, nullptr}, {frmBody, ""}, {btnCancel, "Cancel"},
      {btnNext, "Install"}, {txtShortcutDir, kShortcutPrompt}, {fldShortcutDir, "\\Talvera"}},
     {boxWelcome, imgWelcome, imgSide, edtLicense, optAgree, optDisagree, txtPrompt, chkMain, chkSources,
      txtInstallDir, fldInstallDir, treeInstallDir}},
};

// A control that a page's Next handler makes visible; the handler has
// finished once the program takes a message sent after that.
const int kPageMarker[] = {btnNext, txtPrompt, chkSources, txtInstallDir, fldShortcutDir};

// ---- Waiting for the program -----------------------------------------------

// Returns once the program has taken every message posted to it so far and
// handled what followed from them: a posted EM_SETLIMITTEXT with a fresh
// value reaches `field` only after everything posted before it. Two rounds,
// because handling the first messages may post more (the folder tree's
// selection changes).
void waitUntilHandled(const Control& field)
{
    static unsigned serial = 0;
    HWND edit = field.handle();
    if (!edit)
        throw Failure("waiting for the program: control " + std::to_string(field.id()) + " is gone");
    for (int round = 0; round < 2; round++) {
        // Above any text that is typed here, so typing is never cut short.
        LPARAM mark = 40000 + (LPARAM)(++serial % 20000);
        PostMessageA(edit, EM_SETLIMITTEXT, (WPARAM)mark, 0);
        double end = nowMs() + kTimeoutMs;
        while (ask(edit, EM_GETLIMITTEXT, 0, 0, "reading a field's limit") != mark) {
            if (nowMs() > end)
                throw Failure("the program did not take a posted message within " + std::to_string(kTimeoutMs) +
                              " ms");
            Sleep(1);
        }
    }
}

// Returns once the program is back in its loop (a sent message is taken
// only between two handlers).
void waitUntilIdle(const Window& wizard)
{
    ask(wizard.handle(), WM_NULL, 0, 0, "waiting for the wizard to finish a page");
}

void pressNext(const Window& wizard, int page)
{
    wizard.control(btnNext).click();
    int marker = kPageMarker[page];
    waitUntil([&] { return wizard.control(marker).visible(); },
              std::string("the ") + kPages[page].name + " page after Next", kTimeoutMs,
              [&] { return wizard.describe(); });
    waitUntilIdle(wizard);
}

// ---- What a page shows -------------------------------------------------

void expectPage(const Window& wizard, int page)
{
    const PageView& view = kPages[page];
    SCOPED_TRACE(std::string("page ") + std::to_string(page) + " (" + view.name + ")");
    for (int id : kWizardControls) {
        auto wanted = std::find_if(view.visible.begin(), view.visible.end(),
                                   [&](const std::pair<int, const char*>& c) { return c.first == id; });
        bool shouldShow = wanted != view.visible.end();
        EXPECT_EQ(wizard.control(id).visible(), shouldShow) << wizard.control(id).describe();
        if (shouldShow && wanted->second) {
            EXPECT_EQ(wizard.control(id).text(), wanted->second) << "control " << id;
        }
    }
    for (int id : view.freed)
        EXPECT_FALSE(wizard.control(id).exists()) << "control " << id << " should have been freed";
    if (page > 0) {
        EXPECT_FALSE(wizard.control(txtCopyright).enabled()) << "the copyright line is shown greyed";
    }
}

// Everything a user could see of the wizard, to compare before and after a
// question that must change nothing.
std::string pageState(const Window& wizard)
{
    std::string state = wizard.caption() + (wizard.enabled() ? "" : " (disabled)") + "\n";
    for (int id : kWizardControls) {
        Control control = wizard.control(id);
        state += std::to_string(id) + ": ";
        if (!control.exists()) {
            state += "none\n";
            continue;
        }
        std::string text = control.text();
        if (text.size() > 80)
            text = text.substr(0, 80) + "... (" + std::to_string(text.size()) + " characters)";
        state += std::string(control.visible() ? "shown" : "hidden") + (control.enabled() ? "" : ", disabled") +
                 ", \"" + text + "\"";
        if (id == optAgree || id == optDisagree || id == chkMain || id == chkSources)
            state += control.checkState() ? ", checked" : ", not checked";
        state += "\n";
    }
    return state;
}

enum class AbortBy { CancelButton, CloseBox };

MsgBox askToAbort(const Program& program, const Window& wizard, AbortBy how)
{
    if (how == AbortBy::CancelButton)
        wizard.control(btnCancel).click();
    else
        wizard.pressCloseBox();
    MsgBox question = program.waitForMessageBox();
    EXPECT_EQ(question.title, "Caution");
    EXPECT_EQ(question.text, "Do you want to abort Talvera install ?");
    EXPECT_EQ(question.flags(), MB_ICONWARNING | MB_YESNO) << question.describe();
    return question;
}

// No: the wizard and TEMP stay exactly as they were.
void abortButNo(const Program& program, const Window& wizard, const std::string& temp, AbortBy how)
{
    SCOPED_TRACE(how == AbortBy::CancelButton ? "Cancel, then No" : "close box, then No");
    std::string before = pageState(wizard);
    std::vector<std::string> files = listTree(temp);
    askToAbort(program, wizard, how).press(IDNO);
    waitUntil([&] { return wizard.enabled(); }, "the wizard to be usable again after No");
    waitUntilIdle(wizard);
    program.expectNoMessageBox(300);
    EXPECT_TRUE(program.running());
    EXPECT_EQ(pageState(wizard), before);
    EXPECT_EQ(listTree(temp), files);
}

// Yes: every staged file is deleted and the program ends with exit code 0.
void abortWithYes(Program& program, const Window& wizard, const std::string& temp, AbortBy how)
{
    askToAbort(program, wizard, how).press(IDYES);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_TRUE(listTree(temp).empty()) << ::testing::PrintToString(listTree(temp));
}

// ---- Texts ---------------------------------------------------------------

std::string withUnixLineEnds(const std::string& text)
{
    std::string result;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r') {
            result += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                i++;
        } else {
            result += text[i];
        }
    }
    return result;
}

// ---- The folder tree -----------------------------------------------------

// The path of the folder selected in the tree ("" for none or the root):
// the drive's letter taken from its label, then the folders' labels.
std::string selectedFolder(const Control& tree)
{
    std::vector<std::string> labels = tree.treeSelection();
    if (labels.size() < 2)
        return "";
    size_t colon = labels[1].find(':');
    if (colon == std::string::npos || colon == 0)
        throw Failure("the drive item " + labels[1] + " names no drive letter");
    std::string path = labels[1].substr(colon - 1, 1) + ":\\";
    for (size_t i = 2; i < labels.size(); i++)
        path += labels[i] + "\\";
    return path;
}

// The tree's labels from its root down to the folder `path` (ending in '\').
std::vector<std::string> treeItemOf(const Control& tree, const std::string& path)
{
    std::vector<std::string> top = tree.treeChildren({});
    if (top.size() != 1)
        throw Failure("the tree has " + std::to_string(top.size()) + " items at its top instead of one");
    std::vector<std::string> item = {top[0]};
    std::string drive = path.substr(0, 2);
    for (const std::string& label : tree.treeChildren(item))
        if (label.find(drive) != std::string::npos)
            item.push_back(label);
    if (item.size() != 2)
        throw Failure("the tree has no single item for the drive " + drive);
    for (size_t at = 3; at < path.size();) {
        size_t slash = path.find('\\', at);
        item.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return item;
}

// Types like a user: one character at a time, each handled by the program
// (with the tree's answer to it) before the next. With `replace` the first
// character replaces the whole text, as after selecting it.
void typeSlowly(const Control& field, const std::string& chars, bool replace = false)
{
    if (replace)
        field.selectAll();
    for (size_t i = 0; i < chars.size(); i++) {
        // The caret stands at the start after a text was set.
        if (i > 0 || !replace)
            field.caretToEnd();
        std::string expected = (i == 0 && replace ? "" : field.text()) + chars[i];
        PostMessageA(field.handle(), WM_CHAR, (unsigned char)chars[i], 1);
        waitUntil([&] { return field.text() == expected; }, "the field to show " + expected, kTimeoutMs,
                  [&] { return field.text(); });
        waitUntilHandled(field);
    }
}

class WizardFlow : public e2e::Test {
protected:
    Program& startSetup()
    {
        Program& program = start(setupExe());
        wizard_ = program.waitForWindow(kWizardCaption);
        return program;
    }
    // From the welcome page to the directory page, with or without the sources.
    void walkToDirectoryPage(bool sources)
    {
        pressNext(wizard_, 1);
        wizard_.control(optAgree).click();
        waitUntil([&] { return wizard_.control(btnNext).enabled(); }, "Next enabled by \"I agree\"");
        pressNext(wizard_, 2);
        if (sources) {
            wizard_.control(chkSources).click();
            waitUntil([&] { return wizard_.control(chkSources).checkState() == 1; }, "Sources checked");
        }
        pressNext(wizard_, 3);
    }
    std::string temp() { return sandbox().temp(); }
    Window wizard_;
};

TEST_F(WizardFlow, WalkWithoutSourcesAndAbortQuestionsOnEveryPage)
{
    Program& program = startSetup();
    const Window& wizard = wizard_;

    // Welcome.
    expectPage(wizard, 0);
    EXPECT_TRUE(wizard.control(btnNext).enabled());
    screenshot("wizard-1-welcome", wizard.handle());
    abortButNo(program, wizard, temp(), AbortBy::CloseBox);

    // Licence: the whole licence text, and Next only while "I agree" is selected.
    pressNext(wizard, 1);
    expectPage(wizard, 1);
    EXPECT_FALSE(wizard.control(btnNext).enabled()) << "Next before any choice";
    EXPECT_EQ(wizard.control(optAgree).checkState(), 0);
    EXPECT_EQ(wizard.control(optDisagree).checkState(), 0);
    std::string licence = withUnixLineEnds(readFile(sandbox().temp() + "gpl.txt"));
    if (!licence.empty() && licence.back() == '\n')
        licence.pop_back();
    std::string shown = withUnixLineEnds(wizard.control(edtLicense).text());
    EXPECT_EQ(shown.substr(0, shown.find('\n')), licence.substr(0, licence.find('\n'))) << "the first line";
    EXPECT_TRUE(shown == licence) << "the editor holds " << shown.size() << " characters, the licence "
                                  << licence.size();
    struct GateStep {
        int option;
        bool nextEnabled;
    };
    const GateStep gate[] = {{optAgree, true}, {optDisagree, false}, {optAgree, true}};
    for (const GateStep& step : gate) {
        wizard.control(step.option).click();
        waitUntil([&] { return wizard.control(btnNext).enabled() == step.nextEnabled; },
                  std::string("Next ") + (step.nextEnabled ? "enabled" : "disabled") + " after clicking control " +
                      std::to_string(step.option),
                  kTimeoutMs, [&] { return wizard.describe(); });
        EXPECT_EQ(wizard.control(optAgree).checkState(), step.option == optAgree ? 1 : 0);
        EXPECT_EQ(wizard.control(optDisagree).checkState(), step.option == optDisagree ? 1 : 0);
    }
    screenshot("wizard-2-licence", wizard.handle());
    abortButNo(program, wizard, temp(), AbortBy::CancelButton);

    // Components: the main program checked and greyed, the sources not chosen.
    pressNext(wizard, 2);
    expectPage(wizard, 2);
    EXPECT_EQ(wizard.control(chkMain).checkState(), 1);
    EXPECT_FALSE(wizard.control(chkMain).enabled());
    EXPECT_EQ(wizard.control(chkSources).checkState(), 0);
    EXPECT_TRUE(wizard.control(chkSources).enabled());
    EXPECT_TRUE(wizard.control(btnNext).enabled());
    EXPECT_EQ(listTree(temp()), payloadNames(true));
    screenshot("wizard-3-components", wizard.handle());
    abortButNo(program, wizard, temp(), AbortBy::CloseBox);

    // Directory: the unchosen sources have left TEMP; Program Files proposed.
    pressNext(wizard, 3);
    expectPage(wizard, 3);
    EXPECT_EQ(listTree(temp()), payloadNames(false));
    const std::string programFiles = specialFolder(CSIDL_PROGRAM_FILES);
    EXPECT_EQ(wizard.control(fldInstallDir).text(), programFiles + "Talvera");
    EXPECT_EQ(selectedFolder(wizard.control(treeInstallDir)), programFiles);
    screenshot("wizard-4-directory", wizard.handle());
    abortButNo(program, wizard, temp(), AbortBy::CancelButton);

    // Shortcut folder.
    pressNext(wizard, 4);
    expectPage(wizard, 4);
    screenshot("wizard-5-shortcut", wizard.handle());
    abortButNo(program, wizard, temp(), AbortBy::CloseBox);

    abortWithYes(program, wizard, temp(), AbortBy::CancelButton);
}

TEST_F(WizardFlow, SourcesChosenStayInTemp)
{
    Program& program = startSetup();
    walkToDirectoryPage(true);
    expectPage(wizard_, 3);
    EXPECT_EQ(listTree(temp()), payloadNames(true));
    abortWithYes(program, wizard_, temp(), AbortBy::CloseBox);
}

// Without its licence text the licence page still works: the editor
// stays empty, nothing is said, and "I agree" still opens the way.
TEST_F(WizardFlow, MissingLicenceLeavesTheEditorEmpty)
{
    Program& program = startSetup();
    removePath(temp() + "gpl.txt");
    pressNext(wizard_, 1);
    program.expectNoMessageBox(300);
    expectPage(wizard_, 1);
    EXPECT_EQ(wizard_.control(edtLicense).text(), "");
    wizard_.control(optAgree).click();
    waitUntil([&] { return wizard_.control(btnNext).enabled(); }, "Next enabled by \"I agree\"");
    pressNext(wizard_, 2);
    expectPage(wizard_, 2);
    abortWithYes(program, wizard_, temp(), AbortBy::CancelButton);
}

// The field holds the tree's folder followed by "Talvera"; typing moves the
// tree, clicking in the tree fills the field, and the tree's answer to a
// typed path is not echoed back into the field.
TEST_F(WizardFlow, DirectoryFieldAndTreeMirrorEachOther)
{
    const std::string base = sandbox().path("tree\\");
    makeDirectories(base + "Apps");
    makeDirectories(base + "Tools");

    Program& program = startSetup();
    walkToDirectoryPage(false);
    Control field = wizard_.control(fldInstallDir);
    Control tree = wizard_.control(treeInstallDir);

    struct Click {
        const char* folder;     // below base
        const char* fieldThen;  // below base; nullptr: the field keeps the typed text
    };
    struct Case {
        const char* typed;       // after the sandbox's path, or alone over the whole text
        bool alone;
        const char* treeFolder;  // below base; nullptr: nothing selected
        std::vector<Click> clicks;
    };
    const Case cases[] = {
        {"Apps\\Talvera", false, "Apps\\", {{"Tools\\", "Tools\\Talvera"}}},
        {"Apps\\Other", false, "Apps\\", {{"Tools\\", "Tools\\Talvera"}}},
        {"MyTalvera", false, "", {{"Apps\\", "Apps\\Talvera"}}},
        {"Missing\\Talvera", false, nullptr, {{"Apps\\", nullptr}, {"Tools\\", "Tools\\Talvera"}}},
        // Without the product name nothing is left to select.
        {"Talvera", true, nullptr, {{"Apps\\", nullptr}, {"Tools\\", "Tools\\Talvera"}}},
    };
    for (const Case& c : cases) {
        const std::string typed = c.alone ? c.typed : base + c.typed;
        SCOPED_TRACE("typed " + typed);
        if (!c.alone) {
            // The sandbox's part of the path is pasted, the rest typed.
            field.setText(base);
            waitUntilHandled(field);
            ASSERT_EQ(field.text(), base) << "the tree's answer to a pasted path came back into the field";
        }
        typeSlowly(field, c.typed, c.alone);
        EXPECT_EQ(field.text(), typed);
        EXPECT_EQ(selectedFolder(tree), c.treeFolder ? base + c.treeFolder : "");
        for (const Click& click : c.clicks) {
            SCOPED_TRACE(std::string("clicked ") + base + click.folder);
            std::string before = field.text();
            tree.treeClick(treeItemOf(tree, base + click.folder));
            waitUntilHandled(field);
            EXPECT_EQ(field.text(), click.fieldThen ? base + click.fieldThen : before);
        }
    }

    // An empty field: the error, the page stays, and Next now reads "Install".
    field.selectAll();
    field.type("\b");
    waitUntil([&] { return field.text().empty(); }, "the field emptied");
    waitUntilHandled(field);
    wizard_.control(btnNext).click();
    MsgBox error = program.waitForMessageBox();
    EXPECT_EQ(error.title, "Error");
    EXPECT_EQ(error.text, "Enter a directory !");
    EXPECT_EQ(error.flags(), MB_ICONERROR | MB_OK) << error.describe();
    error.press(IDOK);
    waitUntil([&] { return wizard_.enabled(); }, "the wizard usable again");
    waitUntilIdle(wizard_);
    for (int id : {txtInstallDir, fldInstallDir, treeInstallDir})
        EXPECT_TRUE(wizard_.control(id).visible()) << wizard_.control(id).describe();
    EXPECT_FALSE(wizard_.control(fldShortcutDir).visible());
    EXPECT_EQ(wizard_.control(btnNext).text(), "Install");

    // With a directory the same button builds the shortcut page.
    typeSlowly(field, "X");
    pressNext(wizard_, 4);
    expectPage(wizard_, 4);
    abortWithYes(program, wizard_, temp(), AbortBy::CloseBox);
}

// Wine prefers its own riched20 to one found elsewhere, where Windows takes
// the first it finds. While this lives, the named programs behave like
// Windows: a per-program DLL override in Wine's part of the registry
// (meaningless to Windows itself). Only what it added is removed again.
class NativeRichEditFirst {
public:
    explicit NativeRichEditFirst(const std::vector<std::string>& programs)
    {
        for (const std::string& program : programs) {
            std::string app = "Software\\Wine\\AppDefaults\\" + program;
            bool appExisted = keyExists(app);
            HKEY key;
            if (RegCreateKeyExA(HKEY_CURRENT_USER, (app + "\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS)
                throw Failure("can't write the DLL override for " + program);
            const char value[] = "native,builtin";
            RegSetValueExA(key, "riched20", 0, REG_SZ, (const BYTE*)value, sizeof value);
            RegCloseKey(key);
            added_.push_back({app, appExisted});
        }
    }
    ~NativeRichEditFirst()
    {
        for (const Added& added : added_) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, (added.app + "\\DllOverrides").c_str(), 0, KEY_SET_VALUE, &key) ==
                ERROR_SUCCESS) {
                RegDeleteValueA(key, "riched20");
                RegCloseKey(key);
            }
            if (!added.existed) {
                RegDeleteKeyA(HKEY_CURRENT_USER, (added.app + "\\DllOverrides").c_str());
                RegDeleteKeyA(HKEY_CURRENT_USER, added.app.c_str());
            }
        }
    }

private:
    static bool keyExists(const std::string& path)
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }
    struct Added {
        std::string app;
        bool existed;
    };
    std::vector<Added> added_;
};

// Setup.exe is usually started from a downloads folder, where anything may
// lie beside it: its rich edit library must come from the system.
TEST_F(WizardFlow, PlantedRichEditBesideSetupIsNotLoaded)
{
    const std::string planted = windowsPath(E2E_PLANTED_DLL);
    const char* const marker = "planted-riched20-loaded.txt";
    NativeRichEditFirst likeWindows({"rundll32.exe", "Setup.exe"});

    // A program that looks for "riched20.dll" by name does load the planted
    // one lying beside it: the system's rundll32, copied next to it.
    const std::string probe = sandbox().path("probe\\");
    makeDirectories(probe);
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, MAX_PATH);
    ASSERT_TRUE(CopyFileA(joinPath(system, "rundll32.exe").c_str(), (probe + "rundll32.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (probe + "riched20.dll").c_str(), FALSE));
    Program& loader = keep(Program::start(probe + "rundll32.exe", probe, temp(), "riched20.dll,Probe"));
    loader.waitForExit();
    ASSERT_TRUE(fileExists(probe + marker)) << "the planted library was not loaded by a program beside it";

    const std::string downloads = sandbox().start();
    ASSERT_TRUE(CopyFileA(setupExe().c_str(), (downloads + "Setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(planted.c_str(), (downloads + "riched20.dll").c_str(), FALSE));
    Program& program = keep(Program::start(downloads + "Setup.exe", downloads, temp()));
    wizard_ = program.waitForWindow(kWizardCaption);
    pressNext(wizard_, 1);

    EXPECT_FALSE(fileExists(downloads + marker)) << "the riched20.dll beside Setup.exe was loaded";
    // The system's rich edit control shows the licence.
    EXPECT_EQ(wizard_.control(edtLicense).className(), "RichEdit20A");
    EXPECT_FALSE(wizard_.control(edtLicense).text().empty());
    abortWithYes(program, wizard_, temp(), AbortBy::CancelButton);
}

}  // namespace
