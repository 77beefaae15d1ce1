// Small Win32 helpers shared by the Windows test programs.
#pragma once

#include <windows.h>

#include <string>

// The whole file, read while others may still have it open for writing;
// "<missing>" when it can't be opened.
std::string ReadWholeFile(const std::string& path);

// A top-down 24-bit blue-green-red bitmap header of that size.
BITMAPINFO Bgr24BitmapInfo(int width, int height);
