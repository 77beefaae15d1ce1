// Setup.exe's start in both modes, seen from outside: the installer stages
// its files into the TEMP it was given and opens the wizard; the
// uninstaller, started where Client.exe lies, asks first.
#include "Driver.h"
#include "SetupControls.h"

#include <algorithm>

using namespace e2e;

namespace {

class SetupStart : public e2e::Test {};

TEST_F(SetupStart, InstallModeStagesIntoItsTempAndCancelYesCleansUp)
{
    Program& program = start(setupExe());
    Window wizard = program.waitForWindow(setup::kWizardCaption);
    SIZE client = wizard.clientSize();
    EXPECT_EQ(client.cx, 502);
    EXPECT_EQ(client.cy, 369);
    EXPECT_EQ(wizard.control(setup::btnNext).text(), "Next >");
    EXPECT_EQ(wizard.control(setup::btnCancel).text(), "Cancel");
    EXPECT_TRUE(wizard.control(setup::btnNext).enabled());
    screenshot("setup-start-welcome", wizard.handle());

    std::vector<std::string> staged = listTree(sandbox().temp());
    EXPECT_EQ(staged.size(), 16u) << ::testing::PrintToString(staged);
    for (const char* name : {"Client.exe", "changelog.txt", "gpl.txt"})
        EXPECT_NE(std::find(staged.begin(), staged.end(), name), staged.end()) << name;
    EXPECT_FALSE(pathExists(sandbox().temp() + "Setup.pak"));
    // Nothing lands beside the program's start.
    EXPECT_TRUE(listTree(sandbox().start()).empty());

    // No keeps everything as it was.
    wizard.control(setup::btnCancel).click();
    MsgBox question = program.waitForMessageBox();
    EXPECT_EQ(question.title, "Caution");
    EXPECT_EQ(question.text, "Do you want to abort Talvera install ?");
    EXPECT_EQ(question.flags(), 52);
    question.press(IDNO);
    program.expectNoMessageBox(300);
    EXPECT_TRUE(wizard.visible());
    EXPECT_EQ(listTree(sandbox().temp()), staged);

    // Yes deletes the staged files and ends with exit code 0.
    wizard.control(setup::btnCancel).click();
    program.waitForMessageBox().press(IDYES);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << ::testing::PrintToString(listTree(sandbox().temp()));
}

TEST_F(SetupStart, UninstallModeAsksFirstAndNoTouchesNothing)
{
    const std::string log = "C:\\nowhere\\Talvera\\\r\nC:\\nowhere\\Programs\\Talvera\\";
    writeFile(sandbox().start() + "Client.exe", "");
    writeFile(sandbox().start() + "install.log", log);
    Program& program = start(setupExe());
    MsgBox question = program.waitForMessageBox();
    EXPECT_EQ(question.title, "Question");
    EXPECT_EQ(question.text, "Do you want to uninstall Talvera Client ?");
    EXPECT_EQ(question.flags(), 36);
    EXPECT_FALSE(program.findWindow(setup::kWizardCaption));
    question.press(IDNO);
    EXPECT_EQ(program.waitForExit(), 0);
    EXPECT_EQ(listTree(sandbox().start()), (std::vector<std::string>{"Client.exe", "install.log"}));
    EXPECT_EQ(readFile(sandbox().start() + "install.log"), log);
    EXPECT_TRUE(listTree(sandbox().temp()).empty());
}

}  // namespace
