// Helpers shared by the driver's sources; not for tests.
#pragma once

#include "Driver.h"

namespace e2e {

// SendMessageTimeout to a window of another process; fails with `what`
// when the program doesn't answer within the message timeout.
LRESULT sendA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what);
LRESULT sendW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const std::string& what);

// WM_GETTEXT of any window, "" when it has gone.
std::string windowText(HWND window);
std::string classOf(HWND window);
// Whether the window's program handles messages (answers within half a second).
bool responding(HWND window);
DWORD processOf(HWND window);
std::string quoted(const std::string& text);
std::string wideToAnsi(const std::wstring& text);

// The icon shown by a message box (MB_ICON... value, 0 for none).
int messageBoxIcon(HWND box);

}  // namespace e2e
