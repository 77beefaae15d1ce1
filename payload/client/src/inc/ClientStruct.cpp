// The client's one state record. Included by ClientMain.cpp.

enum ConfigStatus {
    ConfigFound = 0,    // both files were already there
    ConfigCreated = 1,  // at least one was written on this start
    ConfigFailed = 2,   // one could not be written (read-only directory)
};

struct ClientState {
    HINSTANCE instance;
    HWND window;
    HICON icon;
    int iconFromFile;          // 1 when icon must be destroyed at the end
    char programDir[MAX_PATH]; // the directory of Client.exe, ends in "\"
    int configStatus;
    int soundStarted;
};

static ClientState client;
