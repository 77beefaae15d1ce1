// Helper procedures of the client: paths, configuration files, sound and
// icon. Included by ClientMain.cpp.

// Copies dir + name into out; returns 0 (and leaves out empty) when the
// result would not fit.
static int JoinPath(char* out, int size, const char* dir, const char* name)
{
    int dirLength = lstrlenA(dir);
    int nameLength = lstrlenA(name);
    out[0] = 0;
    if (dirLength + nameLength + 1 > size)
        return 0;
    lstrcpyA(out, dir);
    lstrcpyA(out + dirLength, name);
    return 1;
}

static int FileExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The directory that holds the running program, ending in "\".
static void QueryProgramDirectory(char* out, int size)
{
    DWORD length = GetModuleFileNameA(0, out, size);
    if (length == 0 || (int)length >= size) {
        out[0] = 0;
        return;
    }
    int cut = (int)length;
    while (cut > 0 && out[cut - 1] != '\\' && out[cut - 1] != '/')
        cut--;
    out[cut] = 0;
}

// Writes text to a new file at path. An existing file is left alone:
// CREATE_NEW fails when the user already has one.
// Returns 1 when written, 0 when it was there, -1 on failure.
static int WriteNewTextFile(const char* path, const char* text)
{
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS ? 0 : -1;
    DWORD length = (DWORD)lstrlenA(text);
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, length, &written, 0);
    CloseHandle(file);
    if (!ok || written != length) {
        DeleteFileA(path);
        return -1;
    }
    return 1;
}

// On the first start the user has no configuration yet: write the default
// server list and language file beside the program.
static int WriteDefaultConfiguration(const char* dir)
{
    char path[MAX_PATH];
    int status = ConfigFound;
    const char* names[2] = {ServerListName, LanguageFileName};
    const char* texts[2] = {DefaultServerList, DefaultLanguage};
    for (int i = 0; i < 2; i++) {
        int result = JoinPath(path, MAX_PATH, dir, names[i]) ? WriteNewTextFile(path, texts[i]) : -1;
        if (result < 0)
            status = ConfigFailed;
        else if (result > 0 && status == ConfigFound)
            status = ConfigCreated;
    }
    return status;
}

// Finds a file of ours beside the program or below "src\res\" (where an
// installation with sources keeps it). Returns 0 when there is none.
static int FindClientFile(char* out, int size, const char* dir, const char* name)
{
    if (JoinPath(out, size, dir, name) && FileExists(out))
        return 1;
    char resourceDir[MAX_PATH];
    if (JoinPath(resourceDir, MAX_PATH, dir, ResourceDir) && JoinPath(out, size, resourceDir, name) &&
        FileExists(out))
        return 1;
    out[0] = 0;
    return 0;
}

// The greeting chime plays in the background; a missing file or a machine
// without sound is not worth a word.
static int PlayGreeting(const char* dir)
{
    char path[MAX_PATH];
    if (!FindClientFile(path, MAX_PATH, dir, SoundFileName))
        return 0;
    return PlaySoundA(path, 0, SND_FILENAME | SND_ASYNC | SND_NODEFAULT) ? 1 : 0;
}

static void StopGreeting()
{
    PlaySoundA(0, 0, 0);
}

static void LoadClientIcon(const char* dir)
{
    char path[MAX_PATH];
    client.icon = 0;
    client.iconFromFile = 0;
    if (FindClientFile(path, MAX_PATH, dir, IconFileName)) {
        client.icon = (HICON)LoadImageA(0, path, IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE);
        client.iconFromFile = client.icon != 0;
    }
    if (!client.icon)
        client.icon = LoadIconA(0, (LPCSTR)IDI_APPLICATION);
}
