// Windows, controls and message boxes of another process, read and worked
// through messages. Clicks and typing are posted, as input is: a sent click
// would block the driver until a message box that the click opens is closed.
#include "Internal.h"

#include <commctrl.h>

#include <algorithm>

namespace e2e {

namespace {

int messageTimeoutMs = kMessageTimeoutMs;

LRESULT sendChecked(bool wide, HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what)
{
    DWORD_PTR result = 0;
    LRESULT ok = wide ? SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, messageTimeoutMs, &result)
                      : SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, messageTimeoutMs, &result);
    if (!ok)
        throw Failure(what + ": no answer from the program within " + std::to_string(messageTimeoutMs) +
                      " ms (error " + std::to_string(GetLastError()) + ")");
    return (LRESULT)result;
}

struct ChildSearch {
    int id;
    const char* className;
    HWND found;
};

BOOL CALLBACK findChild(HWND child, LPARAM param)
{
    ChildSearch* search = (ChildSearch*)param;
    bool hit = search->className ? classOf(child) == search->className : GetDlgCtrlID(child) == search->id;
    if (hit) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

HWND findDescendant(HWND parent, int id, const char* className)
{
    if (!parent || !IsWindow(parent))
        return nullptr;
    ChildSearch search = {id, className, nullptr};
    EnumChildWindows(parent, findChild, (LPARAM)&search);
    return search.found;
}

BOOL CALLBACK collectChild(HWND child, LPARAM param)
{
    ((std::vector<HWND>*)param)->push_back(child);
    return TRUE;
}

std::vector<HWND> descendants(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, collectChild, (LPARAM)&children);
    return children;
}

bool enabledUpwards(HWND window)
{
    for (HWND w = window; w; w = GetAncestor(w, GA_PARENT)) {
        if (w == GetDesktopWindow())
            break;
        if (!IsWindowEnabled(w))
            return false;
    }
    return true;
}

// The text that the system keeps for a window, without asking its program:
// right for captions, buttons and static texts, stale for edit fields.
std::string storedText(HWND window)
{
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// `live`: asks the program (exact); otherwise the stored text, for a program
// that doesn't answer.
std::string describeWindowBrief(HWND window, bool live = true)
{
    return classOf(window) + " " + quoted(live ? windowText(window) : storedText(window));
}

// Memory in another process, for messages that carry pointers which the
// system does not copy across processes (tree view items).
class RemoteMemory {
public:
    RemoteMemory(HWND window, size_t size) : size_(size)
    {
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processOf(window));
        if (process_)
            address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!address_)
            throw Failure("can't reach the memory of the process of " + describeWindowBrief(window) + " (error " +
                          std::to_string(GetLastError()) + ")");
    }
    ~RemoteMemory()
    {
        VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        CloseHandle(process_);
    }
    char* address() const { return (char*)address_; }
    void write(size_t offset, const void* data, size_t size)
    {
        SIZE_T done = 0;
        if (!WriteProcessMemory(process_, address() + offset, data, size, &done) || done != size)
            throw Failure("can't write the memory of another process");
    }
    void read(size_t offset, void* data, size_t size)
    {
        SIZE_T done = 0;
        if (!ReadProcessMemory(process_, address() + offset, data, size, &done) || done != size)
            throw Failure("can't read the memory of another process");
    }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
};

std::string treeLabel(HWND tree, HTREEITEM item)
{
    const size_t textSize = 1024;
    RemoteMemory memory(tree, sizeof(TVITEMA) + textSize);
    TVITEMA request = {};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = memory.address() + sizeof(TVITEMA);
    request.cchTextMax = textSize;
    memory.write(0, &request, sizeof request);
    sendA(tree, TVM_GETITEMA, 0, (LPARAM)memory.address(), "reading a tree item's label");
    char text[textSize] = "";
    memory.read(sizeof(TVITEMA), text, textSize);
    text[textSize - 1] = 0;
    return text;
}

HTREEITEM treeNext(HWND tree, UINT relation, HTREEITEM item)
{
    return (HTREEITEM)sendA(tree, TVM_GETNEXTITEM, relation, (LPARAM)item, "walking a tree");
}

std::vector<HTREEITEM> treeItemsBelow(HWND tree, HTREEITEM parent)
{
    std::vector<HTREEITEM> items;
    HTREEITEM item = parent ? treeNext(tree, TVGN_CHILD, parent) : treeNext(tree, TVGN_ROOT, nullptr);
    for (; item; item = treeNext(tree, TVGN_NEXT, item))
        items.push_back(item);
    return items;
}

std::string joinLabels(const std::vector<std::string>& labels)
{
    std::string joined;
    for (const std::string& label : labels)
        joined += (joined.empty() ? "" : " > ") + quoted(label);
    return joined.empty() ? "(top level)" : joined;
}

// Finds the item named by labels from the top level down, expanding each
// item on the way. nullptr for {}.
HTREEITEM treeFind(HWND tree, const std::vector<std::string>& labels)
{
    HTREEITEM current = nullptr;
    std::vector<std::string> path;
    for (const std::string& label : labels) {
        if (current)
            sendA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)current, "expanding a tree item");
        HTREEITEM next = nullptr;
        std::vector<std::string> seen;
        for (HTREEITEM item : treeItemsBelow(tree, current)) {
            std::string itemLabel = treeLabel(tree, item);
            seen.push_back(itemLabel);
            if (itemLabel == label) {
                next = item;
                break;
            }
        }
        if (!next) {
            std::string listed;
            for (const std::string& s : seen)
                listed += (listed.empty() ? "" : ", ") + quoted(s);
            throw Failure("the tree has no item " + quoted(label) + " below " + joinLabels(path) + "; there are: " +
                          (listed.empty() ? "none" : listed));
        }
        path.push_back(label);
        current = next;
    }
    return current;
}

std::vector<std::string> treeLabelsOf(HWND tree, HTREEITEM item)
{
    std::vector<std::string> labels;
    for (; item; item = treeNext(tree, TVGN_PARENT, item))
        labels.insert(labels.begin(), treeLabel(tree, item));
    return labels;
}

}  // namespace

// ---- Shared helpers ------------------------------------------------------

LRESULT sendA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what)
{
    return sendChecked(false, window, message, wParam, lParam, what);
}

LRESULT sendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what)
{
    return sendChecked(true, window, message, wParam, lParam, what);
}

int setMessageTimeout(int ms)
{
    int old = messageTimeoutMs;
    messageTimeoutMs = ms;
    return old;
}

std::string windowText(HWND window)
{
    try {
        return Control::readText(window, "reading a window's text");
    } catch (const Failure&) {
        return "";
    }
}

bool responding(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result) != 0;
}

std::string classOf(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

DWORD processOf(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string wideToAnsi(const std::wstring& text)
{
    if (text.empty())
        return "";
    int size = WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string result(size, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), (int)text.size(), &result[0], size, nullptr, nullptr);
    return result;
}

// ---- Window --------------------------------------------------------------

bool Window::exists() const
{
    return handle_ && IsWindow(handle_);
}

bool Window::visible() const
{
    return exists() && IsWindowVisible(handle_);
}

bool Window::enabled() const
{
    return exists() && IsWindowEnabled(handle_);
}

std::string Window::caption() const
{
    return windowText(handle_);
}

std::string Window::className() const
{
    return classOf(handle_);
}

SIZE Window::clientSize() const
{
    RECT rect = {};
    GetClientRect(handle_, &rect);
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

Control Window::control(int id) const
{
    return Control(handle_, id);
}

void Window::pressCloseBox() const
{
    PostMessageA(handle_, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void Window::postClose() const
{
    PostMessageA(handle_, WM_CLOSE, 0, 0);
}

int Window::focusedControl() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(handle_, nullptr), &info) || !info.hwndFocus)
        return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

void Window::pressKey(UINT virtualKey, bool alt) const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    HWND target = handle_;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(handle_, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | (scan << 16) | (alt ? KF_ALTDOWN << 16 : 0);
    LPARAM up = down | (KF_REPEAT << 16) | (KF_UP << 16);
    PostMessageA(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, virtualKey, down);
    PostMessageA(target, alt ? WM_SYSKEYUP : WM_KEYUP, virtualKey, up);
}

void Window::waitUntilGone(int timeoutMs) const
{
    waitUntil([&] { return !visible(); }, "the window " + quoted(caption()) + " to close", timeoutMs,
              [&] { return describe(); });
}

std::string Window::describe() const
{
    if (!exists())
        return "(no window)";
    bool live = responding(handle_);
    std::string text = describeWindowBrief(handle_, live);
    if (!live)
        text += " (not responding)";
    if (!enabled())
        text += " (disabled)";
    std::string controls;
    for (HWND child : descendants(handle_))
        if (IsWindowVisible(child))
            controls += (controls.empty() ? "" : ", ") + std::to_string(GetDlgCtrlID(child)) + " " +
                        describeWindowBrief(child, live) + (enabledUpwards(child) ? "" : " (disabled)");
    return text + (controls.empty() ? " with no visible controls" : " with " + controls);
}

// ---- Control -------------------------------------------------------------

HWND Control::handle() const
{
    return findDescendant(window_, id_, nullptr);
}

bool Control::visible() const
{
    HWND control = handle();
    return control && IsWindowVisible(control);
}

bool Control::enabled() const
{
    HWND control = handle();
    return control && enabledUpwards(control);
}

std::string Control::className() const
{
    return classOf(require("reading the class of"));
}

HWND Control::require(const char* action) const
{
    HWND control = handle();
    if (!control)
        throw Failure(std::string(action) + " control " + std::to_string(id_) + ": the window " +
                      Window(window_).describe() + " has no such control");
    return control;
}

HWND Control::requireUsable(const char* action) const
{
    HWND control = require(action);
    if (!IsWindowVisible(control))
        throw Failure(std::string(action) + " " + describe() + ": it is not visible");
    if (!enabledUpwards(control))
        throw Failure(std::string(action) + " " + describe() + ": it or its window is disabled");
    return control;
}

std::string Control::text() const
{
    return readText(require("reading the text of"), "reading the text of control " + std::to_string(id_));
}

// Texts are read as UTF-16 and converted: under Wine an ANSI
// WM_GETTEXTLENGTH sent to another process ignores the timeout and blocks
// for good when that program hangs.
std::string Control::readText(HWND window, const std::string& what)
{
    LRESULT length = sendW(window, WM_GETTEXTLENGTH, 0, 0, what);
    std::wstring text(length + 1, L'\0');
    LRESULT copied = sendW(window, WM_GETTEXT, length + 1, (LPARAM)&text[0], what);
    text.resize(std::min<size_t>(copied, length));
    return wideToAnsi(text);
}

void Control::click() const
{
    PostMessageA(requireUsable("clicking"), BM_CLICK, 0, 0);
}

void Control::clickAt(int x, int y) const
{
    HWND control = requireUsable("clicking into");
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
}

void Control::type(const std::string& chars, int timeoutMs) const
{
    HWND control = requireUsable("typing into");
    std::string what = "typing into control " + std::to_string(id_);
    // One character at a time, as a person types: each is followed by a
    // marker (clearing the field's modified flag) and the next one is posted
    // only once the marker has been handled. By then the program has handled
    // the character and everything it did about it, and whatever it posted
    // meanwhile comes before the next character.
    for (unsigned char c : chars) {
        sendA(control, EM_SETMODIFY, TRUE, 0, what);
        PostMessageA(control, WM_CHAR, c, 1);
        PostMessageA(control, EM_SETMODIFY, FALSE, 0);
        double end = nowMs() + timeoutMs;
        while (sendA(control, EM_GETMODIFY, 0, 0, what)) {
            if (nowMs() >= end)
                throw Failure("timed out after " + std::to_string(timeoutMs) + " ms waiting for control " +
                              std::to_string(id_) + " to take the typed character " + quoted(std::string(1, c)) +
                              "; its text: " + quoted(text()));
            Sleep(1);
        }
    }
    // Typing leaves the field modified.
    sendA(control, EM_SETMODIFY, TRUE, 0, what);
}

void Control::selectAll() const
{
    sendA(require("selecting the text of"), EM_SETSEL, 0, -1, "selecting the text of control " + std::to_string(id_));
}

void Control::caretToEnd() const
{
    HWND control = require("moving the caret in");
    std::string what = "moving the caret in control " + std::to_string(id_);
    LRESULT length = sendW(control, WM_GETTEXTLENGTH, 0, 0, what);
    sendA(control, EM_SETSEL, length, length, what);
}

void Control::setText(const std::string& text) const
{
    sendA(require("setting the text of"), WM_SETTEXT, 0, (LPARAM)text.c_str(),
          "setting the text of control " + std::to_string(id_));
}

int Control::checkState() const
{
    return (int)sendA(require("reading the check state of"), BM_GETCHECK, 0, 0,
                      "reading the check state of control " + std::to_string(id_));
}

std::vector<std::string> Control::lines() const
{
    HWND list = require("reading the lines of");
    std::string what = "reading the lines of list box " + std::to_string(id_);
    LRESULT count = sendA(list, LB_GETCOUNT, 0, 0, what);
    std::vector<std::string> lines;
    for (LRESULT i = 0; i < count; i++) {
        // The ANSI LB_GETTEXT comes back as UTF-16 across processes under Wine.
        LRESULT length = sendW(list, LB_GETTEXTLEN, i, 0, what);
        if (length == LB_ERR)
            throw Failure(what + ": line " + std::to_string(i) + " has gone");
        std::wstring line(length + 1, L'\0');
        LRESULT copied = sendW(list, LB_GETTEXT, i, (LPARAM)&line[0], what);
        line.resize(copied == LB_ERR ? 0 : std::min<size_t>(copied, length));
        lines.push_back(wideToAnsi(line));
    }
    return lines;
}

int Control::position() const
{
    return (int)sendA(require("reading the position of"), PBM_GETPOS, 0, 0,
                      "reading the position of progress bar " + std::to_string(id_));
}

HWND Control::treeHandle() const
{
    HWND control = require("using the tree of");
    if (classOf(control) == WC_TREEVIEWA)
        return control;
    HWND tree = findDescendant(control, 0, WC_TREEVIEWA);
    if (!tree)
        throw Failure(describe() + " is no tree view and holds none");
    return tree;
}

std::vector<std::string> Control::treeChildren(const std::vector<std::string>& item) const
{
    HWND tree = treeHandle();
    HTREEITEM parent = treeFind(tree, item);
    if (parent)
        sendA(tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)parent, "expanding a tree item");
    std::vector<std::string> labels;
    for (HTREEITEM child : treeItemsBelow(tree, parent))
        labels.push_back(treeLabel(tree, child));
    return labels;
}

std::vector<std::string> Control::treeSelection() const
{
    HWND tree = treeHandle();
    return treeLabelsOf(tree, treeNext(tree, TVGN_CARET, nullptr));
}

void Control::treeClick(const std::vector<std::string>& item, int timeoutMs) const
{
    HWND tree = treeHandle();
    if (item.empty())
        throw Failure("treeClick needs an item");
    requireUsable("clicking into the tree");
    HTREEITEM target = treeFind(tree, item);
    sendA(tree, TVM_ENSUREVISIBLE, 0, (LPARAM)target, "scrolling a tree");
    // TVM_GETITEMRECT takes the item in the rectangle it fills.
    RemoteMemory memory(tree, sizeof(RECT));
    RECT rect = {};
    memcpy(&rect, &target, sizeof target);
    memory.write(0, &rect, sizeof rect);
    if (!sendA(tree, TVM_GETITEMRECT, TRUE, (LPARAM)memory.address(), "locating a tree item"))
        throw Failure("the tree item " + joinLabels(item) + " is not on the screen");
    memory.read(0, &rect, sizeof rect);
    int x = (rect.left + rect.right) / 2;
    int y = (rect.top + rect.bottom) / 2;
    PostMessageA(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    PostMessageA(tree, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    waitUntil([&] { return treeNext(tree, TVGN_CARET, nullptr) == target; },
              "a click on the tree item " + joinLabels(item) + " to select it", timeoutMs,
              [&] { return "the selection " + joinLabels(treeSelection()); });
}

std::string Control::describe() const
{
    HWND control = handle();
    if (!control)
        return "control " + std::to_string(id_) + " (missing)";
    std::string text = "control " + std::to_string(id_) + " (" + describeWindowBrief(control);
    text += IsWindowVisible(control) ? ", visible" : ", hidden";
    text += enabledUpwards(control) ? ", enabled)" : ", disabled)";
    return text;
}

// ---- MsgBox ----------------------------------------------------------

MsgBox readMessageBox(HWND box)
{
    MsgBox result;
    result.handle = box;
    result.title = windowText(box);
    result.text = windowText(GetDlgItem(box, 0xFFFF));
    for (HWND child : descendants(box))
        if (IsWindowVisible(child) && classOf(child) == "Button")
            result.buttons.push_back({GetDlgCtrlID(child), windowText(child)});
    result.icon = messageBoxIcon(box);
    return result;
}

int MsgBox::flags() const
{
    auto has = [&](int id) { return hasButton(id); };
    int type = MB_OK;
    if (has(IDABORT) && has(IDRETRY) && has(IDIGNORE))
        type = MB_ABORTRETRYIGNORE;
    else if (has(IDYES) && has(IDNO))
        type = has(IDCANCEL) ? MB_YESNOCANCEL : MB_YESNO;
    else if (has(IDRETRY) && has(IDCANCEL))
        type = MB_RETRYCANCEL;
    else if (has(IDOK) && has(IDCANCEL))
        type = MB_OKCANCEL;
    return type | icon;
}

bool MsgBox::hasButton(int id) const
{
    return std::any_of(buttons.begin(), buttons.end(), [&](const Button& button) { return button.id == id; });
}

void MsgBox::press(int id, int timeoutMs) const
{
    if (!hasButton(id))
        throw Failure("the message box " + describe() + " has no button " + std::to_string(id));
    PostMessageA(GetDlgItem(handle, id), BM_CLICK, 0, 0);
    waitUntil([&] { return !IsWindow(handle) || !IsWindowVisible(handle); },
              "the message box " + quoted(title) + " to close after pressing button " + std::to_string(id),
              timeoutMs);
}

std::string MsgBox::describe() const
{
    std::string text = quoted(title) + ": " + quoted(this->text) + " [flags " + std::to_string(flags()) + ";";
    for (const Button& button : buttons)
        text += " " + std::to_string(button.id) + " " + quoted(button.text);
    return text + "]";
}

}  // namespace e2e
