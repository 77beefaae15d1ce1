// Numbered images (PNG pictures decoded from memory, blank pictures),
// numbered fonts, and text drawing on an image.
#include "WindowTable.h"

#include <png.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Larger pictures are refused rather than allocated: the program carries
// two small banners.
enum { PICTURE_SIDE_LIMIT = 8192 };

HBITMAP images[IMAGE_SLOTS];
HFONT fonts[FONT_SLOTS];

struct Drawing {
    HDC dc;
    HGDIOBJ previousBitmap;
    HGDIOBJ previousFont;
};
Drawing drawing;

bool validImage(int number) { return number >= 0 && number < IMAGE_SLOTS; }
bool validFont(int number) { return number >= 0 && number < FONT_SLOTS; }

HBITMAP storeImage(int number, HBITMAP bitmap) {
    ImageFree(number);
    images[number] = bitmap;
    return bitmap;
}

// ---------------------------------------------------------------- PNG

struct MemoryInput {
    const unsigned char* data;
    size_t size;
    size_t position;
};

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    MemoryInput* input = (MemoryInput*)png_get_io_ptr(png);
    if (count > input->size - input->position) png_error(png, "truncated");
    memcpy(out, input->data + input->position, count);
    input->position += count;
}

// libpng's default handlers print to the console; a picture that cannot be
// read simply gives no image.
void failQuietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignoreWarning(png_structp, png_const_charp) {}

// Copies rows of 24-bit blue-green-red pixels, each row padded to 4 bytes,
// into a bitmap compatible with the display.
HBITMAP bitmapFromPixels(const unsigned char* pixels, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    if (!screen) return nullptr;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    if (bitmap && SetDIBits(screen, bitmap, 0, height, pixels, &info, DIB_RGB_COLORS) != height) {
        DeleteObject(bitmap);
        bitmap = nullptr;
    }
    ReleaseDC(nullptr, screen);
    return bitmap;
}

// Decodes into rows of blue-green-red pixels; returns the pixel buffer
// (to be freed) or 0. Kept free of C++ objects: libpng leaves by longjmp.
unsigned char* decodeRows(const unsigned char* data, int size, int* widthOut, int* heightOut) {
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) return nullptr;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failQuietly, ignoreWarning);
    if (!png) return nullptr;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return nullptr;
    }
    unsigned char* volatile pixels = nullptr;
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        free(pixels);
        free(rows);
        png_destroy_read_struct(&png, &info, nullptr);
        return nullptr;
    }
    MemoryInput input = {data, (size_t)size, 0};
    png_set_read_fn(png, &input, readFromMemory);
    png_read_info(png, info);
    png_uint_32 width, height;
    int depth, colour, interlace;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || width > PICTURE_SIDE_LIMIT || height > PICTURE_SIDE_LIMIT)
        png_error(png, "size");

    // Whatever the stored form, 8-bit blue, green and red come out.
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (depth == 16) png_set_strip_16(png);
    png_set_strip_alpha(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != (png_size_t)width * 3) png_error(png, "format");

    size_t stride = ((size_t)width * 3 + 3) & ~(size_t)3;
    pixels = (unsigned char*)malloc(stride * height);
    rows = (png_bytep*)malloc(sizeof(png_bytep) * height);
    if (!pixels || !rows) png_error(png, "memory");
    for (png_uint_32 y = 0; y < height; y++) rows[y] = pixels + stride * y;
    png_read_image(png, rows);

    unsigned char* result = pixels;
    free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    *widthOut = (int)width;
    *heightOut = (int)height;
    return result;
}

void endDrawing() {
    if (!drawing.dc) return;
    if (drawing.previousFont) SelectObject(drawing.dc, drawing.previousFont);
    SelectObject(drawing.dc, drawing.previousBitmap);
    DeleteDC(drawing.dc);
    drawing = Drawing{};
}

}  // namespace

// ---------------------------------------------------------------- images

HBITMAP ImageDecodePng(int number, const void* data, int size) {
    if (!validImage(number)) return nullptr;
    int width = 0, height = 0;
    unsigned char* pixels = decodeRows((const unsigned char*)data, size, &width, &height);
    HBITMAP bitmap = pixels ? bitmapFromPixels(pixels, width, height) : nullptr;
    free(pixels);
    return storeImage(number, bitmap);
}

HBITMAP ImageCreateBlank(int number, int width, int height) {
    if (!validImage(number) || width <= 0 || height <= 0) return nullptr;
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    if (!display) return storeImage(number, nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(display, width, height);
    if (bitmap) {
        HDC memory = CreateCompatibleDC(display);
        HGDIOBJ previous = memory ? SelectObject(memory, bitmap) : nullptr;
        if (previous) {
            PatBlt(memory, 0, 0, width, height, BLACKNESS);
            SelectObject(memory, previous);
        }
        if (memory) DeleteDC(memory);
    }
    DeleteDC(display);
    return storeImage(number, bitmap);
}

HBITMAP ImageHandle(int number) { return validImage(number) ? images[number] : nullptr; }

void ImageFree(int number) {
    if (!validImage(number) || !images[number]) return;
    if (drawing.dc && GetCurrentObject(drawing.dc, OBJ_BITMAP) == images[number]) endDrawing();
    DeleteObject(images[number]);
    images[number] = nullptr;
}

void ImagesRelease() {
    endDrawing();
    for (int i = 0; i < IMAGE_SLOTS; i++) ImageFree(i);
}

// ---------------------------------------------------------------- fonts

HFONT FontLoad(int number, const char* face, int points, int bold) {
    if (!validFont(number)) return nullptr;
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    HFONT font = CreateFontA(-MulDiv(points, dpi, 72), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_DONTCARE, face);
    if (fonts[number]) {
        if (drawing.dc && GetCurrentObject(drawing.dc, OBJ_FONT) == fonts[number])
            SelectObject(drawing.dc, drawing.previousFont);
        DeleteObject(fonts[number]);
    }
    fonts[number] = font;
    return font;
}

HFONT FontHandle(int number) { return validFont(number) ? fonts[number] : nullptr; }

void FontsRelease() {
    endDrawing();
    for (int i = 0; i < FONT_SLOTS; i++) {
        if (fonts[i]) DeleteObject(fonts[i]);
        fonts[i] = nullptr;
    }
}

// ---------------------------------------------------------------- drawing

int DrawingStart(int image) {
    endDrawing();
    HBITMAP bitmap = ImageHandle(image);
    if (!bitmap) return 0;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return 0;
    HGDIOBJ previous = SelectObject(dc, bitmap);
    if (!previous) {
        DeleteDC(dc);
        return 0;
    }
    drawing = Drawing{dc, previous, nullptr};
    // Each text goes where the last one ended (or where MoveToEx put the
    // pen), on the new DC's opaque white background.
    SetTextAlign(dc, TA_UPDATECP);
    SetTextColor(dc, RGB(0, 0, 0));
    return 1;
}

void DrawingFont(int font) {
    HFONT handle = FontHandle(font);
    if (!drawing.dc || !handle) return;
    HGDIOBJ previous = SelectObject(drawing.dc, handle);
    if (!drawing.previousFont) drawing.previousFont = previous;
}

void DrawingMoveTo(int x, int y) {
    if (drawing.dc) MoveToEx(drawing.dc, x, y, nullptr);
}

void DrawingText(const Text& text) {
    if (drawing.dc) TextOutA(drawing.dc, 0, 0, text.c_str(), text.length());
}

void DrawingStop() { endDrawing(); }
