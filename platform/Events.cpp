// The event poll, the window procedure that records events for it, and the
// message box.
#include "WindowTable.h"

namespace {

// What the window procedure recorded since the last poll handed it out.
int recordedEvent = EVENT_NONE;
int eventControl;
int eventType = -1;

void recordCommand(HWND control, int identifier, int code) {
    // A posted notification can arrive after its control was freed.
    int number = IsWindow(control) ? (int)GetWindowLongA(control, GWL_ID) : identifier;
    if (ControlKindOf(number) == KIND_LISTBOX) {
        // A list box reports a selection change as a click.
        if (code == LBN_SELCHANGE)
            code = EVENT_TYPE_CLICK;
        else if (code != LBN_DBLCLK)
            return;
    }
    recordedEvent = EVENT_CONTROL;
    eventControl = number;
    eventType = code;
}

// Tab and Shift+Tab move the focus through the tab stops of the program's
// window, as in a dialog; every other key goes to the focused control.
bool moveFocusOnTab(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_TAB) return false;
    if (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0) return false;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (WindowNumberOf(root) < 0) return false;
    HWND focus = GetFocus();
    if (focus && !IsChild(root, focus)) focus = nullptr;
    HWND next = GetNextDlgTabItem(root, focus, GetKeyState(VK_SHIFT) < 0);
    if (next) SetFocus(next);
    return true;
}

struct DisabledWindows {
    HWND keep;
    HWND list[32];
    int count;
};

BOOL CALLBACK collectEnabledWindow(HWND window, LPARAM data) {
    DisabledWindows& d = *(DisabledWindows*)data;
    if (window != d.keep && d.count < 32 && IsWindowVisible(window) && IsWindowEnabled(window))
        d.list[d.count++] = window;
    return TRUE;
}

}  // namespace

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam) recordCommand((HWND)lParam, LOWORD(wParam), HIWORD(wParam));
        break;
    case WM_CLOSE:
        // The program decides; the window stays open.
        recordedEvent = EVENT_CLOSE;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int EventPoll() {
    eventType = -1;
    MSG message;
    bool took = PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE) != 0;
    if (took && !moveFocusOnTab(message)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // An event recorded outside a poll (a control changed by the program)
    // is handed out now, with the type this poll reset.
    if (recordedEvent != EVENT_NONE) {
        int event = recordedEvent;
        recordedEvent = EVENT_NONE;
        return event;
    }
    return took ? EVENT_OTHER : EVENT_NONE;
}

int EventControl() { return eventControl; }

int EventType() { return eventType; }

int MessageBoxShow(const char* title, const Text& text, int flags) {
    HWND owner = GetForegroundWindow();
    DWORD process = 0;
    if (owner) GetWindowThreadProcessId(owner, &process);
    if (process != GetCurrentProcessId()) owner = nullptr;

    // The box is modal for its owner only: keep the thread's other windows
    // from being used meanwhile.
    DisabledWindows disabled = {};
    disabled.keep = owner;
    EnumThreadWindows(GetCurrentThreadId(), collectEnabledWindow, (LPARAM)&disabled);
    for (int i = 0; i < disabled.count; i++) EnableWindow(disabled.list[i], FALSE);
    int pressed = MessageBoxA(owner, text.c_str(), title, (UINT)flags);
    for (int i = 0; i < disabled.count; i++) EnableWindow(disabled.list[i], TRUE);
    return pressed;
}
