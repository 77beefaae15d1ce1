// Talvera Client: the program's entry. The files in inc\ are parts of this
// one translation unit.
#include <windows.h>
#include <mmsystem.h>

#include "inc/ClientConst.cpp"
#include "inc/ClientStruct.cpp"
#include "inc/ClientInclude.cpp"
#include "inc/ClientEvent.cpp"

static int RegisterClientClass()
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ClientWindowProc;
    windowClass.hInstance = client.instance;
    windowClass.hIcon = client.icon;
    windowClass.hCursor = LoadCursorA(0, (LPCSTR)IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = WindowClassName;
    return RegisterClassA(&windowClass) != 0;
}

static HWND OpenClientWindow(int showCommand)
{
    RECT frame = {0, 0, WindowWidth, WindowHeight};
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&frame, style, FALSE);
    HWND window = CreateWindowExA(0, WindowClassName, WindowCaption, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  frame.right - frame.left, frame.bottom - frame.top, 0, 0, client.instance, 0);
    if (window) {
        ShowWindow(window, showCommand);
        UpdateWindow(window);
    }
    return window;
}

static int RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, 0, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    client.instance = instance;
    QueryProgramDirectory(client.programDir, MAX_PATH);
    client.configStatus = WriteDefaultConfiguration(client.programDir);
    LoadClientIcon(client.programDir);
    if (!RegisterClientClass())
        return 1;
    client.window = OpenClientWindow(showCommand);
    if (!client.window)
        return 1;
    client.soundStarted = PlayGreeting(client.programDir);
    int result = RunMessageLoop();
    if (client.iconFromFile)
        DestroyIcon(client.icon);
    return result;
}
