// Pixels on the screen: screenshots as PNG files, and which icon a message
// box shows (icons of another process can't be queried, only looked at).
#include "Internal.h"

#include <png.h>

#include "PngFile.h"
#include "TestFiles.h"

#include <cstdio>
#include <cstdlib>

namespace e2e {

namespace {

// The pixels of a screen rectangle as 24-bit blue-green-red rows, top down.
struct Pixels {
    int width = 0;
    int height = 0;
    int stride = 0;
    std::vector<unsigned char> bytes;

    const unsigned char* at(int x, int y) const { return &bytes[y * stride + x * 3]; }
};

// Copies what `source` shows at (x, y) into 24-bit pixels.
Pixels grab(HDC source, int x, int y, int width, int height)
{
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    pixels.stride = (width * 3 + 3) & ~3;
    pixels.bytes.resize(pixels.stride * height);
    BITMAPINFO info = Bgr24BitmapInfo(width, height);
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP bitmap = CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!memory || !bitmap) {
        if (memory)
            DeleteDC(memory);
        throw Failure("can't make a bitmap for the screen's pixels");
    }
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
    memcpy(pixels.bytes.data(), bits, pixels.bytes.size());
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

Pixels grabScreen(const RECT& rect)
{
    HDC screen = GetDC(nullptr);
    Pixels pixels = grab(screen, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// An icon drawn over a background colour, as a static control draws it.
Pixels drawIcon(HICON icon, int width, int height, const unsigned char* background)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH brush = CreateSolidBrush(RGB(background[2], background[1], background[0]));
    RECT all = {0, 0, width, height};
    FillRect(memory, &all, brush);
    DeleteObject(brush);
    DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    Pixels pixels = grab(memory, 0, 0, width, height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Mean difference per colour channel, 0 for equal pictures.
double difference(const Pixels& a, const Pixels& b)
{
    long long sum = 0;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            for (int c = 0; c < 3; c++)
                sum += abs(a.at(x, y)[c] - b.at(x, y)[c]);
    return (double)sum / (a.width * a.height * 3);
}

HWND iconControlOf(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child) && classOf(child) == "Static" &&
            (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    return nullptr;
}

}  // namespace

int messageBoxIcon(HWND box)
{
    HWND control = iconControlOf(box);
    // A box without icon may keep an empty icon control.
    if (!control || !sendW(control, STM_GETICON, 0, 0, "reading a message box's icon"))
        return 0;
    struct Candidate {
        LPCSTR icon;
        int flag;
    };
    const Candidate candidates[] = {{IDI_HAND, MB_ICONERROR},
                                    {IDI_QUESTION, MB_ICONQUESTION},
                                    {IDI_EXCLAMATION, MB_ICONWARNING},
                                    {IDI_ASTERISK, MB_ICONINFORMATION}};
    RECT rect;
    GetWindowRect(control, &rect);
    // The box may not have painted itself yet when it is first seen.
    double end = nowMs() + 2000;
    for (;;) {
        Pixels shown = grabScreen(rect);
        int best = -1;
        double bestDifference = 1e9;
        for (const Candidate& candidate : candidates) {
            Pixels drawn = drawIcon(LoadIconA(nullptr, candidate.icon), shown.width, shown.height, shown.at(0, 0));
            double d = difference(shown, drawn);
            if (d < bestDifference) {
                bestDifference = d;
                best = candidate.flag;
            }
        }
        if (bestDifference < 4)
            return best;
        if (nowMs() >= end)
            return -1;
        Sleep(50);
    }
}

std::string screenshot(const std::string& name, HWND window)
{
    const char* dir = getenv("TALVERA_SCREENSHOT_DIR");
    if (!dir || !*dir)
        return "";
    RECT rect = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window)
        GetWindowRect(window, &rect);
    std::string path = joinPath(windowsPath(dir), name + ".png");
    makeDirectories(windowsPath(dir));
    // A window that has just appeared paints itself bit by bit: take the
    // picture once it has stayed the same for a moment.
    Pixels pixels = grabScreen(rect);
    for (double end = nowMs() + 2000; nowMs() < end;) {
        Sleep(100);
        Pixels again = grabScreen(rect);
        bool settled = again.bytes == pixels.bytes;
        pixels = std::move(again);
        if (settled)
            break;
    }
    if (!WriteBgrPng(path, pixels.width, pixels.height, pixels.stride, pixels.bytes.data()))
        throw Failure("can't write the screenshot " + path);
    return path;
}

}  // namespace e2e
