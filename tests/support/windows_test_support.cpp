#include "tests/support/windows_test_support.h"

#include <shlobj.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/zbhost/host_abi.h"
#include "ui/resource.h"

namespace lamdex::test {

std::string pluginPath;

std::string ProfileFolder() {
    char profile[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile))) return {};
    return profile;
}

std::string DocumentsFolder() {
    return ProfileFolder() + "\\My Documents";
}

std::string PluginsFolder() {
    return DocumentsFolder() + "\\Zelbar Files\\Plugins";
}

std::string ConfigFile() {
    return PluginsFolder() + "\\Lamdex.cfg";
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

bool WriteConfigFile(const std::string& bytes) {
    if (ProfileFolder().empty()) return false;
    const int made = SHCreateDirectoryExA(nullptr, PluginsFolder().c_str(), nullptr);
    if (made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS) return false;
    WriteFileBytes(ConfigFile(), bytes);
    return true;
}

void RemoveTree(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name != "." && name != "..") RemoveTree(path + "\\" + name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

ProfileGuard::ProfileGuard() : documents_(DocumentsFolder()), saved_(documents_ + ".lamdex-tests-saved") {
    if (Exists(saved_)) {  // left by a run that crashed: the user's, put back first
        RemoveTree(documents_);
        MoveFileA(saved_.c_str(), documents_.c_str());
    }
    moved_ = Exists(documents_) && MoveFileA(documents_.c_str(), saved_.c_str());
}

ProfileGuard::~ProfileGuard() {
    RemoveTree(documents_);
    if (moved_) MoveFileA(saved_.c_str(), documents_.c_str());
}

void* LoadComponent(HMODULE& library, std::string& error) {
    library = LoadLibraryA(pluginPath.c_str());
    if (library == nullptr) {
        error = "cannot load " + pluginPath;
        return nullptr;
    }
    const FARPROC address = GetProcAddress(library, zbhost::kCreatePluginExport);
    zbhost::CreatePluginFunction create = nullptr;
    static_assert(sizeof create == sizeof address, "function pointers of one size");
    std::memcpy(&create, &address, sizeof create);
    void* plugin = create != nullptr ? create() : nullptr;
    void* component = plugin != nullptr ? zbhost::plugin_call::GetComponent(plugin, 0) : nullptr;
    if (component == nullptr) error = "no component in " + pluginPath;
    return component;
}

void PumpMessages(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    } while (GetTickCount() - start < milliseconds);
}

std::int32_t ShowConfiguration(void* component, HWND owner, std::uint32_t size) {
    zbhost::Record<zbhost::config_dialog_params::kRecordBytes> record;
    record.Put32(zbhost::config_dialog_params::kSize, size);
    record.PutPointer(zbhost::config_dialog_params::kOwnerWindow, owner);
    return zbhost::component_call::ShowConfiguration(component, record.Data());
}

HWND ShowDialog(void* component, HWND owner) {
    const auto before = OpenDialogs();
    if (ShowConfiguration(component, owner, zbhost::config_dialog_params::kSizeValue) != zbhost::kOk) return nullptr;
    PumpMessages();
    for (HWND dialog : OpenDialogs()) {
        bool isNew = true;
        for (HWND old : before) isNew = isNew && old != dialog;
        if (isNew) return dialog;
    }
    return nullptr;
}

std::vector<HWND> OpenDialogs() {
    std::vector<HWND> dialogs;
    HWND dialog = nullptr;
    while ((dialog = FindWindowExA(nullptr, dialog, "#32770", kDialogTitle)) != nullptr) dialogs.push_back(dialog);
    return dialogs;
}

std::vector<std::string> ListEntries(HWND dialog) {
    std::vector<std::string> entries;
    const auto count = SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[64] = {};
        if (SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) <
            static_cast<LRESULT>(sizeof text)) {
            SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_GETTEXT, static_cast<WPARAM>(i),
                                reinterpret_cast<LPARAM>(text));
        }
        entries.emplace_back(text);
    }
    return entries;
}

LRESULT Selection(HWND dialog) {
    return SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_GETCURSEL, 0, 0);
}

void Choose(HWND dialog, int entry) {
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, LB_SETCURSEL, static_cast<WPARAM>(entry), 0);
}

void Press(HWND dialog, int id) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    PumpMessages();
}

void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    PumpMessages();
}

}  // namespace lamdex::test
