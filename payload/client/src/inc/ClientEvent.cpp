// The client window's event handling. Included by ClientMain.cpp.

static void DrawLine(HDC dc, int line, const char* text)
{
    TextOutA(dc, TextMargin, TextMargin + line * LineHeight, text, lstrlenA(text));
}

static const char* ConfigStatusText(int status)
{
    switch (status) {
    case ConfigCreated:
        return "A new configuration was written: servers.list, lang.lng";
    case ConfigFailed:
        return "The configuration could not be written.";
    default:
        return "Configuration: servers.list, lang.lng";
    }
}

static void PaintClientWindow(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    char title[64];
    lstrcpyA(title, "Talvera Client ");
    lstrcatA(title, ClientVersion);
    DrawLine(dc, 0, title);
    DrawLine(dc, 1, "Running from:");
    DrawLine(dc, 2, client.programDir);
    DrawLine(dc, 3, ConfigStatusText(client.configStatus));
    SelectObject(dc, oldFont);
    EndPaint(window, &paint);
}

static LRESULT CALLBACK ClientWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        PaintClientWindow(window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        break;
    case WM_DESTROY:
        if (client.soundStarted)
            StopGreeting();
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
