// The setup program's main sequence: entry and mode, the wizard loop, the
// installation run and the uninstall run.
#include "Setup.h"

#include <new>

#include "../pack/PackReader.h"
#include "../platform/Platform.h"

InstallerState state;

void ResetInstallerState() {
    StagedListClear(state.stagedFiles);
    state.~InstallerState();
    new (&state) InstallerState();
    state.stagedFiles = StagedList{nullptr, 0, 0, -1};
}

// ------------------------------------------------------------------ start-up

void StartUp() {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    GetCommandLineA();  // fetched with the start-up values; the program reads no arguments
    ResetInstallerState();
    state.instance = instance;
    PlatformStart(instance);
    // A banner that cannot be decoded leaves its handle 0 and an empty picture.
    state.sideImage = ImageDecodePng(imageSide, SideBannerStart, (int)(SideBannerEnd - SideBannerStart));
    state.headerImage =
        ImageDecodePng(imageHeader, HeaderBannerStart, (int)(HeaderBannerEnd - HeaderBannerStart));
    state.currentDir = QueryCurrentDirectory();
}

int IsUninstallMode() {
    // A file of any size, or a directory, named Client.exe marks the
    // client's own directory.
    return FileSize(state.currentDir + "Client.exe") != -1;
}

void EndProgram() {
    PlatformRelease();
    PackReader::close();
    ExitProcess(0);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    StartUp();
    if (IsUninstallMode()) {
        RunUninstall();
    } else {
        StagePayload();
        OpenWizardWindow();
        RunWizardLoop();
    }
    EndProgram();
    return 0;
}

// ------------------------------------------------------------------ wizard

void RunWizardLoop() {}

void AbortInstall() {}

// ------------------------------------------------------------------ installation

void RunInstallation() {}

// ------------------------------------------------------------------ uninstallation

void RunUninstall() {}
