// Inside the platform layer: what the window, event, picture and folder-tree
// sources share. Not for the program's own code, which uses Platform.h.
#pragma once

#include "Platform.h"

enum ControlKind {
    KIND_NONE = 0,
    KIND_TEXT,
    KIND_FRAME,
    KIND_BUTTON,
    KIND_OPTION,
    KIND_CHECKBOX,
    KIND_FIELD,
    KIND_LISTBOX,
    KIND_IMAGE,
    KIND_EDITOR,
    KIND_PROGRESS,
    KIND_TREE,
    KIND_CONTAINER,
};

// The kind of the control with this number, KIND_NONE when there is none.
int ControlKindOf(int number);
// The window or container that receives the next control, 0 when no window
// is open.
HWND ControlParent();
// Enters a created control in the table. outer is the window that is shown,
// hidden and destroyed; inner receives the control's messages (the same
// window except for the folder tree, whose tree view sits in a holder).
// Returns inner.
HWND ControlRegister(int number, int kind, HWND outer, HWND inner);
// The number of an open top-level window of the table, -1 for any other.
int WindowNumberOf(HWND window);
// Registers a window class of the program (the arrow cursor and the face
// colour as background). Returns false when the class cannot be registered.
bool RegisterProgramClass(const char* name, WNDPROC procedure, HICON icon);
void WindowCloseAll();

// The procedure of the numbered windows and the containers: records control
// events and close requests for the event poll.
LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Folder tree, addressed by the window that holds it.
Text FolderTreeGetText(HWND holder);
void FolderTreeSetText(HWND holder, const Text& text);

// Pictures: release every image and every font, ending a drawing first.
void ImagesRelease();
void FontsRelease();
