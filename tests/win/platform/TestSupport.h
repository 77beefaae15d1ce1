// Helpers shared by the window-layer tests: starting the platform, taking
// events, reading controls and pixels, writing PNG files.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "Platform.h"

inline std::string Str(const Text& text) { return text.c_str(); }
// Lets GoogleTest show a Text in a failure message.
inline void PrintTo(const Text& text, std::ostream* out) { *out << '"' << text.c_str() << '"'; }

// PlatformStart once per process.
void StartPlatform();
// Releases everything the platform holds and empties the message queue.
void EndPlatformTest();

struct PolledEvent {
    int event;
    int control;
    int type;
};
// Polls until the queue is empty; returns every poll result but the last 0.
std::vector<PolledEvent> DrainEvents();
// True when one of the events is a control event of that control and type.
bool HasControlEvent(const std::vector<PolledEvent>& events, int control, int type);
// Keeps polling for the given time (lets windows paint).
void PumpFor(int milliseconds);

std::string WindowText(HWND window);
std::string ClassName(HWND window);
// The window's rectangle in its parent's client coordinates.
RECT RectInParent(HWND window);

// 24-bit pixels, blue-green-red, rows top first without padding.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bgr;
    COLORREF at(int x, int y) const {
        const unsigned char* p = &bgr[((size_t)y * width + x) * 3];
        return RGB(p[2], p[1], p[0]);
    }
};
Pixels BitmapPixels(HBITMAP bitmap);
// A rectangle of the screen, read with BitBlt from the screen's DC.
Pixels CaptureScreen(const RECT& area);

// A picture to encode: rows of samples as libpng expects them for the
// colour type and depth (packed for depths below 8, big-endian for 16).
struct PngPicture {
    int width;
    int height;
    int colourType;  // PNG_COLOR_TYPE_*
    int depth;
    bool interlaced;
    std::vector<std::vector<unsigned char>> rows;
    std::vector<unsigned char> palette;      // RGB triples
    std::vector<unsigned char> transparency; // tRNS for the palette
};
std::vector<unsigned char> EncodePng(const PngPicture& picture);
// Writes 24-bit pixels as an RGB PNG file. True on success.
bool SavePng(const std::string& path, const Pixels& pixels);
