// A stand-in riched20.dll for the planted-DLL test: loading it leaves the
// file "planted-riched20-loaded.txt" beside it. A program that loads its
// rich edit library from the system directory never makes that file.
#include <windows.h>

#include <string.h>

namespace {

void leaveMarker(HINSTANCE self) {
    char path[MAX_PATH + 40];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    char* slash = strrchr(path, '\\');
    if (!slash) return;
    strcpy(slash + 1, "planted-riched20-loaded.txt");
    HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(marker, "loaded\r\n", 8, &written, nullptr);
    CloseHandle(marker);
}

}  // namespace

// For loading it through rundll32 ("rundll32 riched20.dll,Probe"); the
// marker is left by then.
extern "C" __declspec(dllexport) void CALLBACK Probe(HWND, HINSTANCE, LPSTR, int) {}

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) leaveMarker(self);
    return TRUE;
}
