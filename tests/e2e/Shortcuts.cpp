// Shell links, read and written through the shell's link object.
#include "Driver.h"

#include <objbase.h>
#include <shlobj.h>

namespace e2e {

namespace {

// The link object with its file interface; COM stays initialised while it lives.
class LinkObject {
public:
    LinkObject()
    {
        CoInitialize(nullptr);
        if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)) ||
            FAILED(link->QueryInterface(IID_IPersistFile, (void**)&file)))
            throw Failure("the shell's link object is not available");
    }
    ~LinkObject()
    {
        if (file)
            file->Release();
        if (link)
            link->Release();
        CoUninitialize();
    }
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
};

std::wstring wide(const std::string& text)
{
    std::wstring result(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &result[0], (int)result.size());
    result.resize(length > 0 ? length - 1 : 0);
    return result;
}

}  // namespace

Shortcut readShortcut(const std::string& path)
{
    LinkObject object;
    if (FAILED(object.file->Load(wide(path).c_str(), STGM_READ)))
        throw Failure("can't load the shortcut " + path);
    Shortcut shortcut;
    char text[MAX_PATH * 4];
    WIN32_FIND_DATAA found;
    if (SUCCEEDED(object.link->GetPath(text, sizeof text, &found, SLGP_RAWPATH)))
        shortcut.target = text;
    if (SUCCEEDED(object.link->GetArguments(text, sizeof text)))
        shortcut.arguments = text;
    if (SUCCEEDED(object.link->GetWorkingDirectory(text, sizeof text)))
        shortcut.workingDirectory = text;
    if (SUCCEEDED(object.link->GetDescription(text, sizeof text)))
        shortcut.description = text;
    if (SUCCEEDED(object.link->GetIconLocation(text, sizeof text, &shortcut.iconIndex)))
        shortcut.iconPath = text;
    // The show command and the hotkey come from the file's header: Wine's
    // link object saves the show command but gives SW_SHOWNORMAL back.
    std::string bytes = readFile(path);
    if (bytes.size() < 0x4C)
        throw Failure("the shortcut " + path + " is shorter than its header");
    auto number = [&](size_t offset, size_t size) {
        int value = 0;
        for (size_t i = 0; i < size; i++)
            value |= (unsigned char)bytes[offset + i] << (8 * i);
        return value;
    };
    shortcut.showCommand = number(0x3C, 4);
    shortcut.hotkey = (WORD)number(0x40, 2);
    return shortcut;
}

void writeShortcut(const std::string& path, const Shortcut& shortcut)
{
    LinkObject object;
    object.link->SetPath(shortcut.target.c_str());
    object.link->SetArguments(shortcut.arguments.c_str());
    object.link->SetWorkingDirectory(shortcut.workingDirectory.c_str());
    object.link->SetDescription(shortcut.description.c_str());
    if (!shortcut.iconPath.empty())
        object.link->SetIconLocation(shortcut.iconPath.c_str(), shortcut.iconIndex);
    object.link->SetShowCmd(shortcut.showCommand);
    object.link->SetHotkey(shortcut.hotkey);
    if (FAILED(object.file->Save(wide(path).c_str(), TRUE)))
        throw Failure("can't save the shortcut " + path);
}

}  // namespace e2e
