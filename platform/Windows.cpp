// Numbered top-level windows and the numbered controls on them.
#include "WindowTable.h"

#include <commctrl.h>
#include <richedit.h>
#include <stdio.h>
#include <stdlib.h>

namespace {

enum { TEXT_LIMIT = 32000 };

struct ControlSlot {
    HWND outer;      // shown, hidden, destroyed
    HWND inner;      // receives the control's messages
    int kind;
    int window;      // number of the window it was created on
    bool emptyLineAdded;  // editor: an empty first line was dropped
};

HWND windows[WINDOW_SLOTS];
bool windowClassRegistered[WINDOW_SLOTS];
ControlSlot controls[CONTROL_SLOTS];
int currentWindow = -1;
HWND openContainer;
int lastCreatedKind = KIND_NONE;

bool editorLoadTried;
const char* editorClass;

const char CONTAINER_CLASS[] = "TalveraContainer";

HINSTANCE instance() {
    HINSTANCE i = PlatformInstance();
    return i ? i : GetModuleHandleA(nullptr);
}

ControlSlot* slot(int number) {
    if (number < 0 || number >= CONTROL_SLOTS) return nullptr;
    ControlSlot& s = controls[number];
    if (!s.outer) return nullptr;
    // Destroyed with its window or container behind the table's back.
    if (!IsWindow(s.outer)) {
        s = ControlSlot{};
        return nullptr;
    }
    return &s;
}

void forgetControlsOf(int window) {
    for (int i = 0; i < CONTROL_SLOTS; i++)
        if (controls[i].outer && controls[i].window == window) controls[i] = ControlSlot{};
}

bool registerWindowClass(int number) {
    if (windowClassRegistered[number]) return true;
    char name[32];
    snprintf(name, sizeof name, "TalveraWindow%d", number);
    // Unit tests run without the program's resources: no icon then.
    HICON icon = LoadIconA(instance(), MAKEINTRESOURCEA(1));
    windowClassRegistered[number] = RegisterProgramClass(name, RecordingWindowProc, icon);
    return windowClassRegistered[number];
}

// Left and top edge of a window of the given outer size.
POINT placeWindow(const RECT& outer, int flags) {
    int width = outer.right - outer.left;
    int height = outer.bottom - outer.top;
    POINT at = {outer.left, outer.top};
    if (flags & WINDOW_CENTRE_SCREEN) {
        at.x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
        at.y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
    } else if (flags & WINDOW_CENTRE_ACTIVE) {
        RECT active;
        HWND window = GetActiveWindow();
        if (window && GetWindowRect(window, &active)) {
            at.x = (active.left + active.right) / 2 - width / 2;
            at.y = (active.top + active.bottom) / 2 - height / 2;
        }
    }
    return at;
}

// The editor's window class, loading its library from the system directory
// on first use.
const char* editorClassName() {
    if (editorLoadTried) return editorClass;
    editorLoadTried = true;
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    Text directory(system);
    if (directory.last() != '\\') directory += "\\";
    if (LoadLibraryA((directory + "RICHED20.DLL").c_str()))
        editorClass = "RichEdit20A";
    else if (LoadLibraryA((directory + "RICHED32.DLL").c_str()))
        editorClass = "RichEdit";
    return editorClass;
}

HWND createControl(int number, int kind, const char* windowClass, const char* text, DWORD style,
                   DWORD exStyle, int x, int y, int w, int h) {
    if (number < 0 || number >= CONTROL_SLOTS || !windowClass) return nullptr;
    HWND parent = ControlParent();
    if (!parent) return nullptr;
    ControlFree(number);
    HWND control = CreateWindowExA(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                   parent, (HMENU)(INT_PTR)number, instance(), nullptr);
    if (!control) return nullptr;
    SendMessageA(control, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    return ControlRegister(number, kind, control, control);
}

// The editor's line rule: no line break before the first line, and a
// single empty first line is dropped.
void appendEditorLine(ControlSlot& editor, const Text& line) {
    HWND e = editor.inner;
    int length = (int)SendMessageA(e, WM_GETTEXTLENGTH, 0, 0);
    Text insert;
    if (length > 0) {
        insert = Text("\r\n") + line;
    } else if (!line.empty()) {
        insert = line;
    } else {
        if (editor.emptyLineAdded) insert = "\r\n";
        editor.emptyLineAdded = true;
    }
    if (insert.empty()) return;
    // A visible editor would repaint itself for every line; a licence of
    // a few hundred lines then takes seconds. It is painted once, later.
    bool visible = IsWindowVisible(e) != 0;
    if (visible) SendMessageA(e, WM_SETREDRAW, FALSE, 0);
    SendMessageA(e, EM_HIDESELECTION, 1, 0);
    SendMessageA(e, EM_SETSEL, length, length);
    SendMessageA(e, EM_REPLACESEL, 0, (LPARAM)insert.c_str());
    SendMessageA(e, EM_HIDESELECTION, 0, 0);
    if (visible) {
        SendMessageA(e, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(e, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
    }
}

}  // namespace

// ---------------------------------------------------------------- internal

bool RegisterProgramClass(const char* name, WNDPROC procedure, HICON icon) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance();
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    if (RegisterClassExA(&wc)) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

int ControlKindOf(int number) {
    ControlSlot* s = slot(number);
    return s ? s->kind : KIND_NONE;
}

HWND ControlParent() {
    if (openContainer && IsWindow(openContainer)) return openContainer;
    openContainer = nullptr;
    if (currentWindow >= 0 && windows[currentWindow] && IsWindow(windows[currentWindow]))
        return windows[currentWindow];
    return nullptr;
}

HWND ControlRegister(int number, int kind, HWND outer, HWND inner) {
    controls[number] = ControlSlot{outer, inner, kind, currentWindow, false};
    lastCreatedKind = kind;
    return inner;
}

int WindowNumberOf(HWND window) {
    if (!window) return -1;
    for (int i = 0; i < WINDOW_SLOTS; i++)
        if (windows[i] == window) return i;
    return -1;
}

void WindowCloseAll() {
    for (int i = 0; i < WINDOW_SLOTS; i++) WindowClose(i);
}

// ---------------------------------------------------------------- windows

HWND WindowOpen(int number, int x, int y, int width, int height, int flags, const char* caption) {
    if (number < 0 || number >= WINDOW_SLOTS) return nullptr;
    WindowClose(number);
    if (!registerWindowClass(number)) return nullptr;

    DWORD style = (DWORD)flags & ~(DWORD)(WINDOW_CENTRE_SCREEN | WINDOW_CENTRE_ACTIVE);
    if (style == 0) style = WS_CAPTION;
    style |= WS_VISIBLE;
    RECT outer = {x, y, x + width, y + height};
    AdjustWindowRect(&outer, style, FALSE);
    // A window larger than the screen is cut to it before it is centred.
    int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    if (outer.right - outer.left > screenWidth) outer.right = outer.left + screenWidth;
    if (outer.bottom - outer.top > screenHeight) outer.bottom = outer.top + screenHeight;
    POINT at = placeWindow(outer, flags);

    char name[32];
    snprintf(name, sizeof name, "TalveraWindow%d", number);
    HWND window = CreateWindowExA(0, name, caption ? caption : "", style, at.x, at.y,
                                  outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                                  instance(), nullptr);
    if (!window) return nullptr;
    windows[number] = window;
    currentWindow = number;
    openContainer = nullptr;
    lastCreatedKind = KIND_NONE;
    return window;
}

void WindowClose(int number) {
    if (number < 0 || number >= WINDOW_SLOTS || !windows[number]) return;
    HWND window = windows[number];
    windows[number] = nullptr;
    forgetControlsOf(number);
    if (openContainer && GetAncestor(openContainer, GA_ROOT) == window) openContainer = nullptr;
    DestroyWindow(window);
    if (currentWindow == number) {
        currentWindow = -1;
        for (int i = WINDOW_SLOTS - 1; i >= 0; i--)
            if (windows[i]) {
                currentWindow = i;
                break;
            }
    }
}

HWND WindowHandle(int number) {
    if (number < 0 || number >= WINDOW_SLOTS) return nullptr;
    if (windows[number] && !IsWindow(windows[number])) windows[number] = nullptr;
    return windows[number];
}

void WindowRefresh(int number) {
    HWND window = WindowHandle(number);
    if (window) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// ---------------------------------------------------------------- controls

HWND TextCreate(int number, int x, int y, int w, int h, const char* text) {
    return createControl(number, KIND_TEXT, "STATIC", text, WS_GROUP | SS_LEFT, 0, x, y, w, h);
}

HWND FrameCreate(int number, int x, int y, int w, int h, const char* text) {
    return createControl(number, KIND_FRAME, "BUTTON", text, WS_GROUP | BS_GROUPBOX, 0, x, y, w, h);
}

HWND ButtonCreate(int number, int x, int y, int w, int h, const char* text) {
    return createControl(number, KIND_BUTTON, "BUTTON", text, WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON, 0, x,
                         y, w, h);
}

HWND OptionCreate(int number, int x, int y, int w, int h, const char* text) {
    // Options created one after another form one group: only the first
    // starts it.
    DWORD group = lastCreatedKind == KIND_OPTION ? 0 : WS_GROUP;
    return createControl(number, KIND_OPTION, "BUTTON", text, group | WS_TABSTOP | BS_AUTORADIOBUTTON, 0,
                         x, y, w, h);
}

HWND CheckBoxCreate(int number, int x, int y, int w, int h, const char* text) {
    return createControl(number, KIND_CHECKBOX, "BUTTON", text, WS_GROUP | WS_TABSTOP | BS_AUTOCHECKBOX, 0,
                         x, y, w, h);
}

HWND FieldCreate(int number, int x, int y, int w, int h, const char* text) {
    return createControl(number, KIND_FIELD, "EDIT", text, WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL,
                         WS_EX_CLIENTEDGE, x, y, w, h);
}

HWND ListBoxCreate(int number, int x, int y, int w, int h) {
    DWORD style = WS_VSCROLL | WS_HSCROLL | WS_GROUP | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS |
                  LBS_NOTIFY;
    return createControl(number, KIND_LISTBOX, "LISTBOX", "", style, WS_EX_CLIENTEDGE, x, y, w, h);
}

HWND ImageCreate(int number, int x, int y, int w, int h, HBITMAP image) {
    HWND control =
        createControl(number, KIND_IMAGE, "STATIC", nullptr, SS_BITMAP | SS_NOTIFY, 0, x, y, w, h);
    if (control && image) SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, (LPARAM)image);
    return control;
}

HWND EditorCreate(int number, int x, int y, int w, int h) {
    DWORD style = WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL |
                  ES_NOHIDESEL | ES_WANTRETURN;
    return createControl(number, KIND_EDITOR, editorClassName(), "", style, WS_EX_CLIENTEDGE, x, y, w, h);
}

HWND ProgressBarCreate(int number, int x, int y, int w, int h, int minimum, int maximum, int flags) {
    HWND bar = createControl(number, KIND_PROGRESS, PROGRESS_CLASSA, "", (DWORD)flags, 0, x, y, w, h);
    if (bar) {
        SendMessageA(bar, PBM_SETRANGE32, minimum, maximum);
        SendMessageA(bar, PBM_SETPOS, minimum, 0);
    }
    return bar;
}

HWND ContainerCreate(int number, int x, int y, int w, int h) {
    if (!RegisterProgramClass(CONTAINER_CLASS, RecordingWindowProc, nullptr)) return nullptr;
    HWND box = createControl(number, KIND_CONTAINER, CONTAINER_CLASS, "", 0, 0, x, y, w, h);
    if (box) openContainer = box;
    return box;
}

void ContainerEnd() { openContainer = nullptr; }

void ControlHide(int number, int hide) {
    ControlSlot* s = slot(number);
    if (!s) return;
    int command = hide ? SW_HIDE : SW_SHOW;
    if (s->inner != s->outer) ShowWindow(s->inner, command);
    ShowWindow(s->outer, command);
}

void ControlDisable(int number, int disable) {
    ControlSlot* s = slot(number);
    if (!s) return;
    if (s->inner != s->outer) EnableWindow(s->inner, !disable);
    EnableWindow(s->outer, !disable);
}

void ControlFree(int number) {
    ControlSlot* s = slot(number);
    if (!s) return;
    HWND outer = s->outer;
    *s = ControlSlot{};
    if (outer == openContainer) openContainer = nullptr;
    DestroyWindow(outer);
}

int ControlExists(int number) { return slot(number) != nullptr; }

Text ControlGetText(int number) {
    ControlSlot* s = slot(number);
    if (!s) return Text();
    if (s->kind == KIND_TREE) return FolderTreeGetText(s->outer);
    int length = GetWindowTextLengthA(s->inner);
    if (length <= 0) return Text();
    if (length > TEXT_LIMIT) length = TEXT_LIMIT;
    char* buffer = (char*)malloc(length + 1);
    if (!buffer) return Text();
    int got = GetWindowTextA(s->inner, buffer, length + 1);
    Text text(buffer, got > 0 ? got : 0);
    free(buffer);
    return text;
}

void ControlSetText(int number, const Text& text) {
    ControlSlot* s = slot(number);
    if (!s) return;
    if (s->kind == KIND_TREE)
        FolderTreeSetText(s->outer, text);
    else
        SetWindowTextA(s->inner, text.c_str());
}

int ControlGetState(int number) {
    ControlSlot* s = slot(number);
    if (!s) return 0;
    switch (s->kind) {
    case KIND_OPTION:
    case KIND_CHECKBOX:
        return SendMessageA(s->inner, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    case KIND_PROGRESS:
        return (int)SendMessageA(s->inner, PBM_GETPOS, 0, 0);
    default:
        return 0;
    }
}

void ControlSetState(int number, int value) {
    ControlSlot* s = slot(number);
    if (!s) return;
    switch (s->kind) {
    case KIND_OPTION:
    case KIND_CHECKBOX:
        SendMessageA(s->inner, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case KIND_PROGRESS:
        SendMessageA(s->inner, PBM_SETPOS, value, 0);
        break;
    default:
        break;
    }
}

void ControlAddItem(int number, int position, const Text& text) {
    ControlSlot* s = slot(number);
    if (!s) return;
    if (s->kind == KIND_LISTBOX)
        // Unlike LB_ADDSTRING this neither sorts nor scrolls the list.
        SendMessageA(s->inner, LB_INSERTSTRING, position, (LPARAM)text.c_str());
    else if (s->kind == KIND_EDITOR && position == -1)
        appendEditorLine(*s, text);
}

HWND ControlHandle(int number) {
    ControlSlot* s = slot(number);
    return s ? s->inner : nullptr;
}
