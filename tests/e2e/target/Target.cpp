// A small Win32 program for the driver's self-test. It has one control of
// each kind that the driver reads or works, and polls its events the way the
// setup program does: one message per pass, the event recorded by the window
// procedure and returned by the poll.
//
// On start it writes GetTempPathA() + "target-temp.txt" with the TEMP, TMP
// and current directory it sees. "Quit" and the close box end it with the
// exit code written in "exitcode.txt" of its current directory (0 without).
// Tab moves the focus, Alt+F4 closes. Command line: "/wait" shows a "Please wait..." window for half a second
// before the main window; "/box" shows a message box without owner first.
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TargetIds.h"

namespace {

HWND mainWindow;
HWND treeWindow;
int changeCount;
int eventControl;
int eventType = -1;

HWND Item(int id)
{
    // The tree lies inside its container; every other control is a direct child.
    if (id == kTargetTree)
        return treeWindow;
    return GetDlgItem(mainWindow, id);
}

void AddLine(const char* line)
{
    SendMessageA(Item(kTargetList), LB_ADDSTRING, 0, (LPARAM)line);
}

void WriteTempReport()
{
    char temp[MAX_PATH] = "";
    char tmp[MAX_PATH] = "";
    char cwd[MAX_PATH] = "";
    char path[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    GetEnvironmentVariableA("TMP", tmp, sizeof tmp);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    GetTempPathA(sizeof path, path);
    strcat(path, "target-temp.txt");
    FILE* file = fopen(path, "wb");
    if (!file)
        return;
    fprintf(file, "TEMP=%s\r\nTMP=%s\r\nCWD=%s\r\n", temp, tmp, cwd);
    fclose(file);
}

int ChosenExitCode()
{
    FILE* file = fopen("exitcode.txt", "rb");
    if (!file)
        return 0;
    int code = 0;
    if (fscanf(file, "%d", &code) != 1)
        code = 0;
    fclose(file);
    return code;
}

HTREEITEM AddTreeItem(HTREEITEM parent, const char* label)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = (char*)label;
    return (HTREEITEM)SendMessageA(treeWindow, TVM_INSERTITEMA, 0, (LPARAM)&insert);
}

void FillTree()
{
    HTREEITEM root = AddTreeItem(TVI_ROOT, "Computer");
    HTREEITEM c = AddTreeItem(root, "C:\\");
    AddTreeItem(c, "Program Files");
    AddTreeItem(c, "Windows");
    HTREEITEM d = AddTreeItem(root, "D:\\");
    AddTreeItem(d, "Apps");
    SendMessageA(treeWindow, TVM_EXPAND, TVE_EXPAND, (LPARAM)root);
}

// The labels from the root down to the selected item, joined by '/'.
void ShowTreeSelection()
{
    char path[512] = "";
    HTREEITEM item = (HTREEITEM)SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_CARET, 0);
    while (item) {
        char label[128] = "";
        TVITEMA tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = label;
        tv.cchTextMax = sizeof label;
        SendMessageA(treeWindow, TVM_GETITEMA, 0, (LPARAM)&tv);
        char joined[512];
        snprintf(joined, sizeof joined, path[0] ? "%s/%s" : "%s%s", label, path);
        strcpy(path, joined);
        item = (HTREEITEM)SendMessageA(treeWindow, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item);
    }
    SetWindowTextA(Item(kTargetTreeSelection), path);
}

LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The tree's notifications arrive here; the main window shows the selection.
    if (message == WM_NOTIFY && ((NMHDR*)lParam)->code == TVN_SELCHANGEDA)
        ShowTreeSelection();
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        if (lParam) {
            eventControl = LOWORD(wParam);
            eventType = HIWORD(wParam);
        }
        return 0;
    case WM_APP: {
        // Posted after each change of the field, like the notifications that
        // a program's own reaction to typing may post.
        char field[256] = "";
        char echo[1024] = "";
        GetWindowTextA(Item(kTargetField), field, sizeof field);
        GetWindowTextA(Item(kTargetEcho), echo, sizeof echo);
        snprintf(echo + strlen(echo), sizeof echo - strlen(echo), "%s;", field);
        SetWindowTextA(Item(kTargetEcho), echo);
        return 0;
    }
    case WM_CLOSE:
        ExitProcess(ChosenExitCode());
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Create(const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h, HWND parent)
{
    DWORD exStyle = (!strcmp(cls, "EDIT") || !strcmp(cls, "LISTBOX")) ? WS_EX_CLIENTEDGE : 0;
    HWND control = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                   parent, (HMENU)(INT_PTR)id, GetModuleHandleA(0), 0);
    SendMessageA(control, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    return control;
}

void RegisterWindowClass(const char* name, WNDPROC proc)
{
    WNDCLASSA cls = {};
    cls.lpfnWndProc = proc;
    cls.hInstance = GetModuleHandleA(0);
    cls.hCursor = LoadCursor(0, IDC_ARROW);
    cls.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    cls.lpszClassName = name;
    RegisterClassA(&cls);
}

void OpenMainWindow()
{
    RegisterWindowClass(kTargetClass, MainProc);
    RegisterWindowClass("E2ETargetContainer", ContainerProc);
    mainWindow = CreateWindowExA(0, kTargetClass, kTargetCaption,
                                 WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE,
                                 40, 40, 520, 400, 0, 0, GetModuleHandleA(0), 0);
    const DWORD button = WS_TABSTOP | BS_PUSHBUTTON;
    Create("BUTTON", "Ask", button, kTargetAsk, 10, 10, 80, 22, mainWindow);
    Create("BUTTON", "Inform", button, kTargetInform, 100, 10, 80, 22, mainWindow);
    Create("BUTTON", "Step", button, kTargetStep, 190, 10, 80, 22, mainWindow);
    Create("BUTTON", "Quit", button, kTargetQuit, 280, 10, 80, 22, mainWindow);
    Create("BUTTON", "Hang", button, kTargetHang, 370, 10, 80, 22, mainWindow);
    Create("BUTTON", "Error", button, kTargetError, 190, 40, 80, 22, mainWindow);
    Create("BUTTON", "Plain", button, kTargetPlain, 280, 40, 80, 22, mainWindow);
    EnableWindow(Create("BUTTON", "Disabled", button, kTargetDisabled, 10, 40, 80, 22, mainWindow), FALSE);
    ShowWindow(Create("BUTTON", "Hidden", button, kTargetHidden, 100, 40, 80, 22, mainWindow), SW_HIDE);
    Create("EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, kTargetField, 10, 70, 250, 22, mainWindow);
    Create("STATIC", "0", SS_LEFT, kTargetChanges, 270, 72, 60, 20, mainWindow);
    Create("STATIC", "", SS_LEFT, kTargetEcho, 10, 270, 490, 20, mainWindow);
    Create("BUTTON", "Option", WS_TABSTOP | BS_AUTOCHECKBOX, kTargetOption, 340, 70, 100, 22, mainWindow);
    Create("LISTBOX", "", WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | LBS_NOTIFY,
           kTargetList, 10, 100, 250, 100, mainWindow);
    Create(PROGRESS_CLASSA, "", PBS_SMOOTH, kTargetProgress, 10, 210, 250, 20, mainWindow);
    HWND container = Create("E2ETargetContainer", "", 0, kTargetTreeBox, 270, 100, 230, 130, mainWindow);
    treeWindow = Create(WC_TREEVIEWA, "", TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                        kTargetTree, 0, 0, 230, 130, container);
    Create("STATIC", "", SS_LEFT, kTargetTreeSelection, 270, 240, 230, 20, mainWindow);
    FillTree();
}

void ShowWaitWindow()
{
    RegisterWindowClass("E2ETargetWait", DefWindowProcA);
    HWND wait = CreateWindowExA(0, "E2ETargetWait", "Please wait...", WS_CAPTION | WS_VISIBLE,
                                100, 100, 200, 80, 0, 0, GetModuleHandleA(0), 0);
    DWORD end = GetTickCount() + 500;
    MSG msg;
    while (GetTickCount() < end) {
        while (PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(10);
    }
    DestroyWindow(wait);
}

// One pass of the event loop: at most one message, the event it caused.
int Poll()
{
    eventType = -1;
    MSG msg;
    if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE))
        return 0;
    // Tab moves the focus to the next tab stop.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
        SetFocus(GetNextDlgTabItem(mainWindow, GetFocus(), FALSE));
        return 0;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return eventType == -1 ? 0 : 13100;
}

void OnEvent(int control, int type)
{
    char text[32];
    switch (control) {
    case kTargetAsk:
        if (type == BN_CLICKED) {
            int answer = MessageBoxA(mainWindow, "Do you want to go on ?", "Question", MB_YESNO | MB_ICONQUESTION);
            AddLine(answer == IDYES ? "Yes" : answer == IDNO ? "No" : "?");
        }
        break;
    case kTargetInform:
        if (type == BN_CLICKED) {
            MessageBoxA(mainWindow, "Saved !", "Information", MB_OK | MB_ICONINFORMATION);
            AddLine("OK");
        }
        break;
    case kTargetError:
        if (type == BN_CLICKED) {
            MessageBoxA(mainWindow, "Can't go on !", "Error", MB_OK | MB_ICONERROR);
            AddLine("OK");
        }
        break;
    case kTargetPlain:
        if (type == BN_CLICKED) {
            MessageBoxA(mainWindow, "Done.", "Information", MB_OK);
            AddLine("OK");
        }
        break;
    case kTargetStep:
        if (type == BN_CLICKED)
            SendMessageA(Item(kTargetProgress), PBM_DELTAPOS, 25, 0);
        break;
    case kTargetQuit:
        if (type == BN_CLICKED)
            ExitProcess(ChosenExitCode());
        break;
    case kTargetHang:
        if (type == BN_CLICKED)
            Sleep(INFINITE);
        break;
    case kTargetField:
        if (type == EN_CHANGE) {
            snprintf(text, sizeof text, "%d", ++changeCount);
            SetWindowTextA(Item(kTargetChanges), text);
            PostMessageA(mainWindow, WM_APP, 0, 0);
        }
        break;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    WriteTempReport();
    if (strstr(commandLine, "/box"))
        MessageBoxA(0, "Starting", "Caution", MB_OK | MB_ICONWARNING);
    if (strstr(commandLine, "/wait"))
        ShowWaitWindow();
    OpenMainWindow();
    for (;;) {
        if (Poll() == 13100)
            OnEvent(eventControl, eventType);
        Sleep(1);
    }
}
