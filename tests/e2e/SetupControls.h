// The setup program's windows and control identifiers as its users' tests
// see them. Kept apart from the program's own header on purpose: a wrong
// number there must make these tests fail, not agree with them.
#pragma once

namespace setup {

constexpr const char* kWizardCaption = "Installation";
constexpr const char* kWaitCaption = "Please wait...";

enum Control {
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

}  // namespace setup
