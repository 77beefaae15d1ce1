// The thin Win32 layer of the setup program. Windows, controls, images,
// fonts and open files are addressed by small numbers; an operation on a
// number that has no object does nothing, and a query then gives 0 or "".
#pragma once

#include <windows.h>

#include "Text.h"

// ---------------------------------------------------------------- start, end

// Starts the services the program uses: DLL search limited to the system
// directory, common controls, the tables of windows, controls, images, fonts
// and files. Call once, first.
void PlatformStart(HINSTANCE instance);
HINSTANCE PlatformInstance();
// Releases images and fonts, closes every open file and every window.
void PlatformRelease();

// ---------------------------------------------------------------- files

// Numbered files. Numbers 0 to 15.
enum { FILE_SLOTS = 16 };

// Creates (or replaces) a file for writing; others may read it meanwhile.
// Returns 1, or 0 when the file cannot be created. A file already open under
// the number is closed first.
int FileCreate(int number, const Text& path);
// Opens an existing file for reading (others may read it too). 1 or 0.
int FileOpenRead(int number, const Text& path);
int FileIsOpen(int number);
// 1 when every byte of a file open for reading has been read (or no file).
int FileEof(int number);
// Reads one line: it ends at CR LF, a lone CR, a lone LF or a NUL byte; the
// terminator is not kept. At the end of the file it returns what it has.
Text FileReadLine(int number);
// Writes the bytes straight to the file (no buffering). Return the number of
// bytes written (the line variant counts the CR LF too).
int FileWriteText(int number, const Text& text);
int FileWriteLine(int number, const Text& text);
int FileWriteBytes(int number, const void* data, int size);
void FileClose(int number);
void FileCloseAll();

// -1 when nothing of that name exists, -2 when it is a directory, else the
// size in bytes. A trailing backslash is ignored.
int FileSize(const Text& path);
// One level; fails (0) when anything is already at the path.
int MakeDirectory(const Text& path);
// Replaces an existing target. 1 or 0.
int CopyFileTo(const Text& source, const Text& target);
// 1 or 0; callers of the setup program ignore the result.
int DeleteFileAt(const Text& path);

enum { REMOVE_RECURSIVE = 1, REMOVE_FORCE = 2 };
// Deletes the files of a directory that match the pattern (with
// REMOVE_FORCE read-only ones too), its matching subdirectories with
// REMOVE_RECURSIVE, then the directory itself when it is empty by then.
// An empty path does nothing; when nothing matches, the directory stays.
void RemoveDirectoryTree(const Text& path, const char* pattern, int flags);

// ---------------------------------------------------------------- shell

// ShellExecuteExA with the verb "Open"; does not wait. Returns 1 when the
// shell reported success.
int ShellStart(const Text& file, const Text& parameters, const Text& directory, int showCommand);

// ---------------------------------------------------------------- windows

enum { WINDOW_SLOTS = 4, CONTROL_SLOTS = 64 };
enum { WINDOW_CENTRE_SCREEN = 1, WINDOW_CENTRE_ACTIVE = 2 };

// Opens a top-level window (closing one of the same number first). The
// flags: bit 0 centres on the screen, bit 1 on the active window, the other
// bits are window styles (WS_CAPTION when none); WS_VISIBLE is added.
// width and height are the client size. Controls created afterwards are
// children of this window. Returns the handle or 0.
HWND WindowOpen(int number, int x, int y, int width, int height, int flags, const char* caption);
void WindowClose(int number);
HWND WindowHandle(int number);
// Paints what is waiting to be painted, without handling any input: for a
// long step that runs without polling events.
void WindowRefresh(int number);

// ---------------------------------------------------------------- controls

// Each create returns the control's handle, or 0 on failure. The number is
// also the Win32 control identifier.
HWND TextCreate(int number, int x, int y, int w, int h, const char* text);
HWND FrameCreate(int number, int x, int y, int w, int h, const char* text);
HWND ButtonCreate(int number, int x, int y, int w, int h, const char* text);
HWND OptionCreate(int number, int x, int y, int w, int h, const char* text);
HWND CheckBoxCreate(int number, int x, int y, int w, int h, const char* text);
HWND FieldCreate(int number, int x, int y, int w, int h, const char* text);
HWND ListBoxCreate(int number, int x, int y, int w, int h);
HWND ImageCreate(int number, int x, int y, int w, int h, HBITMAP image);
HWND EditorCreate(int number, int x, int y, int w, int h);
HWND ProgressBarCreate(int number, int x, int y, int w, int h, int minimum, int maximum, int flags);
HWND FolderTreeCreate(int number, int x, int y, int w, int h, const Text& path, int flags);
// A container: controls created after it are its children until
// ContainerEnd is called.
HWND ContainerCreate(int number, int x, int y, int w, int h);
void ContainerEnd();

void ControlHide(int number, int hide);
void ControlDisable(int number, int disable);
void ControlFree(int number);
int ControlExists(int number);
Text ControlGetText(int number);
void ControlSetText(int number, const Text& text);
int ControlGetState(int number);
void ControlSetState(int number, int value);
// List box: inserts at the position (-1 = at the end) without scrolling.
// Editor: -1 appends one line (see the editor's line rule).
void ControlAddItem(int number, int position, const Text& text);
HWND ControlHandle(int number);

// ---------------------------------------------------------------- events

// EVENT_OTHER: a message was taken from the queue but recorded no event.
enum { EVENT_NONE = 0, EVENT_CONTROL = 13100, EVENT_CLOSE = 16, EVENT_OTHER = -1 };
enum { EVENT_TYPE_CHANGE = 768, EVENT_TYPE_CLICK = 0 };

// Takes at most one message without waiting and returns its event.
int EventPoll();
int EventControl();
int EventType();

// ---------------------------------------------------------------- messages

// MessageBoxA with the foreground window as owner when it is the program's.
// Returns the pressed button (IDOK 1, IDYES 6, IDNO 7).
int MessageBoxShow(const char* title, const Text& text, int flags);

// ---------------------------------------------------------------- pictures

enum { IMAGE_SLOTS = 8, FONT_SLOTS = 4 };
// Decodes a PNG held in memory into a 24-bit device-compatible bitmap.
HBITMAP ImageDecodePng(int number, const void* data, int size);
// A black image compatible with the display.
HBITMAP ImageCreateBlank(int number, int width, int height);
HBITMAP ImageHandle(int number);
void ImageFree(int number);

HFONT FontLoad(int number, const char* face, int points, int bold);
HFONT FontHandle(int number);

// Drawing on an image: start selects it into a memory DC.
int DrawingStart(int image);
void DrawingFont(int font);
void DrawingMoveTo(int x, int y);
void DrawingText(const Text& text);
void DrawingStop();
