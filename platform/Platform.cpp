// Start and release of the platform services.
#include "Platform.h"

#include <commctrl.h>

#include "WindowTable.h"

namespace {

HINSTANCE programInstance;

// An installer is often started from a downloads folder: never let a DLL
// planted beside it be loaded in place of a system one.
void RestrictDllSearchToSystem() {
    typedef BOOL(WINAPI * SetDefaultDllDirectoriesFn)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn setDefault =
        kernel ? (SetDefaultDllDirectoriesFn)(void*)GetProcAddress(kernel, "SetDefaultDllDirectories")
               : nullptr;
    if (setDefault) setDefault(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */);
    SetDllDirectoryA("");
}

}  // namespace

void PlatformStart(HINSTANCE instance) {
    programInstance = instance;
    RestrictDllSearchToSystem();
    InitCommonControls();
}

HINSTANCE PlatformInstance() { return programInstance; }

void PlatformRelease() {
    ImagesRelease();
    FileCloseAll();
    WindowCloseAll();
    FontsRelease();
}
