// Control identifiers, class and caption of the driver's self-test target;
// the target and the self-test share them.
#pragma once

constexpr const char* kTargetClass = "E2ETarget";
constexpr const char* kTargetCaption = "E2E Target";

enum TargetControl {
    kTargetAsk = 101,           // button: Yes/No question, the answer goes to the list
    kTargetInform = 102,        // button: OK box "Saved !", then "OK" in the list
    kTargetStep = 103,          // button: progress bar + 25
    kTargetQuit = 104,          // button: exit with the code from exitcode.txt
    kTargetHang = 105,          // button: stops handling messages for good
    kTargetDisabled = 106,      // button, disabled
    kTargetHidden = 107,        // button, hidden
    kTargetField = 108,         // single-line edit
    kTargetChanges = 109,       // text: the number of EN_CHANGE events the loop saw
    kTargetOption = 110,        // auto check box
    kTargetList = 111,          // list box
    kTargetProgress = 112,      // progress bar
    kTargetTreeBox = 113,       // plain child window holding the tree
    kTargetTree = 114,          // tree view inside kTargetTreeBox
    kTargetTreeSelection = 115,  // text: labels of the selected tree item, joined by '/'
    kTargetError = 116,          // button: error box "Can't go on !", then "OK" in the list
    kTargetPlain = 117,          // button: box without icon "Done.", then "OK" in the list
    kTargetEcho = 118            // text: after each change of the field, its text as a message posted
                                 // then saw it, each followed by ';'
};
