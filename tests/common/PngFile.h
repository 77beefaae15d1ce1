// Writes screenshots taken by the tests as PNG files.
#pragma once

#include <string>

// Writes width x height pixels of 3 bytes each, blue-green-red, rows of
// `stride` bytes from the top, as an 8-bit RGB PNG. False on any failure.
bool WriteBgrPng(const std::string& path, int width, int height, int stride, const unsigned char* rows);
