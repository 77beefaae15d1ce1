// The waiting and wizard windows with real controls, the control
// operations, the event poll and the message box, in-process under Wine.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "Setup.h"
#include "TestSupport.h"

namespace {

class Wizard : public ::testing::Test {
protected:
    void SetUp() override {
        StartPlatform();
        ResetInstallerState();
    }
    void TearDown() override { EndPlatformTest(); }

    // The wizard as start-up leaves it: banners from the carried data.
    void openWizard() {
        state.sideImage = ImageDecodePng(imageSide, SideBannerStart, (int)(SideBannerEnd - SideBannerStart));
        state.headerImage =
            ImageDecodePng(imageHeader, HeaderBannerStart, (int)(HeaderBannerEnd - HeaderBannerStart));
        OpenWizardWindow();
        ASSERT_TRUE(WindowHandle(wndWizard));
        DrainEvents();
    }
    HWND control(int number) { return ControlHandle(number); }
};

// ---------------------------------------------------------------- windows

TEST_F(Wizard, WindowsHaveTheirClientSizeStyleAndAreCentred) {
    struct Case {
        int number;
        void (*open)();
        const char* caption;
        int clientWidth, clientHeight;
        DWORD styleWanted;
        DWORD styleRefused;
    } cases[] = {
        {wndWizard, OpenWizardWindow, "Installation", 502, 369, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
         WS_MAXIMIZEBOX | WS_THICKFRAME},
        // No system menu: no close box.
        {wndWait, OpenWaitWindow, "Please wait...", 150, 50, WS_CAPTION,
         WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        c.open();
        HWND window = WindowHandle(c.number);
        ASSERT_TRUE(window);
        EXPECT_EQ(WindowText(window), c.caption);
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(client.right, c.clientWidth);
        EXPECT_EQ(client.bottom, c.clientHeight);

        LONG style = GetWindowLongA(window, GWL_STYLE);
        EXPECT_EQ(style & c.styleWanted, (LONG)c.styleWanted);
        EXPECT_EQ(style & c.styleRefused, 0);
        EXPECT_TRUE(style & WS_VISIBLE);
        EXPECT_FALSE(GetParent(window));
        EXPECT_FALSE(GetWindow(window, GW_OWNER));

        RECT outer;
        GetWindowRect(window, &outer);
        int width = outer.right - outer.left, height = outer.bottom - outer.top;
        EXPECT_EQ(outer.left, GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2);
        EXPECT_EQ(outer.top, GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2);

        EXPECT_TRUE(GetClassLongA(window, GCL_STYLE) & CS_DBLCLKS);
        EXPECT_EQ(GetClassLongPtrA(window, GCLP_HBRBACKGROUND), (LONG_PTR)(COLOR_BTNFACE + 1));
        EXPECT_EQ((HCURSOR)GetClassLongPtrA(window, GCLP_HCURSOR), LoadCursorA(nullptr, (LPCSTR)IDC_ARROW));
    }
    // Each window has a class of its own.
    EXPECT_NE(ClassName(WindowHandle(wndWizard)), ClassName(WindowHandle(wndWait)));
}

TEST_F(Wizard, ClosingTheWaitingWindowDestroysItsControls) {
    OpenWaitWindow();
    HWND text = control(txtPreparing);
    ASSERT_TRUE(text);
    EXPECT_EQ(ControlGetText(txtPreparing), "Preparing install...");
    WindowClose(wndWait);
    EXPECT_FALSE(IsWindow(text));
    EXPECT_FALSE(WindowHandle(wndWait));
    EXPECT_FALSE(ControlExists(txtWait));
    EXPECT_FALSE(ControlExists(txtPreparing));
    EXPECT_EQ(ControlGetText(txtPreparing), "");
}

// ---------------------------------------------------------------- controls

TEST_F(Wizard, ControlsHaveTheirClassStyleIdentifierPlaceTextAndState) {
    openWizard();
    const DWORD text = WS_GROUP | SS_LEFT;
    const DWORD frame = WS_GROUP | BS_GROUPBOX;
    const DWORD button = WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON;
    const DWORD image = SS_BITMAP | SS_NOTIFY;
    const DWORD editor = WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                         ES_NOHIDESEL | ES_WANTRETURN;
    const DWORD field = WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL;
    const DWORD list =
        WS_VSCROLL | WS_HSCROLL | WS_GROUP | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | LBS_NOTIFY;
    struct Row {
        int number;
        const char* windowClass;
        DWORD style;  // besides WS_CHILD and WS_VISIBLE
        DWORD exStyle;
        int x, y, width, height;
        const char* text;
        bool visible;
        bool enabled;
        bool inContainer;
        // The scroll bars of the editor and the list box come and go with
        // their content, and with them the style bits; pictures and the
        // container keep no font.
        DWORD changing = 0;
        bool keepsFont = true;
    } rows[] = {
        {boxWelcome, "TalveraContainer", 0, 0, 164, 0, 338, 314, "", true, true, false, 0, false},
        {imgWelcome, "Static", image, 0, 0, 0, 338, 314, "", true, true, true, 0, false},
        {frmHeader, "Button", frame, 0, -5, -5, 530, 107, "", false, true, false},
        {frmBody, "Button", frame, 0, -5, -5, 530, 319, "", true, true, false},
        {txtCopyright, "Static", text, 0, 5, 306, 140, 20, nullptr, false, false, false},
        {imgSide, "Static", image, 0, 0, 0, 164, 314, "", true, true, false, 0, false},
        {imgHeader, "Static", image, 0, 0, 0, 500, 100, "", false, true, false, 0, false},
        {btnCancel, "Button", button, 0, 412, 330, 73, 21, "Cancel", true, true, false},
        {btnNext, "Button", button, 0, 322, 330, 73, 21, "Next >", true, true, false},
        {edtLicense, "RichEdit20A", editor | ES_READONLY, WS_EX_CLIENTEDGE, 30, 130, 442, 140, "", false, true,
         false, WS_VSCROLL | WS_HSCROLL, false},
        {txtPrompt, "Static", text, 0, 30, 110, 442, 20, "Read license :", false, true, false},
        {optAgree, "Button", WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON, 0, 30, 275, 442, 15, "I agree", false,
         true, false},
        {optDisagree, "Button", WS_TABSTOP | BS_AUTORADIOBUTTON, 0, 30, 290, 442, 15, "I don't agree", false,
         true, false},
        {txtInstallDir, "Static", text, 0, 30, 110, 442, 20,
         "Choose directory where you want to install Talvera Client :", false, true, false},
        {txtShortcutDir, "Static", text, 0, 30, 110, 442, 20,
         "Choose directory where you want to install shortcuts : (leave blank if not)", false, true, false},
        {fldShortcutDir, "Edit", field, WS_EX_CLIENTEDGE, 30, 150, 442, 20, "\\Talvera", false, true, false},
        {txtStatus, "Static", text, 0, 30, 110, 442, 20, "Installing", false, true, false},
        {barProgress, "msctls_progress32", PBS_SMOOTH, 0, 30, 140, 442, 20, "", false, true, false},
        {lstLog, "ListBox", list, WS_EX_CLIENTEDGE, 30, 170, 442, 109, "", false, true, false,
         WS_VSCROLL | WS_HSCROLL},
    };
    HWND window = WindowHandle(wndWizard);
    for (const Row& r : rows) {
        SCOPED_TRACE("control " + std::to_string(r.number));
        HWND h = control(r.number);
        ASSERT_TRUE(h);
        EXPECT_EQ(lstrcmpiA(ClassName(h).c_str(), r.windowClass), 0) << ClassName(h);
        LONG style = GetWindowLongA(h, GWL_STYLE);
        LONG ignored = WS_VISIBLE | WS_DISABLED | r.changing;
        EXPECT_EQ(style & ~ignored, (LONG)((WS_CHILD | r.style) & ~ignored));
        EXPECT_EQ(GetWindowLongA(h, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY, (LONG)r.exStyle);
        EXPECT_EQ(GetWindowLongA(h, GWL_ID), r.number);
        EXPECT_EQ(GetParent(h), r.inContainer ? control(boxWelcome) : window);
        RECT rect = RectInParent(h);
        EXPECT_EQ(rect.left, r.x);
        EXPECT_EQ(rect.top, r.y);
        EXPECT_EQ(rect.right - rect.left, r.width);
        EXPECT_EQ(rect.bottom - rect.top, r.height);
        if (r.text) {
            EXPECT_EQ(WindowText(h), r.text);
        }
        EXPECT_EQ(IsWindowVisible(h) != 0, r.visible);
        EXPECT_EQ(IsWindowEnabled(h) != 0, r.enabled);
        if (r.keepsFont) {
            EXPECT_EQ((HFONT)SendMessageA(h, WM_GETFONT, 0, 0), (HFONT)GetStockObject(DEFAULT_GUI_FONT));
        }
    }
    EXPECT_FALSE(WindowText(control(txtCopyright)).empty());
    EXPECT_EQ(SendMessageA(control(barProgress), PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageA(control(barProgress), PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(ControlGetState(barProgress), 0);
    // Numbers 4 and 11 are free; the controls of later pages do not exist yet.
    for (int free : {4, 11, (int)chkMain, (int)chkSources, (int)fldInstallDir, (int)treeInstallDir})
        EXPECT_FALSE(ControlExists(free)) << free;
}

TEST_F(Wizard, AgreeAndDisagreeFormOneGroup) {
    openWizard();
    EXPECT_EQ(ControlGetState(optAgree), 0);
    EXPECT_EQ(ControlGetState(optDisagree), 0);
    // The group ends at the next control.
    EXPECT_TRUE(GetWindowLongA(control(txtInstallDir), GWL_STYLE) & WS_GROUP);
    ControlHide(optAgree, 0);
    ControlHide(optDisagree, 0);
    SendMessageA(control(optAgree), BM_CLICK, 0, 0);
    EXPECT_EQ(ControlGetState(optAgree), 1);
    EXPECT_EQ(ControlGetState(optDisagree), 0);
    SendMessageA(control(optDisagree), BM_CLICK, 0, 0);
    EXPECT_EQ(ControlGetState(optAgree), 0);
    EXPECT_EQ(ControlGetState(optDisagree), 1);
    // The program can select one too.
    ControlSetState(optAgree, 1);
    EXPECT_EQ(ControlGetState(optAgree), 1);
}

TEST_F(Wizard, BannersThatFailToDecodeLeaveEmptyImagesAndTheWizardOpens) {
    const unsigned char notPng[] = "this is no picture at all";
    state.sideImage = ImageDecodePng(imageSide, notPng, sizeof notPng);
    state.headerImage = ImageDecodePng(imageHeader, notPng, 4);
    EXPECT_FALSE(state.sideImage);
    EXPECT_FALSE(state.headerImage);
    OpenWizardWindow();
    ASSERT_TRUE(WindowHandle(wndWizard));
    for (int number : {(int)imgSide, (int)imgHeader}) {
        SCOPED_TRACE(number);
        ASSERT_TRUE(control(number));
        EXPECT_FALSE(SendMessageA(control(number), STM_GETIMAGE, IMAGE_BITMAP, 0));
        RECT rect = RectInParent(control(number));
        EXPECT_EQ(rect.right - rect.left, number == imgSide ? 164 : 500);
    }
    // The welcome picture does not depend on the banners.
    EXPECT_EQ((HBITMAP)SendMessageA(control(imgWelcome), STM_GETIMAGE, IMAGE_BITMAP, 0), ImageHandle(imageWelcome));
    EXPECT_TRUE(ImageHandle(imageWelcome));
    EXPECT_TRUE(control(btnNext));
}

TEST_F(Wizard, OperationsOnNumbersWithoutControlDoNothing) {
    openWizard();
    for (int number : {-1, 4, 11, (int)chkMain, (int)CONTROL_SLOTS, 1000}) {
        SCOPED_TRACE(number);
        ControlHide(number, 0);
        ControlDisable(number, 1);
        ControlSetText(number, "text");
        ControlSetState(number, 1);
        ControlAddItem(number, -1, "line");
        ControlFree(number);
        EXPECT_FALSE(ControlExists(number));
        EXPECT_EQ(ControlGetText(number), "");
        EXPECT_EQ(ControlGetState(number), 0);
        EXPECT_FALSE(ControlHandle(number));
    }
    // A freed control is gone, and its number can be used again.
    ControlFree(btnNext);
    EXPECT_FALSE(ControlExists(btnNext));
    EXPECT_EQ(ControlGetText(btnNext), "");
    EXPECT_TRUE(ButtonCreate(btnNext, 322, 330, 73, 21, "Again"));
    EXPECT_EQ(ControlGetText(btnNext), "Again");
}

TEST_F(Wizard, StatesOfCheckBoxesAndTheProgressBar) {
    openWizard();
    ASSERT_TRUE(CheckBoxCreate(chkMain, 30, 130, 442, 20, "Main program"));
    EXPECT_EQ(ControlGetState(chkMain), 0);
    ControlSetState(chkMain, 1);
    EXPECT_EQ(ControlGetState(chkMain), 1);
    EXPECT_EQ(SendMessageA(control(chkMain), BM_GETCHECK, 0, 0), BST_CHECKED);
    ControlDisable(chkMain, 1);
    EXPECT_FALSE(IsWindowEnabled(control(chkMain)));
    ControlDisable(chkMain, 0);
    EXPECT_TRUE(IsWindowEnabled(control(chkMain)));

    ControlSetState(barProgress, 42);
    EXPECT_EQ(ControlGetState(barProgress), 42);
    EXPECT_EQ(SendMessageA(control(barProgress), PBM_GETPOS, 0, 0), 42);
    // Kinds without a state.
    EXPECT_EQ(ControlGetState(btnNext), 0);
    EXPECT_EQ(ControlGetState(lstLog), 0);

    ControlSetText(txtStatus, "Copying files");
    EXPECT_EQ(ControlGetText(txtStatus), "Copying files");
    ControlHide(txtStatus, 0);
    EXPECT_TRUE(IsWindowVisible(control(txtStatus)));
    ControlHide(txtStatus, 1);
    EXPECT_FALSE(IsWindowVisible(control(txtStatus)));
}

// ---------------------------------------------------------------- editor and list

TEST_F(Wizard, EditorAppendsLinesByItsLineRule) {
    struct Case {
        std::vector<std::string> added;
        std::vector<std::string> lines;
    } cases[] = {
        {{"", "", "abc"}, {"", "", "abc"}},
        {{"", "abc"}, {"abc"}},
        {{"abc", "", "def"}, {"abc", "", "def"}},
        {{"first", "second"}, {"first", "second"}},
        {{"abc", ""}, {"abc", ""}},
        {{"", "", "", "x"}, {"", "", "", "x"}},
    };
    openWizard();
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& s : c.added) trace += "[" + s + "]";
        SCOPED_TRACE(trace);
        // A fresh, read-only editor as the wizard makes it.
        ASSERT_TRUE(EditorCreate(edtLicense, 30, 130, 442, 140));
        SendMessageA(control(edtLicense), EM_SETREADONLY, 1, 0);
        for (const std::string& s : c.added) ControlAddItem(edtLicense, -1, s.c_str());
        HWND e = control(edtLicense);
        int count = (int)SendMessageA(e, EM_GETLINECOUNT, 0, 0);
        ASSERT_EQ(count, (int)c.lines.size());
        for (int i = 0; i < count; i++) {
            char line[256] = {};
            *(WORD*)line = sizeof line - 1;
            int length = (int)SendMessageA(e, EM_GETLINE, i, (LPARAM)line);
            // The editor gives a line with its paragraph mark.
            while (length > 0 && (line[length - 1] == '\r' || line[length - 1] == '\n')) length--;
            EXPECT_EQ(std::string(line, length), c.lines[i]) << "line " << i;
        }
    }
}

TEST_F(Wizard, EditorIsReadOnlyForTheUser) {
    openWizard();
    ControlHide(edtLicense, 0);
    ControlAddItem(edtLicense, -1, "licence");
    HWND e = control(edtLicense);
    SetFocus(e);
    PostMessageA(e, WM_CHAR, 'x', 1);
    DrainEvents();
    EXPECT_EQ(ControlGetText(edtLicense), "licence");
    // Selecting still works.
    SendMessageA(e, EM_SETSEL, 0, 3);
    CHARRANGE range = {};
    SendMessageA(e, EM_EXGETSEL, 0, (LPARAM)&range);
    EXPECT_EQ(range.cpMin, 0);
    EXPECT_EQ(range.cpMax, 3);
}

TEST_F(Wizard, EditorLibraryComesFromTheSystemDirectory) {
    openWizard();
    ASSERT_TRUE(control(edtLicense));
    HMODULE library = GetModuleHandleA("RICHED20.DLL");
    ASSERT_TRUE(library);
    char path[MAX_PATH] = "", system[MAX_PATH] = "";
    GetModuleFileNameA(library, path, MAX_PATH);
    GetSystemDirectoryA(system, MAX_PATH);
    std::string directory(path);
    directory = directory.substr(0, directory.find_last_of('\\'));
    EXPECT_EQ(lstrcmpiA(directory.c_str(), system), 0) << path;
}

TEST_F(Wizard, ListBoxInsertsWithoutScrolling) {
    openWizard();
    ControlHide(lstLog, 0);
    HWND list = control(lstLog);
    for (int i = 0; i < 40; i++) ControlAddItem(lstLog, -1, ("step " + std::to_string(i)).c_str());
    EXPECT_EQ(SendMessageA(list, LB_GETCOUNT, 0, 0), 40);
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
    EXPECT_TRUE(GetWindowLongA(list, GWL_STYLE) & WS_VSCROLL) << "a full list shows its scroll bar";
    char text[64] = "";
    SendMessageA(list, LB_GETTEXT, 39, (LPARAM)text);
    EXPECT_STREQ(text, "step 39");
    // Not sorted: "step 10" stays after "step 9".
    SendMessageA(list, LB_GETTEXT, 10, (LPARAM)text);
    EXPECT_STREQ(text, "step 10");
    ControlAddItem(lstLog, 0, "at the top");
    SendMessageA(list, LB_GETTEXT, 0, (LPARAM)text);
    EXPECT_STREQ(text, "at the top");
    EXPECT_EQ(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
}

// ---------------------------------------------------------------- events

TEST_F(Wizard, PollGivesNothingOnAnEmptyQueue) {
    openWizard();
    EXPECT_EQ(EventPoll(), EVENT_NONE);
    EXPECT_EQ(EventType(), -1);
}

TEST_F(Wizard, FieldTextSetByTheProgramIsNoChangeButTypedCharactersAre) {
    openWizard();
    ControlHide(fldShortcutDir, 0);
    ControlSetText(fldShortcutDir, "\\Other");
    EXPECT_EQ(ControlGetText(fldShortcutDir), "\\Other");
    std::vector<PolledEvent> events = DrainEvents();
    EXPECT_FALSE(HasControlEvent(events, fldShortcutDir, EVENT_TYPE_CHANGE));
    // The notification sent during set text reaches the program with type -1.
    EXPECT_TRUE(HasControlEvent(events, fldShortcutDir, -1));

    HWND field = control(fldShortcutDir);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 6, 6);
    DrainEvents();
    for (char c : std::string("abc")) {
        PostMessageA(field, WM_CHAR, c, 1);
        EXPECT_EQ(EventPoll(), EVENT_CONTROL) << c;
        EXPECT_EQ(EventControl(), fldShortcutDir);
        EXPECT_EQ(EventType(), EVENT_TYPE_CHANGE);
    }
    EXPECT_EQ(ControlGetText(fldShortcutDir), "\\Otherabc");
}

TEST_F(Wizard, ControlNotificationsBecomeControlEvents) {
    openWizard();
    HWND list = control(lstLog);
    struct Case {
        HWND from;
        int number;
        int code;
        bool recorded;
        int type;
    } cases[] = {
        {control(btnNext), btnNext, BN_CLICKED, true, EVENT_TYPE_CLICK},
        {control(btnCancel), btnCancel, BN_CLICKED, true, EVENT_TYPE_CLICK},
        {control(fldShortcutDir), fldShortcutDir, EN_CHANGE, true, EVENT_TYPE_CHANGE},
        {control(fldShortcutDir), fldShortcutDir, EN_SETFOCUS, true, EN_SETFOCUS},
        // The list box: selection change is a click, double click is 2,
        // anything else is no event.
        {list, lstLog, LBN_SELCHANGE, true, EVENT_TYPE_CLICK},
        {list, lstLog, LBN_DBLCLK, true, 2},
        {list, lstLog, LBN_SETFOCUS, false, 0},
        {list, lstLog, LBN_KILLFOCUS, false, 0},
        {list, lstLog, LBN_SELCANCEL, false, 0},
    };
    HWND window = WindowHandle(wndWizard);
    for (const Case& c : cases) {
        SCOPED_TRACE("control " + std::to_string(c.number) + " code " + std::to_string(c.code));
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(c.number, c.code), (LPARAM)c.from);
        int event = EventPoll();
        if (c.recorded) {
            EXPECT_EQ(event, EVENT_CONTROL);
            EXPECT_EQ(EventControl(), c.number);
            EXPECT_EQ(EventType(), c.type);
        } else {
            EXPECT_NE(event, EVENT_CONTROL);
            EXPECT_EQ(EventType(), -1);
        }
    }
    // A real click on a button.
    PostMessageA(control(btnCancel), BM_CLICK, 0, 0);
    std::vector<PolledEvent> events = DrainEvents();
    EXPECT_TRUE(HasControlEvent(events, btnCancel, EVENT_TYPE_CLICK));
}

TEST_F(Wizard, CloseRequestGives16AndTheWindowStays) {
    openWizard();
    HWND window = WindowHandle(wndWizard);
    for (UINT message : {(UINT)WM_SYSCOMMAND, (UINT)WM_CLOSE}) {
        SCOPED_TRACE(message);
        PostMessageA(window, message, message == WM_SYSCOMMAND ? SC_CLOSE : 0, 0);
        std::vector<PolledEvent> events = DrainEvents();
        bool closeSeen = false;
        for (const PolledEvent& e : events) closeSeen = closeSeen || e.event == EVENT_CLOSE;
        EXPECT_TRUE(closeSeen);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(IsWindowVisible(window));
        EXPECT_EQ(WindowHandle(wndWizard), window);
    }
}

TEST_F(Wizard, TabMovesTheFocusAndOtherKeysReachTheControl) {
    openWizard();
    HWND window = WindowHandle(wndWizard);
    SetForegroundWindow(window);
    SetFocus(control(btnCancel));
    ASSERT_EQ(GetFocus(), control(btnCancel));

    BYTE keys[256];
    GetKeyboardState(keys);
    auto pressTab = [&](bool shift) {
        BYTE withShift[256];
        memcpy(withShift, keys, sizeof withShift);
        withShift[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(withShift);
        PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 1 | (MapVirtualKeyA(VK_TAB, 0) << 16));
        EventPoll();
        SetKeyboardState(keys);
    };
    pressTab(false);
    EXPECT_EQ(GetFocus(), control(btnNext));
    pressTab(true);
    EXPECT_EQ(GetFocus(), control(btnCancel));
    pressTab(true);
    EXPECT_EQ(GetFocus(), control(btnNext)) << "Shift+Tab wraps round";

    // A letter goes through translation to the focused field.
    ControlHide(fldShortcutDir, 0);
    HWND field = control(fldShortcutDir);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    DrainEvents();
    PostMessageA(field, WM_KEYDOWN, 'Q', 1 | (MapVirtualKeyA('Q', 0) << 16));
    std::vector<PolledEvent> events = DrainEvents();
    EXPECT_TRUE(HasControlEvent(events, fldShortcutDir, EVENT_TYPE_CHANGE));
    EXPECT_EQ(ControlGetText(fldShortcutDir), "q");
    EXPECT_EQ(GetFocus(), field);
}

// ---------------------------------------------------------------- message box

struct BoxWatch {
    HWND box = nullptr;
    HWND owner = nullptr;
    HWND other = nullptr;
    bool otherEnabled = true;
    int answer = IDOK;
};

BOOL CALLBACK findBox(HWND window, LPARAM data) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        *(HWND*)data = window;
        return FALSE;
    }
    return TRUE;
}

// Runs on a second thread: finds the program's message box, notes its
// owner and whether the other window is enabled, then answers it.
DWORD WINAPI answerBox(void* data) {
    BoxWatch& watch = *(BoxWatch*)data;
    DWORD thread = GetWindowThreadProcessId(watch.other, nullptr);
    for (int i = 0; i < 500 && !watch.box; i++) {
        EnumThreadWindows(thread, findBox, (LPARAM)&watch.box);
        if (!watch.box) Sleep(10);
    }
    if (!watch.box) return 1;
    watch.owner = GetWindow(watch.box, GW_OWNER);
    watch.otherEnabled = IsWindowEnabled(watch.other) != 0;
    PostMessageA(watch.box, WM_COMMAND, MAKEWPARAM(watch.answer, BN_CLICKED), (LPARAM)GetDlgItem(watch.box, watch.answer));
    return 0;
}

TEST_F(Wizard, MessageBoxIsOwnedByTheForegroundWindowAndDisablesTheOthers) {
    OpenWaitWindow();
    openWizard();
    HWND wizard = WindowHandle(wndWizard);
    HWND wait = WindowHandle(wndWait);
    SetForegroundWindow(wizard);
    ASSERT_EQ(GetForegroundWindow(), wizard);

    BoxWatch watch;
    watch.other = wait;
    watch.answer = IDNO;
    HANDLE thread = CreateThread(nullptr, 0, answerBox, &watch, 0, nullptr);
    int pressed = MessageBoxShow("Caution", "Do you want to abort Talvera install ?", MB_YESNO | MB_ICONEXCLAMATION);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);

    ASSERT_TRUE(watch.box) << "no message box appeared";
    EXPECT_EQ(pressed, IDNO);
    EXPECT_EQ(watch.owner, wizard);
    EXPECT_FALSE(watch.otherEnabled);
    EXPECT_TRUE(IsWindowEnabled(wait));
    EXPECT_TRUE(IsWindowEnabled(wizard));
}

}  // namespace
