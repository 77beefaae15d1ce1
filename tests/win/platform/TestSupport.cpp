#include "TestSupport.h"

#include <png.h>

#include "PngFile.h"
#include "TestFiles.h"
#include <stdio.h>

void StartPlatform() {
    static bool started;
    if (started) return;
    started = true;
    PlatformStart(GetModuleHandleA(nullptr));
}

void EndPlatformTest() {
    PlatformRelease();
    DrainEvents();
}

std::vector<PolledEvent> DrainEvents() {
    std::vector<PolledEvent> events;
    for (int i = 0; i < 10000; i++) {
        int event = EventPoll();
        if (event == EVENT_NONE) break;
        events.push_back({event, EventControl(), EventType()});
    }
    return events;
}

bool HasControlEvent(const std::vector<PolledEvent>& events, int control, int type) {
    for (const PolledEvent& e : events)
        if (e.event == EVENT_CONTROL && e.control == control && e.type == type) return true;
    return false;
}

void PumpFor(int milliseconds) {
    DWORD start = GetTickCount();
    while ((int)(GetTickCount() - start) < milliseconds) {
        if (EventPoll() == EVENT_NONE) Sleep(5);
    }
}

std::string WindowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassName(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

RECT RectInParent(HWND window) {
    RECT r = {};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), (POINT*)&r, 2);
    return r;
}

namespace {

Pixels readBitmap(HDC dc, HBITMAP bitmap, int width, int height) {
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    int stride = (width * 3 + 3) & ~3;
    std::vector<unsigned char> padded((size_t)stride * height);
    BITMAPINFO info = Bgr24BitmapInfo(width, height);
    if (GetDIBits(dc, bitmap, 0, height, padded.data(), &info, DIB_RGB_COLORS) != height) return Pixels();
    pixels.bgr.resize((size_t)width * height * 3);
    for (int y = 0; y < height; y++)
        memcpy(&pixels.bgr[(size_t)y * width * 3], &padded[(size_t)y * stride], (size_t)width * 3);
    return pixels;
}

void writeToVector(png_structp png, png_bytep data, png_size_t size) {
    std::vector<unsigned char>* out = (std::vector<unsigned char>*)png_get_io_ptr(png);
    out->insert(out->end(), data, data + size);
}

void noFlush(png_structp) {}

}  // namespace

Pixels BitmapPixels(HBITMAP bitmap) {
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return Pixels();
    HDC screen = GetDC(nullptr);
    Pixels pixels = readBitmap(screen, bitmap, info.bmWidth, info.bmHeight);
    ReleaseDC(nullptr, screen);
    return pixels;
}

Pixels CaptureScreen(const RECT& area) {
    int width = area.right - area.left;
    int height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    Pixels pixels = readBitmap(screen, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

std::vector<unsigned char> EncodePng(const PngPicture& picture) {
    std::vector<unsigned char> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return {};
    }
    png_set_write_fn(png, &out, writeToVector, noFlush);
    png_set_IHDR(png, info, picture.width, picture.height, picture.depth, picture.colourType,
                 picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < picture.palette.size(); i += 3)
        palette.push_back({picture.palette[i], picture.palette[i + 1], picture.palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), (int)palette.size());
    if (!picture.transparency.empty())
        png_set_tRNS(png, info, picture.transparency.data(), (int)picture.transparency.size(), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const auto& row : picture.rows) rows.push_back((png_bytep)row.data());
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

bool SavePng(const std::string& path, const Pixels& pixels) {
    return WriteBgrPng(path, pixels.width, pixels.height, pixels.width * 3, pixels.bgr.data());
}
