// The folder tree in-process, against a real directory tree below C:\.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "Setup.h"
#include "TestSupport.h"

namespace {

const char BASE[] = "C:\\TalveraTree\\";
const int TREE_FLAGS = 0x0D000241;

void makeDir(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; }

void makeFile(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    CloseHandle(h);
}

class FolderTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        StartPlatform();
        RemoveDirectoryTree(BASE, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
        // Below the base, in the order the tree must show them (lower-cased
        // names): "_under" sorts before letters only once lower-cased.
        makeDir(BASE);
        makeDir(std::string(BASE) + "Zed");
        makeFile(std::string(BASE) + "Zed\\file.txt");
        makeDir(std::string(BASE) + "Alpha");
        makeDir(std::string(BASE) + "Alpha\\Beta");
        makeDir(std::string(BASE) + "Alpha\\Beta\\Gamma");
        makeDir(std::string(BASE) + "_under");
        makeDir(std::string(BASE) + "hidden");
        SetFileAttributesA((std::string(BASE) + "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        EXPECT_TRUE(GetFileAttributesA((std::string(BASE) + "hidden").c_str()) & FILE_ATTRIBUTE_HIDDEN);
        makeFile(std::string(BASE) + "a file.txt");
    }
    static void TearDownTestSuite() {
        SetFileAttributesA((std::string(BASE) + "hidden").c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryTree(BASE, "*.*", REMOVE_RECURSIVE | REMOVE_FORCE);
    }
    void SetUp() override {
        ASSERT_TRUE(WindowOpen(wndWizard, 0, 0, 502, 369, 0xCA0001, "Installation"));
        ASSERT_TRUE(FolderTreeCreate(treeInstallDir, 30, 190, 442, 100, "", TREE_FLAGS));
        tree = ControlHandle(treeInstallDir);
        ASSERT_TRUE(tree);
        DrainEvents();
    }
    void TearDown() override { EndPlatformTest(); }

    HTREEITEM next(HTREEITEM item, int relation) {
        return (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, relation, (LPARAM)item);
    }
    std::string label(HTREEITEM item) {
        char text[MAX_PATH] = "";
        TVITEMA tv = {};
        tv.mask = TVIF_TEXT | TVIF_HANDLE;
        tv.hItem = item;
        tv.pszText = text;
        tv.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&tv);
        return text;
    }
    TVITEMA item(HTREEITEM handle) {
        TVITEMA tv = {};
        tv.mask = TVIF_CHILDREN | TVIF_STATE | TVIF_HANDLE;
        tv.stateMask = TVIS_EXPANDED;
        tv.hItem = handle;
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&tv);
        return tv;
    }
    std::vector<HTREEITEM> children(HTREEITEM parent) {
        std::vector<HTREEITEM> list;
        for (HTREEITEM i = next(parent, TVGN_CHILD); i; i = next(i, TVGN_NEXT)) list.push_back(i);
        return list;
    }
    HTREEITEM selected() { return next(nullptr, TVGN_CARET); }
    // The item of a path below the base, as the tree holds it now.
    HTREEITEM baseItem() {
        HTREEITEM selection = selected();
        while (selection && label(selection) != "TalveraTree") selection = next(selection, TVGN_PARENT);
        return selection;
    }

    HWND tree = nullptr;
};

int driveCount() {
    int count = 0;
    for (DWORD drives = GetLogicalDrives(); drives; drives >>= 1) count += drives & 1;
    return count;
}

char missingDrive() {
    DWORD drives = GetLogicalDrives();
    for (int i = 25; i >= 3; i--)
        if (!(drives & (1u << i))) return (char)('A' + i);
    return 0;
}

TEST_F(FolderTree, IsATreeViewInAChildWindowWithTheFlagsStyles) {
    HWND holder = GetParent(tree);
    EXPECT_EQ(GetParent(holder), WindowHandle(wndWizard));
    EXPECT_EQ(ClassName(tree), "SysTreeView32");
    LONG style = GetWindowLongA(tree, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS),
              WS_CHILD | WS_VISIBLE | TVS_DISABLEDRAGDROP | TVS_SHOWSELALWAYS);
    EXPECT_EQ(style & (TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT), 0);
    EXPECT_TRUE(GetWindowLongA(tree, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ(GetWindowLongA(tree, GWL_ID), treeInstallDir);
    RECT place = RectInParent(holder);
    EXPECT_EQ(place.left, 30);
    EXPECT_EQ(place.top, 190);
    EXPECT_EQ(place.right - place.left, 442);
    EXPECT_EQ(place.bottom - place.top, 100);
    RECT inside = RectInParent(tree);
    EXPECT_EQ(inside.left, 0);
    EXPECT_EQ(inside.top, 0);
    EXPECT_EQ(inside.right, 442);
    EXPECT_EQ(inside.bottom, 100);
    EXPECT_TRUE(SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
}

TEST_F(FolderTree, SetTextSelectsAFolderAndTheChangeArrivesAtALaterPoll) {
    struct Case {
        std::string text;
        std::string selected;  // get text afterwards; "" = nothing selected
    } cases[] = {
        {"C:\\TalveraTree\\Alpha\\", "C:\\TalveraTree\\Alpha\\"},
        {"C:\\TalveraTree\\Alpha\\Beta\\Gamma\\", "C:\\TalveraTree\\Alpha\\Beta\\Gamma\\"},
        // Without a final backslash the last part is a file name.
        {"C:\\TalveraTree\\Alpha\\Other", "C:\\TalveraTree\\Alpha\\"},
        {"C:\\TalveraTree\\Alpha\\Beta", "C:\\TalveraTree\\Alpha\\"},
        // Names are matched without regard to case; the tree's own
        // spelling comes back.
        {"c:\\talveratree\\alpha\\beta\\", "C:\\TalveraTree\\Alpha\\Beta\\"},
        {"C:\\TALVERATREE\\_UNDER\\", "C:\\TalveraTree\\_under\\"},
        {"C:\\TalveraTree\\hidden\\", "C:\\TalveraTree\\hidden\\"},
        {"C:\\", "C:\\"},
        {"c:\\", "C:\\"},
        {"C:\\TalveraTree\\Missing\\", ""},
        {"C:\\TalveraTree\\Alpha\\Missing\\Beta\\", ""},
        {"C:\\TalveraTree\\Zed\\file.txt\\", ""},
        {std::string(1, missingDrive()) + ":\\Apps\\", ""},
        {"\\\\server\\share\\", ""},
        {"", ""},
        {"\\", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.text + "]");
        // Start from a selection, so that losing it shows too.
        ControlSetText(treeInstallDir, "C:\\TalveraTree\\Zed\\");
        ASSERT_EQ(Str(ControlGetText(treeInstallDir)), "C:\\TalveraTree\\Zed\\");
        DrainEvents();

        ControlSetText(treeInstallDir, c.text.c_str());
        EXPECT_EQ(Str(ControlGetText(treeInstallDir)), c.selected);
        std::vector<PolledEvent> events = DrainEvents();
        bool changed = HasControlEvent(events, treeInstallDir, EVENT_TYPE_CHANGE);
        EXPECT_EQ(changed, !c.selected.empty());
        if (!c.selected.empty()) {
            // Posted, not sent: the first poll after set text brings it
            // with its own type.
            ASSERT_FALSE(events.empty());
            EXPECT_EQ(events.front().event, EVENT_CONTROL);
            EXPECT_EQ(events.front().control, treeInstallDir);
            EXPECT_EQ(events.front().type, EVENT_TYPE_CHANGE);
        } else {
            EXPECT_FALSE(selected());
        }
    }
}

TEST_F(FolderTree, EmptyTextLeavesTheRootAndTheDrives) {
    for (const char* text : {"", "\\"}) {
        SCOPED_TRACE(text);
        ControlSetText(treeInstallDir, "C:\\TalveraTree\\Alpha\\");
        DrainEvents();
        ControlSetText(treeInstallDir, text);
        HTREEITEM root = next(nullptr, TVGN_ROOT);
        ASSERT_TRUE(root);
        EXPECT_FALSE(next(root, TVGN_NEXT)) << "one root";
        EXPECT_FALSE(label(root).empty());
        EXPECT_TRUE(item(root).state & TVIS_EXPANDED);
        std::vector<HTREEITEM> drives = children(root);
        EXPECT_EQ((int)drives.size(), driveCount());
        for (HTREEITEM drive : drives) EXPECT_FALSE(next(drive, TVGN_CHILD)) << label(drive);
        EXPECT_FALSE(selected());
        EXPECT_FALSE(HasControlEvent(DrainEvents(), treeInstallDir, EVENT_TYPE_CHANGE));
    }
}

TEST_F(FolderTree, FoldersAreListedSortedByLowerCasedNameWithoutFiles) {
    ControlSetText(treeInstallDir, BASE);
    HTREEITEM base = selected();
    ASSERT_TRUE(base);
    std::vector<std::string> names;
    for (HTREEITEM child : children(base)) names.push_back(label(child));
    EXPECT_EQ(names, (std::vector<std::string>{"_under", "Alpha", "hidden", "Zed"}));
    // Marked as having children only when there are subfolders.
    std::vector<HTREEITEM> list = children(base);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(item(list[0]).cChildren, 0);
    EXPECT_EQ(item(list[1]).cChildren, 1);
    EXPECT_EQ(item(list[3]).cChildren, 0) << "a file is no child";
    // The selected folder is open.
    EXPECT_TRUE(item(base).state & TVIS_EXPANDED);
}

TEST_F(FolderTree, FoldersFoundBeforeAMissingOneStayOpen) {
    ControlSetText(treeInstallDir, "C:\\TalveraTree\\Alpha\\Missing\\");
    EXPECT_FALSE(selected());
    HTREEITEM root = next(nullptr, TVGN_ROOT);
    HTREEITEM alpha = nullptr;
    for (HTREEITEM drive : children(root))
        for (HTREEITEM top : children(drive))
            if (label(top) == "TalveraTree") {
                EXPECT_TRUE(item(drive).state & TVIS_EXPANDED);
                EXPECT_TRUE(item(top).state & TVIS_EXPANDED);
                for (HTREEITEM child : children(top))
                    if (label(child) == "Alpha") alpha = child;
            }
    ASSERT_TRUE(alpha);
    EXPECT_TRUE(item(alpha).state & TVIS_EXPANDED);
    EXPECT_EQ(label(next(alpha, TVGN_CHILD)), "Beta");
}

TEST_F(FolderTree, TextWithoutBackslashKeepsTheSelectedFolder) {
    ControlSetText(treeInstallDir, "C:\\TalveraTree\\Alpha\\");
    DrainEvents();
    ControlSetText(treeInstallDir, "*.txt");
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "C:\\TalveraTree\\Alpha\\");
    // Rebuilt and selected again.
    EXPECT_TRUE(HasControlEvent(DrainEvents(), treeInstallDir, EVENT_TYPE_CHANGE));
    // With nothing selected it stays so.
    ControlSetText(treeInstallDir, "");
    ControlSetText(treeInstallDir, "*.txt");
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "");
    EXPECT_FALSE(HasControlEvent(DrainEvents(), treeInstallDir, EVENT_TYPE_CHANGE));
}

TEST_F(FolderTree, ChangesOnDiskShowAfterTheNextSetText) {
    ControlSetText(treeInstallDir, BASE);
    makeDir(std::string(BASE) + "Later");
    EXPECT_EQ(children(selected()).size(), 4u) << "listed once";
    ControlSetText(treeInstallDir, "C:\\TalveraTree\\Later\\");
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "C:\\TalveraTree\\Later\\");
    RemoveDirectoryA((std::string(BASE) + "Later").c_str());
}

TEST_F(FolderTree, SelectionByTheUserIsPostedToo) {
    ControlSetText(treeInstallDir, BASE);
    DrainEvents();
    HTREEITEM zed = children(selected()).back();
    SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)zed);
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "C:\\TalveraTree\\Zed\\");
    EXPECT_EQ(EventPoll(), EVENT_CONTROL);
    EXPECT_EQ(EventControl(), treeInstallDir);
    EXPECT_EQ(EventType(), EVENT_TYPE_CHANGE);
}

TEST_F(FolderTree, CreatedWithAPathSelectsIt) {
    ASSERT_TRUE(FolderTreeCreate(treeInstallDir, 30, 190, 442, 100, "C:\\TalveraTree\\Alpha\\", TREE_FLAGS));
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "C:\\TalveraTree\\Alpha\\");
    EXPECT_TRUE(HasControlEvent(DrainEvents(), treeInstallDir, EVENT_TYPE_CHANGE));
}

TEST_F(FolderTree, HideAndFreeActOnTheTreeAndItsWindow) {
    HWND holder = GetParent(tree);
    ControlHide(treeInstallDir, 1);
    EXPECT_FALSE(GetWindowLongA(tree, GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(GetWindowLongA(holder, GWL_STYLE) & WS_VISIBLE);
    ControlHide(treeInstallDir, 0);
    EXPECT_TRUE(IsWindowVisible(tree));
    EXPECT_TRUE(IsWindowVisible(holder));
    ControlFree(treeInstallDir);
    EXPECT_FALSE(IsWindow(tree));
    EXPECT_FALSE(IsWindow(holder));
    EXPECT_FALSE(ControlExists(treeInstallDir));
    EXPECT_EQ(Str(ControlGetText(treeInstallDir)), "");
}

}  // namespace
