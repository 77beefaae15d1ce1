// Screenshots of the waiting window and the wizard's welcome page, saved as
// waiting.png and welcome.png in the directory named by
// TALVERA_SCREENSHOT_DIR (a Unix path, reached through drive Z:), else in
// the current directory.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "Setup.h"
#include "TestSupport.h"

namespace {

std::string screenshotPath(const char* name) {
    char unixDir[MAX_PATH] = "";
    if (!GetEnvironmentVariableA("TALVERA_SCREENSHOT_DIR", unixDir, sizeof unixDir) || !unixDir[0])
        return name;
    std::string dir = std::string("Z:") + unixDir;
    for (char& c : dir)
        if (c == '/') c = '\\';
    if (dir.back() != '\\') dir += '\\';
    return dir + name;
}

// Brings the window to the front, lets it paint, and captures it from the
// screen.
Pixels shoot(HWND window) {
    SetForegroundWindow(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PumpFor(600);
    RECT outer;
    GetWindowRect(window, &outer);
    return CaptureScreen(outer);
}

// Where a client point of the window lies in a capture of its outer rectangle.
POINT inCapture(HWND window, int x, int y) {
    RECT outer;
    GetWindowRect(window, &outer);
    POINT p = {x, y};
    ClientToScreen(window, &p);
    return POINT{p.x - outer.left, p.y - outer.top};
}

class Screenshots : public ::testing::Test {
protected:
    void SetUp() override {
        StartPlatform();
        ResetInstallerState();
        state.sideImage = ImageDecodePng(imageSide, SideBannerStart, (int)(SideBannerEnd - SideBannerStart));
        state.headerImage =
            ImageDecodePng(imageHeader, HeaderBannerStart, (int)(HeaderBannerEnd - HeaderBannerStart));
    }
    void TearDown() override { EndPlatformTest(); }
};

TEST_F(Screenshots, WaitingWindow) {
    OpenWaitWindow();
    HWND window = WindowHandle(wndWait);
    ASSERT_TRUE(window);
    Pixels shot = shoot(window);
    std::string path = screenshotPath("waiting.png");
    ASSERT_TRUE(SavePng(path, shot)) << path;
    // The client area shows the face colour and black text.
    POINT face = inCapture(window, 145, 45);
    EXPECT_EQ(shot.at(face.x, face.y), GetSysColor(COLOR_BTNFACE));
    int dark = 0;
    for (int y = 10; y < 50; y++)
        for (int x = 10; x < 140; x++) {
            POINT p = inCapture(window, x, y);
            dark += shot.at(p.x, p.y) == RGB(0, 0, 0);
        }
    EXPECT_GT(dark, 20) << "the two lines of text";
}

TEST_F(Screenshots, WelcomePage) {
    OpenWizardWindow();
    HWND window = WindowHandle(wndWizard);
    ASSERT_TRUE(window);
    Pixels shot = shoot(window);
    std::string path = screenshotPath("welcome.png");
    ASSERT_TRUE(SavePng(path, shot)) << path;

    // The welcome picture on the right: white cells and black.
    int white = 0, black = 0;
    for (int y = 0; y < 314; y++)
        for (int x = 164; x < 502; x++) {
            POINT p = inCapture(window, x, y);
            COLORREF c = shot.at(p.x, p.y);
            white += c == RGB(255, 255, 255);
            black += c == RGB(0, 0, 0);
        }
    EXPECT_GT(white, 338 * 314 / 2);
    EXPECT_GT(black, 100);
    // The side banner on the left shows the decoded picture.
    if (state.sideImage) {
        Pixels banner = BitmapPixels(state.sideImage);
        POINT p = inCapture(window, 80, 200);
        EXPECT_EQ(shot.at(p.x, p.y), banner.at(80, 200));
    }
    // Below the pictures the face colour, with the buttons on it.
    POINT face = inCapture(window, 100, 340);
    EXPECT_EQ(shot.at(face.x, face.y), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
