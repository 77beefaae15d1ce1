// The setup program's state and procedures. One InstallerState lives for
// the whole run; the procedures below work on it.
#pragma once

#include <windows.h>

#include "../platform/Text.h"

struct StagedFile {
    Text name;          // file name without directory; staged as tempDir + name
    Text sourcePath;    // directory stored with the file in the pack, ends in "\"
    Text targetSubdir;  // below installDir, ends in "\", or "" for installDir
};

// An ordered list of staged files with one cursor. The cursor stands
// "before the first" after StagedListReset and after deleting the first.
struct StagedList {
    StagedFile** items;
    int count;
    int capacity;
    int cursor;  // index of the current element, -1 before the first
};

void StagedListAppend(StagedList& list, const Text& name, const Text& sourcePath, const Text& targetSubdir);
void StagedListReset(StagedList& list);        // cursor before the first element
bool StagedListNext(StagedList& list);         // false past the last element
StagedFile* StagedListCurrent(StagedList& list);
void StagedListDeleteCurrent(StagedList& list);  // cursor falls back to the element before
int StagedListCount(const StagedList& list);
void StagedListClear(StagedList& list);

enum WizardPage {
    Welcome = 0,
    Licence = 1,
    Components = 2,
    InstallDirectory = 3,
    ShortcutFolder = 4,
    Completed = 5,
};

struct InstallerState {
    HINSTANCE instance;

    // paths
    Text currentDir;
    Text tempDir;
    Text installDir;
    Text defaultBaseDir;
    Text shortcutName;
    Text programsDir;
    Text shortcutDir;
    Text logInstallDir;
    Text logShortcutDir;

    // payload
    StagedList stagedFiles;
    Text entryName;
    Text entryPath;
    const unsigned char* entryData;
    int entrySize;
    int installSources;
    int markerPos;

    // pictures
    HBITMAP sideImage;
    HBITMAP headerImage;

    // wizard and events
    int currentPage;
    int lastEvent;
    int eventControl;
    int eventType;
    int treeEchoPending;
    Text typedDir;
    int endOfFile;
    int finished;

    // answers (6 Yes, 7 No)
    int abortAnswer;
    int updateAnswer;
    int launchAnswer;
    int uninstallAnswer;
    int keepConfig;

    // installation run working values
    int installDirSize;
    int stagedCount;
    int stepCount;
    int stepPercent;
    int fileIndex;
};

extern InstallerState state;

// Sets every number to 0 and every text to "", and empties the list.
void ResetInstallerState();

// ------------------------------------------------------------- SetupMain
void StartUp();               // steps of the entry up to the mode test
int IsUninstallMode();        // the mode test on state.currentDir
void RunWizardLoop();
void AbortInstall();
void DeleteStagedFiles();  // every staged file in tempDir, failures ignored
void RunInstallation();
void RunUninstall();
// The one end of the process: releases everything and exits with code 0.
void EndProgram();

// ------------------------------------------------------------- SetupInclude
Text QueryCurrentDirectory();
Text QueryTempDirectory();
Text QueryProgramPath();
Text SpecialFolderPath(int csidl);

void OpenWaitWindow();
void OpenWizardWindow();
void StagePayload();
int WriteMemoryToFile(const Text& path, const void* start, const void* end);
int CreateShellLink(const Text& target, const Text& linkFile, const Text& arguments,
                    const Text& description, const Text& workingDir, int showCommand,
                    int hotkey, const Text& iconFile, int iconIndex);
int WriteInstallLog(const Text& installDir, const Text& shortcutDir);

// Window, control, image and font numbers.
enum WindowNumber { wndWizard = 0, wndWait = 1 };
enum ControlNumber {
    txtWait = 0,
    txtPreparing = 1,
    boxWelcome = 2,
    imgWelcome = 3,
    frmBody = 5,
    frmHeader = 6,
    txtCopyright = 7,
    imgSide = 8,
    btnCancel = 9,
    btnNext = 10,
    imgHeader = 12,
    edtLicense = 13,
    txtPrompt = 14,
    optAgree = 15,
    optDisagree = 16,
    txtInstallDir = 17,
    fldInstallDir = 18,
    treeInstallDir = 19,
    txtShortcutDir = 20,
    fldShortcutDir = 21,
    txtStatus = 22,
    barProgress = 23,
    lstLog = 24,
    chkSources = 25,
    chkMain = 26,
};
enum ImageNumber { imageSide = 0, imageHeader = 1, imageWelcome = 4 };
enum FontNumber { fontTitle = 0, fontBody = 1 };
// Numbered files used by the procedures.
enum FileNumber { fileLicence = 1, fileBatch = 1, fileInstallLog = 2, fileUninstallLog = 3 };

// The carried payload, in the program's initialised data (payload.S).
extern "C" const unsigned char PackStart[];
extern "C" const unsigned char PackEnd[];
extern "C" const unsigned char SideBannerStart[];
extern "C" const unsigned char SideBannerEnd[];
extern "C" const unsigned char HeaderBannerStart[];
extern "C" const unsigned char HeaderBannerEnd[];
