// Staging seen from outside: the installer writes its carried files into
// the TEMP it was given, exactly as they were packed, and opens the wizard;
// when TEMP can't take them, or the carried pack is damaged, it says so
// once, leaves nothing behind and never shows the wizard.
#include "Driver.h"
#include "PayloadFiles.h"
#include "SetupControls.h"

#include <algorithm>

using namespace e2e;

namespace {

std::string listing(const std::string& dir)
{
    return ::testing::PrintToString(listTree(dir));
}

// Sets up a full run of Setup.exe against a TEMP of the test's choosing.
class Staging : public e2e::Test {
protected:
    Program& startWithTemp(const std::string& exe, const std::string& tempDir)
    {
        return keep(Program::start(exe, sandbox().start(), tempDir));
    }

    // The one message box that a failed staging shows: its title, text and
    // flags, no wizard behind it; OK ends the program with exit code 0 and
    // no further box. `duringBox` runs while the box is open.
    void expectOneErrorThenEnd(Program& program, const std::string& text,
                               const std::function<void()>& duringBox = nullptr)
    {
        std::optional<MsgBox> box;
        waitUntil(
            [&] {
                box = program.findMessageBox();
                return box || program.findWindow(setup::kWizardCaption) || !program.running();
            },
            "the error message", kTimeoutMs, [&] { return program.describe(); });
        if (!box)
            throw Failure("no error message, instead: " + program.describe());
        EXPECT_EQ(box->title, "Error");
        EXPECT_EQ(box->text, text);
        EXPECT_EQ(box->flags(), MB_ICONERROR | MB_OK) << box->describe();
        EXPECT_FALSE(program.findWindow(setup::kWizardCaption)) << program.describe();
        if (duringBox)
            duringBox();
        box->press(IDOK);
        program.expectNoMessageBox(5000);
        EXPECT_EQ(program.waitForExit(), 0);
    }
};

TEST_F(Staging, WritesEveryPayloadFileOverEarlierOnesAndOpensTheWizard)
{
    std::vector<PayloadFile> files = payloadFiles();
    // Left by an earlier run, and larger than what replaces them: a file
    // opened without truncating would keep a tail of the old bytes.
    const std::string earlier(300000, 'x');
    writeFile(sandbox().temp() + "Setup.pak", earlier);
    writeFile(sandbox().temp() + "Client.exe", earlier);

    Program& program = start(setupExe());
    Window wizard = program.waitForWindow(setup::kWizardCaption);
    EXPECT_FALSE(program.findWindow(setup::kWaitCaption)) << "the waiting window is still open";
    EXPECT_TRUE(wizard.control(setup::imgWelcome).visible()) << wizard.describe();
    EXPECT_EQ(wizard.control(setup::btnNext).text(), "Next >");

    EXPECT_EQ(listTree(sandbox().temp()), payloadNames()) << "Setup.pak must be gone, the 16 files there";
    for (const PayloadFile& file : files) {
        std::string expected = readFile(file.hostPath);
        std::string staged = readFile(sandbox().temp() + file.name);
        EXPECT_EQ(staged.size(), expected.size()) << file.name;
        EXPECT_TRUE(staged == expected) << file.name << " differs from " << file.hostPath;
    }
    EXPECT_TRUE(listTree(sandbox().start()).empty()) << listing(sandbox().start());

    wizard.control(setup::btnCancel).click();
    program.waitForMessageBox().press(IDYES);
    EXPECT_EQ(program.waitForExit(), 0);
}

TEST_F(Staging, UnwritableTempGivesOneErrorAndNoWizard)
{
    const std::string notAFolder = sandbox().path("plain-file");
    writeFile(notAFolder, "not a folder");
    struct Case {
        const char* what;
        std::string temp;
    };
    const Case cases[] = {
        {"TEMP names a folder that does not exist", sandbox().path("missing\\")},
        {"TEMP names a file", notAFolder + "\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program& program = startWithTemp(setupExe(), c.temp);
        expectOneErrorThenEnd(program, "Can't create temp file !");
        EXPECT_FALSE(pathExists(sandbox().path("missing")));
        EXPECT_EQ(readFile(notAFolder), "not a folder");
        EXPECT_TRUE(listTree(sandbox().start()).empty()) << listing(sandbox().start());
    }
}

TEST_F(Staging, DamagedPackSaysSoAndLeavesNothing)
{
#ifndef E2E_SETUP_DAMAGED_EXE
    FAIL() << "this test program was built without the Setup build with a damaged pack";
#else
    Program& program = startWithTemp(windowsPath(E2E_SETUP_DAMAGED_EXE), sandbox().temp());
    expectOneErrorThenEnd(program, "Setup data is damaged !");
    EXPECT_TRUE(listTree(sandbox().temp()).empty()) << listing(sandbox().temp());
#endif
}

// T: is a 64 KB disk of its own (scripts/test.sh mounts it). The pack is
// about 45 KB and the staged files about 130 KB, so either the pack itself
// or, when it fits, the files staged from it are cut short.
TEST_F(Staging, FullDiskGivesErrorAndLeavesNothing)
{
    const std::string disk = "T:\\";
    ULARGE_INTEGER available, total;
    if (!GetDiskFreeSpaceExA(disk.c_str(), &available, &total, nullptr))
        GTEST_SKIP() << "no small disk mapped as T: (scripts/test.sh mounts a 64 KB tmpfs there when run as root)";
    ASSERT_LT(total.QuadPart, 1024u * 1024u) << "T: is not the small disk this test fills";
    const std::string root = disk + "e2e-staging\\";
    sandbox().removeAtEnd(root);
    removePath(root);
    const std::string temp = root + "temp\\";
    makeDirectories(temp);
    const long long packSize = fileSize(windowsPath(E2E_SETUP_PACK));
    ASSERT_GT(packSize, 0) << E2E_SETUP_PACK;

    auto freeBytes = [&] {
        ULARGE_INTEGER free;
        GetDiskFreeSpaceExA(disk.c_str(), &free, nullptr, nullptr);
        return (long long)free.QuadPart;
    };

    struct Case {
        const char* what;
        bool packFits;
    };
    const Case cases[] = {{"the pack fits, the staged files don't", true},
                          {"the pack itself is cut short", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.packFits) {
            // Leave 8 KB: far less than the pack.
            long long filler = freeBytes() - 8 * 1024;
            ASSERT_GT(filler, 0);
            writeFile(root + "filler", std::string((size_t)filler, 'f'));
        }
        if (c.packFits)
            ASSERT_GT(freeBytes(), packSize) << "the pack must fit for this case";
        else
            ASSERT_LT(freeBytes(), packSize) << "the pack must not fit for this case";

        Program& program = startWithTemp(setupExe(), temp);
        expectOneErrorThenEnd(program, "Can't create temp file !", [&] {
            // Which write fell short: with the pack written, one of the
            // files staged from it; otherwise the pack, removed at once.
            if (c.packFits)
                EXPECT_EQ(fileSize(temp + "Setup.pak"), packSize) << listing(temp);
            else
                EXPECT_TRUE(listTree(temp).empty()) << listing(temp);
        });
        EXPECT_TRUE(listTree(temp).empty()) << listing(temp);
    }
    EXPECT_EQ(listTree(root), (std::vector<std::string>{"filler", "temp\\"}));
}

}  // namespace
