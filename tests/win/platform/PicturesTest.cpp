// PNG pictures decoded from memory, blank images, fonts and text drawing.
#include <gtest/gtest.h>
#include <windows.h>
#include <png.h>

#include <string>
#include <vector>

#include "Setup.h"
#include "TestSupport.h"

namespace {

class Pictures : public ::testing::Test {
protected:
    void SetUp() override { StartPlatform(); }
    void TearDown() override { EndPlatformTest(); }
};

using Bytes = std::vector<unsigned char>;

// Three pixels in a row and their expected colours after decoding.
struct DecodeCase {
    const char* name;
    PngPicture picture;
    std::vector<COLORREF> expected;  // row by row
};

std::vector<DecodeCase> decodeCases() {
    std::vector<DecodeCase> cases;
    cases.push_back({"rgb 8",
                     {3, 1, PNG_COLOR_TYPE_RGB, 8, false, {{255, 0, 0, 0, 128, 0, 1, 2, 3}}, {}, {}},
                     {RGB(255, 0, 0), RGB(0, 128, 0), RGB(1, 2, 3)}});
    // The alpha channel is dropped, not blended.
    cases.push_back({"rgba 8",
                     {2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {{10, 20, 30, 0, 200, 100, 50, 255}}, {}, {}},
                     {RGB(10, 20, 30), RGB(200, 100, 50)}});
    // 16-bit samples keep their high byte.
    cases.push_back({"rgb 16",
                     {1, 1, PNG_COLOR_TYPE_RGB, 16, false, {{0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00}}, {}, {}},
                     {RGB(0x12, 0xAB, 0xFF)}});
    cases.push_back({"grey 8",
                     {2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {{0, 77}}, {}, {}},
                     {RGB(0, 0, 0), RGB(77, 77, 77)}});
    // Eight 1-bit pixels in one byte: 1 is white.
    cases.push_back({"grey 1",
                     {8, 1, PNG_COLOR_TYPE_GRAY, 1, false, {{0xA0}}, {}, {}},
                     {RGB(255, 255, 255), 0, RGB(255, 255, 255), 0, 0, 0, 0, 0}});
    cases.push_back({"grey alpha 16",
                     {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {{0x80, 0x01, 0x00, 0x00}}, {}, {}},
                     {RGB(0x80, 0x80, 0x80)}});
    cases.push_back({"palette 8",
                     {3, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {{2, 0, 1}}, {9, 8, 7, 0, 0, 255, 40, 50, 60}, {}},
                     {RGB(40, 50, 60), RGB(9, 8, 7), RGB(0, 0, 255)}});
    // Palette with transparency: the colours stay, the transparency goes.
    cases.push_back({"palette 2 with tRNS",
                     {4, 1, PNG_COLOR_TYPE_PALETTE, 2, false, {{0x1B}}, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}, {0, 128}},
                     {RGB(1, 1, 1), RGB(2, 2, 2), RGB(3, 3, 3), RGB(4, 4, 4)}});
    // Interlaced: 3 × 3, every pixel different.
    PngPicture interlaced = {3, 3, PNG_COLOR_TYPE_RGB, 8, true, {}, {}, {}};
    std::vector<COLORREF> grid;
    for (int y = 0; y < 3; y++) {
        std::vector<unsigned char> row;
        for (int x = 0; x < 3; x++) {
            unsigned char v = (unsigned char)(y * 3 + x);
            row.insert(row.end(), {v, (unsigned char)(v * 10), (unsigned char)(255 - v)});
            grid.push_back(RGB(v, v * 10, 255 - v));
        }
        interlaced.rows.push_back(row);
    }
    cases.push_back({"interlaced rgb", interlaced, grid});
    return cases;
}

TEST_F(Pictures, PngPicturesOfEveryFormDecodeToTheirColours) {
    for (const DecodeCase& c : decodeCases()) {
        SCOPED_TRACE(c.name);
        Bytes png = EncodePng(c.picture);
        ASSERT_FALSE(png.empty());
        HBITMAP bitmap = ImageDecodePng(2, png.data(), (int)png.size());
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(ImageHandle(2), bitmap);
        Pixels pixels = BitmapPixels(bitmap);
        ASSERT_EQ(pixels.width, c.picture.width);
        ASSERT_EQ(pixels.height, c.picture.height);
        for (int i = 0; i < (int)c.expected.size(); i++) {
            int x = i % pixels.width, y = i / pixels.width;
            EXPECT_EQ(pixels.at(x, y), c.expected[i]) << "pixel " << x << "," << y;
        }
    }
}

TEST_F(Pictures, DecodedBitmapIsCompatibleWithTheDisplay) {
    Bytes png = EncodePng({2, 2, PNG_COLOR_TYPE_RGB, 8, false, {{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}}, {}, {}});
    HBITMAP bitmap = ImageDecodePng(3, png.data(), (int)png.size());
    ASSERT_TRUE(bitmap);
    BITMAP info;
    ASSERT_TRUE(GetObjectA(bitmap, sizeof info, &info));
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(info.bmBitsPixel, GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
    Pixels pixels = BitmapPixels(bitmap);
    EXPECT_EQ(pixels.at(0, 1), RGB(7, 8, 9));  // the top row stays on top
    EXPECT_EQ(pixels.at(1, 1), RGB(10, 11, 12));
}

TEST_F(Pictures, DataThatIsNoUsablePngGivesNoImage) {
    Bytes good = EncodePng({4, 4, PNG_COLOR_TYPE_RGB, 8, false, std::vector<Bytes>(4, Bytes(12, 200)), {}, {}});
    ASSERT_GT(good.size(), 60u);
    Bytes badSignature = good;
    badSignature[1] = 'Q';
    Bytes badHeaderCrc = good;
    badHeaderCrc[29] ^= 0xFF;  // the CRC of IHDR
    Bytes cutInData(good.begin(), good.end() - 20);
    Bytes cutInHeader(good.begin(), good.begin() + 20);
    struct Case {
        const char* name;
        const void* data;
        int size;
    } cases[] = {
        {"no data", nullptr, 0},
        {"empty", good.data(), 0},
        {"signature only", good.data(), 8},
        {"bad signature", badSignature.data(), (int)badSignature.size()},
        {"bad header checksum", badHeaderCrc.data(), (int)badHeaderCrc.size()},
        {"cut in the header", cutInHeader.data(), (int)cutInHeader.size()},
        {"cut in the data", cutInData.data(), (int)cutInData.size()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(ImageDecodePng(5, good.data(), (int)good.size()));
        // A failed decoding replaces what the number held.
        EXPECT_FALSE(ImageDecodePng(5, c.data, c.size));
        EXPECT_FALSE(ImageHandle(5));
    }
    EXPECT_FALSE(ImageDecodePng(IMAGE_SLOTS, good.data(), (int)good.size()));
    EXPECT_FALSE(ImageDecodePng(-1, good.data(), (int)good.size()));
}

TEST_F(Pictures, BlankImageIsBlackAndFreedImageIsGone) {
    HBITMAP bitmap = ImageCreateBlank(4, 10, 7);
    ASSERT_TRUE(bitmap);
    Pixels pixels = BitmapPixels(bitmap);
    ASSERT_EQ(pixels.width, 10);
    ASSERT_EQ(pixels.height, 7);
    for (unsigned char b : pixels.bgr) ASSERT_EQ(b, 0);
    ImageFree(4);
    EXPECT_FALSE(ImageHandle(4));
    EXPECT_FALSE(GetObjectType(bitmap));
    EXPECT_FALSE(ImageCreateBlank(IMAGE_SLOTS, 10, 7));
}

TEST_F(Pictures, FontsHaveTheirPointSizeWeightAndFace) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    struct Case {
        int number, points, bold, weight;
    } cases[] = {{fontTitle, 16, 1, FW_BOLD}, {fontBody, 10, 0, FW_NORMAL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.points);
        HFONT font = FontLoad(c.number, "Arial", c.points, c.bold);
        ASSERT_TRUE(font);
        EXPECT_EQ(FontHandle(c.number), font);
        LOGFONTA info;
        ASSERT_TRUE(GetObjectA(font, sizeof info, &info));
        EXPECT_EQ(info.lfHeight, -MulDiv(c.points, dpi, 72));
        EXPECT_EQ(info.lfWeight, c.weight);
        EXPECT_STREQ(info.lfFaceName, "Arial");
        EXPECT_EQ(info.lfCharSet, DEFAULT_CHARSET);
        EXPECT_FALSE(info.lfItalic || info.lfUnderline || info.lfStrikeOut);
    }
    if (dpi == 96) {
        LOGFONTA info;
        GetObjectA(FontHandle(fontTitle), sizeof info, &info);
        EXPECT_EQ(info.lfHeight, -21);
        GetObjectA(FontHandle(fontBody), sizeof info, &info);
        EXPECT_EQ(info.lfHeight, -13);
    }
}

// Width in pixels of a text in a font.
int textWidth(HFONT font, const char* text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return size.cx;
}

TEST_F(Pictures, TextsAreDrawnOnWhiteCellsOneAfterTheOther) {
    ASSERT_TRUE(ImageCreateBlank(6, 200, 40));
    ASSERT_TRUE(FontLoad(1, "Arial", 10, 0));
    ASSERT_TRUE(DrawingStart(6));
    DrawingFont(1);
    DrawingMoveTo(10, 5);
    DrawingText("    ");
    DrawingText("    ");  // continues where the first ended
    DrawingText("W");
    DrawingStop();

    int spaces = textWidth(FontHandle(1), "    ");
    int letter = textWidth(FontHandle(1), "W");
    ASSERT_GT(spaces, 0);
    Pixels pixels = BitmapPixels(ImageHandle(6));
    const COLORREF white = RGB(255, 255, 255);
    int row = 8;
    EXPECT_EQ(pixels.at(9, row), RGB(0, 0, 0)) << "left of the first text";
    EXPECT_EQ(pixels.at(10, row), white);
    EXPECT_EQ(pixels.at(10 + 2 * spaces - 1, row), white) << "the second text follows the first";
    EXPECT_EQ(pixels.at(10 + 2 * spaces + letter + 1, row), RGB(0, 0, 0)) << "right of the last text";
    EXPECT_EQ(pixels.at(12, 3), RGB(0, 0, 0)) << "above the cells";
    // The letter itself is dark on its white cell (its edges may be
    // smoothed to grey).
    int dark = 0;
    for (int y = 5; y < 20; y++)
        for (int x = 10 + 2 * spaces; x < 10 + 2 * spaces + letter; x++) dark += GetRValue(pixels.at(x, y)) < 128;
    EXPECT_GT(dark, 5);

    EXPECT_EQ(DrawingStart(7), 0) << "no image 7";
}

TEST_F(Pictures, WelcomePictureHasWhiteTextCellsOnBlack) {
    ResetInstallerState();
    OpenWizardWindow();
    HBITMAP welcome = ImageHandle(imageWelcome);
    ASSERT_TRUE(welcome);
    Pixels pixels = BitmapPixels(welcome);
    ASSERT_EQ(pixels.width, 338);
    ASSERT_EQ(pixels.height, 314);
    const COLORREF white = RGB(255, 255, 255), black = RGB(0, 0, 0);
    // Every row of spaces starts at the left edge; the last one, at 304,
    // reaches the bottom.
    for (int y = 80; y <= 304; y += 16) EXPECT_EQ(pixels.at(0, y + 2), white) << "row " << y;
    EXPECT_EQ(pixels.at(0, 313), white);
    // The title's letters are black on white.
    int blackInTitle = 0, whiteInTitle = 0;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 200; x++) {
            blackInTitle += pixels.at(x, y) == black;
            whiteInTitle += pixels.at(x, y) == white;
        }
    EXPECT_GT(blackInTitle, 50);
    EXPECT_GT(whiteInTitle, blackInTitle);
    // The white cells cover most of the black picture.
    int whiteTotal = 0;
    for (int y = 0; y < 314; y++)
        for (int x = 0; x < 338; x++) whiteTotal += pixels.at(x, y) == white;
    EXPECT_GT(whiteTotal, 338 * 314 / 2);
}

}  // namespace
