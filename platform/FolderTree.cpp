// The folder tree: a tree view of My Computer, its drives and their folders,
// in a plain child window that receives the tree's notifications. Its text
// is the path of the selected folder; setting the text selects a folder.
#include "WindowTable.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>

#include <new>

namespace {

// Creation flags.
enum {
    TREE_FOLDERS_ONLY = 0x00000001,
    TREE_NO_NOTICE = 0x00000010,
    TREE_SORTED = 0x00000040,
    TREE_NO_DOCUMENTS = 0x00000200,
    TREE_NO_BORDER = 0x00100000,
    TREE_SHOW_SELECTION = 0x01000000,
    TREE_NO_LINES = 0x04000000,
    TREE_NO_BUTTONS = 0x08000000,
};

// An item's lParam: its kind, for a drive its index (0 for A), and a mark
// once its subfolders have been listed.
enum {
    ITEM_ROOT = 0x10000,
    ITEM_DRIVE = 0x20000,
    ITEM_FOLDER = 0x40000,
    ITEM_LISTED = 0x100000,
    ITEM_DRIVE_INDEX = 0xFF,
};

const char HOLDER_CLASS[] = "TalveraFolderTree";
const char MY_COMPUTER[] = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";

struct FolderTree {
    HWND holder;
    HWND tree;
    int number;
    int flags;
    int folderIcon;
    int rebuilding;  // selection changes while the items are deleted are not events
    Text filter;     // a file name pattern; the tree lists no files, so it only is kept
};

bool comStarted;

FolderTree* treeOf(HWND holder) {
    if (!holder) return nullptr;
    return (FolderTree*)GetWindowLongPtrA(holder, GWLP_USERDATA);
}

// ---------------------------------------------------------------- items

LPARAM itemData(HWND tree, HTREEITEM item) {
    TVITEMA tv = {};
    tv.mask = TVIF_PARAM | TVIF_HANDLE;
    tv.hItem = item;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&tv)) return 0;
    return tv.lParam;
}

void setItemData(HWND tree, HTREEITEM item, LPARAM data) {
    TVITEMA tv = {};
    tv.mask = TVIF_PARAM | TVIF_HANDLE;
    tv.hItem = item;
    tv.lParam = data;
    SendMessageA(tree, TVM_SETITEMA, 0, (LPARAM)&tv);
}

void setHasChildren(HWND tree, HTREEITEM item, int children) {
    TVITEMA tv = {};
    tv.mask = TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    tv.cChildren = children;
    SendMessageA(tree, TVM_SETITEMA, 0, (LPARAM)&tv);
}

Text itemLabel(HWND tree, HTREEITEM item) {
    char label[MAX_PATH + 1] = "";
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = label;
    tv.cchTextMax = sizeof label;
    SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&tv);
    return Text(label);
}

HTREEITEM nextItem(HWND tree, HTREEITEM item, int relation) {
    return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, relation, (LPARAM)item);
}

HTREEITEM insertItem(HWND tree, HTREEITEM parent, const char* label, int icon, int children, LPARAM data) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = (LPSTR)label;
    insert.item.iImage = icon;
    insert.item.iSelectedImage = icon;
    insert.item.cChildren = children;
    insert.item.lParam = data;
    return (HTREEITEM)SendMessageA(tree, TVM_INSERTITEMA, 0, (LPARAM)&insert);
}

Text driveRoot(int index) {
    char root[4] = {(char)('A' + index), ':', '\\', 0};
    return Text(root);
}

// The path of an item: a drive's root path, then each folder's name and a
// backslash. The root item adds nothing.
Text itemPath(HWND tree, HTREEITEM item) {
    Text path;
    while (item) {
        LPARAM data = itemData(tree, item);
        if (data & ITEM_DRIVE) return driveRoot((int)(data & ITEM_DRIVE_INDEX)) + path;
        if (!(data & ITEM_FOLDER)) return Text();
        path = itemLabel(tree, item) + "\\" + path;
        item = nextItem(tree, item, TVGN_PARENT);
    }
    return Text();
}

// ---------------------------------------------------------------- listing folders

bool isSubfolder(const WIN32_FIND_DATAA& found) {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return strcmp(found.cFileName, ".") != 0 && strcmp(found.cFileName, "..") != 0;
}

bool hasSubfolder(const Text& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool any = false;
    do any = isSubfolder(found);
    while (!any && FindNextFileA(search, &found));
    FindClose(search);
    return any;
}

struct FolderName {
    char* name;
    char* lower;
};

int compareLowered(const void* a, const void* b) {
    const FolderName& x = *(const FolderName*)a;
    const FolderName& y = *(const FolderName*)b;
    int order = strcmp(x.lower, y.lower);  // strcmp compares unsigned bytes
    return order ? order : strcmp(x.name, y.name);
}

char* copyOf(const char* s) {
    size_t size = strlen(s) + 1;
    char* copy = (char*)malloc(size);
    if (copy) memcpy(copy, s, size);
    return copy;
}

struct FolderList {
    FolderName* names;
    int count;
    int capacity;
};

void addName(FolderList& list, const char* name) {
    if (list.count == list.capacity) {
        int grown = list.capacity ? list.capacity * 2 : 32;
        FolderName* names = (FolderName*)realloc(list.names, sizeof(FolderName) * grown);
        if (!names) return;
        list.names = names;
        list.capacity = grown;
    }
    FolderName entry = {copyOf(name), copyOf(name)};
    if (!entry.name || !entry.lower) {
        free(entry.name);
        free(entry.lower);
        return;
    }
    CharLowerA(entry.lower);
    list.names[list.count++] = entry;
}

void freeNames(FolderList& list) {
    for (int i = 0; i < list.count; i++) {
        free(list.names[i].name);
        free(list.names[i].lower);
    }
    free(list.names);
}

// Hidden and system folders are listed too.
FolderList listSubfolders(const Text& folder, bool sorted) {
    FolderList list = {nullptr, 0, 0};
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return list;
    do
        if (isSubfolder(found)) addName(list, found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    if (sorted && list.count > 1) qsort(list.names, list.count, sizeof(FolderName), compareLowered);
    return list;
}

// A drive without a medium is not opened; the user is told once per try.
bool driveReady(const FolderTree& t, const Text& root) {
    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD sectors, bytes, freeClusters, clusters;
    bool notReady = !GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters, &clusters) &&
                    GetLastError() == ERROR_NOT_READY;
    SetErrorMode(previous);
    if (notReady && !(t.flags & TREE_NO_NOTICE))
        MessageBoxShow("Caution", Text("The drive ") + root + " is not ready !", MB_ICONEXCLAMATION);
    return !notReady;
}

// Fills an item with its subfolders on its first expansion. False when it
// must not open (a drive that is not ready).
bool listChildren(FolderTree& t, HTREEITEM item) {
    LPARAM data = itemData(t.tree, item);
    if (data & (ITEM_LISTED | ITEM_ROOT)) return true;
    Text path = itemPath(t.tree, item);
    if ((data & ITEM_DRIVE) && !driveReady(t, path)) return false;
    FolderList folders = listSubfolders(path, (t.flags & TREE_SORTED) != 0);
    for (int i = 0; i < folders.count; i++) {
        const char* name = folders.names[i].name;
        int children = hasSubfolder(path + name + "\\") ? 1 : 0;
        insertItem(t.tree, item, name, t.folderIcon, children, ITEM_FOLDER);
    }
    if (folders.count == 0) setHasChildren(t.tree, item, 0);
    freeNames(folders);
    setItemData(t.tree, item, data | ITEM_LISTED);
    return true;
}

bool expandItem(FolderTree& t, HTREEITEM item) {
    if (!listChildren(t, item)) return false;
    SendMessageA(t.tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)item);
    return true;
}

// ---------------------------------------------------------------- building

// The shell's display name and small icon of a path, or fallback as name.
Text shellName(const char* path, const char* fallback, int* icon) {
    SHFILEINFOA info = {};
    *icon = 0;
    if (!SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return Text(fallback);
    *icon = info.iIcon;
    return info.szDisplayName[0] ? Text(info.szDisplayName) : Text(fallback);
}

// Deletes every item and inserts the root and the drives again.
void rebuild(FolderTree& t) {
    t.rebuilding++;
    SendMessageA(t.tree, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
    t.rebuilding--;

    UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
    int icon;
    Text label = shellName(MY_COMPUTER, "My Computer", &icon);
    HTREEITEM root = insertItem(t.tree, TVI_ROOT, label.c_str(), icon, 1, ITEM_ROOT);
    DWORD drives = GetLogicalDrives();
    for (int index = 0; index < 26; index++) {
        if (!(drives & (1u << index))) continue;
        Text path = driveRoot(index);
        Text name = shellName(path.c_str(), path.c_str(), &icon);
        insertItem(t.tree, root, name.c_str(), icon, 1, ITEM_DRIVE | index);
    }
    SetErrorMode(previous);
    if (root) SendMessageA(t.tree, TVM_EXPAND, TVE_EXPAND, (LPARAM)root);
}

HTREEITEM driveItem(HWND tree, int index) {
    HTREEITEM root = nextItem(tree, nullptr, TVGN_ROOT);
    for (HTREEITEM item = nextItem(tree, root, TVGN_CHILD); item; item = nextItem(tree, item, TVGN_NEXT)) {
        LPARAM data = itemData(tree, item);
        if ((data & ITEM_DRIVE) && (int)(data & ITEM_DRIVE_INDEX) == index) return item;
    }
    return nullptr;
}

HTREEITEM childNamed(HWND tree, HTREEITEM parent, const Text& name) {
    for (HTREEITEM item = nextItem(tree, parent, TVGN_CHILD); item; item = nextItem(tree, item, TVGN_NEXT)) {
        Text label = itemLabel(tree, item);
        if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, label.c_str(), -1, name.c_str(), -1) ==
            CSTR_EQUAL)
            return item;
    }
    return nullptr;
}

// Opens the drive and each folder of a path ending in "\" and selects the
// last; stops without selecting at the first part that is not there.
void selectFolder(FolderTree& t, const Text& folder) {
    HTREEITEM item = driveItem(t.tree, (unsigned char)folder[0] - 'A');
    if (!item) return;
    expandItem(t, item);
    Text rest = folder.mid(3);
    int start = 0;
    while (start < rest.length()) {
        int end = start;
        while (end < rest.length() && rest[end] != '\\') end++;
        HTREEITEM child = childNamed(t.tree, item, rest.mid(start, end - start));
        if (!child) return;
        expandItem(t, child);
        item = child;
        start = end + 1;
    }
    SendMessageA(t.tree, TVM_ENSUREVISIBLE, 0, (LPARAM)item);
    SendMessageA(t.tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item);
}

// ---------------------------------------------------------------- notifications

// The tree's events reach the program through its window's queue, so a
// change made by set text is seen at a later poll.
void postEvent(const FolderTree& t, int type) {
    HWND top = GetAncestor(t.holder, GA_ROOT);
    if (top) PostMessageA(top, WM_COMMAND, MAKEWPARAM(t.number, type), (LPARAM)t.tree);
}

LRESULT onNotify(FolderTree& t, const NMHDR& header) {
    if (header.hwndFrom != t.tree) return 0;
    switch (header.code) {
    case TVN_ITEMEXPANDINGA:
    case TVN_ITEMEXPANDINGW: {
        const NMTREEVIEWA& change = (const NMTREEVIEWA&)header;
        // The low bits hold the action (expand, collapse, toggle).
        if ((change.action & 0x0003) != TVE_EXPAND) return FALSE;
        return listChildren(t, change.itemNew.hItem) ? FALSE : TRUE;
    }
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        if (!t.rebuilding) postEvent(t, EVENT_TYPE_CHANGE);
        return 0;
    case NM_CLICK:
        postEvent(t, 0);
        return 0;
    case NM_DBLCLK:
        postEvent(t, 1);
        return 0;
    case NM_RCLICK:
        postEvent(t, 2);
        return 0;
    case NM_RDBLCLK:
        postEvent(t, 3);
        return 0;
    default:
        return 0;
    }
}

LRESULT CALLBACK holderProc(HWND holder, UINT message, WPARAM wParam, LPARAM lParam) {
    FolderTree* t = treeOf(holder);
    switch (message) {
    case WM_NOTIFY:
        if (t) return onNotify(*t, *(const NMHDR*)lParam);
        break;
    case WM_SIZE:
        if (t && t->tree) MoveWindow(t->tree, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        break;
    case WM_NCDESTROY:
        if (t) {
            SetWindowLongPtrA(holder, GWLP_USERDATA, 0);
            t->~FolderTree();
            free(t);
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(holder, message, wParam, lParam);
}

DWORD treeStyle(int flags) {
    DWORD style = WS_CHILD | WS_VISIBLE | TVS_DISABLEDRAGDROP;
    if (!(flags & TREE_NO_BUTTONS)) style |= TVS_HASBUTTONS;
    if (!(flags & TREE_NO_LINES)) style |= TVS_HASLINES;
    if (flags & TREE_SHOW_SELECTION) style |= TVS_SHOWSELALWAYS;
    return style;
}

// The shell's small system image list, and the icon of a folder in it.
HIMAGELIST systemImages(int* folderIcon) {
    char windows[MAX_PATH] = "C:\\Windows";
    GetWindowsDirectoryA(windows, MAX_PATH);
    SHFILEINFOA info = {};
    HIMAGELIST images =
        (HIMAGELIST)SHGetFileInfoA(windows, 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    *folderIcon = info.iIcon;
    return images;
}

}  // namespace

HWND FolderTreeCreate(int number, int x, int y, int w, int h, const Text& path, int flags) {
    if (number < 0 || number >= CONTROL_SLOTS) return nullptr;
    HWND parent = ControlParent();
    if (!parent || !RegisterProgramClass(HOLDER_CLASS, holderProc, nullptr)) return nullptr;
    ControlFree(number);
    if (!comStarted) comStarted = SUCCEEDED(CoInitialize(nullptr));

    HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(parent, GWLP_HINSTANCE);
    HWND holder = CreateWindowExA(0, HOLDER_CLASS, "", WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                                  (HMENU)(INT_PTR)number, instance, nullptr);
    if (!holder) return nullptr;
    FolderTree* t = (FolderTree*)malloc(sizeof(FolderTree));
    if (!t) {
        DestroyWindow(holder);
        return nullptr;
    }
    new (t) FolderTree{holder, nullptr, number, flags, 0, 0, Text()};
    SetWindowLongPtrA(holder, GWLP_USERDATA, (LONG_PTR)t);

    DWORD exStyle = (flags & TREE_NO_BORDER) ? 0 : WS_EX_CLIENTEDGE;
    HWND tree = CreateWindowExA(exStyle, WC_TREEVIEWA, "", treeStyle(flags), 0, 0, w, h, holder,
                                (HMENU)(INT_PTR)number, instance, nullptr);
    if (!tree) {
        DestroyWindow(holder);
        return nullptr;
    }
    t->tree = tree;
    SendMessageA(tree, WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 0);
    HIMAGELIST images = systemImages(&t->folderIcon);
    if (images) SendMessageA(tree, TVM_SETIMAGELIST, TVSIL_NORMAL, (LPARAM)images);
    ControlRegister(number, KIND_TREE, holder, tree);

    FolderTreeSetText(holder, "");
    FolderTreeSetText(holder, path);
    return tree;
}

Text FolderTreeGetText(HWND holder) {
    FolderTree* t = treeOf(holder);
    if (!t) return Text();
    HTREEITEM selected = nextItem(t->tree, nullptr, TVGN_CARET);
    return selected ? itemPath(t->tree, selected) : Text();
}

void FolderTreeSetText(HWND holder, const Text& text) {
    FolderTree* t = treeOf(holder);
    if (!t) return;
    Text folder;
    if (text.empty() || text == "\\") {
        // nothing to select
    } else if (text.find("\\") < 0) {
        t->filter = text;
        folder = FolderTreeGetText(holder);
    } else {
        int cut = text.length() - 1;
        while (text[cut] != '\\') cut--;
        folder = text.left(cut + 1);
        if (cut + 1 < text.length()) t->filter = text.mid(cut + 1);
        if (folder[0] >= 'a' && folder[0] <= 'z') {
            char drive = (char)(folder[0] - 'a' + 'A');
            folder = Text(&drive, 1) + folder.mid(1);
        }
    }
    rebuild(*t);
    if (!folder.empty()) selectFolder(*t, folder);
}
