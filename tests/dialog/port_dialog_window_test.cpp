// The port dialog in real windows: loads the built Lamdex.dll, opens the dialog the way a
// host does (slot 3 of the plug-in, then slot 3 of the component, through the host's own
// statement of the contract), then reads and drives the dialog through window messages
// and checks the configuration file the component keeps in the profile.
//
// usage: port_dialog_window_test LAMDEX_DLL [gtest options]
//        port_dialog_window_test LAMDEX_DLL --hold MILLISECONDS   (for screenshots)
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/window_messages.h"
#include "tools/zbhost/host_abi.h"
#include "ui/resource.h"

namespace {

using lamdex::test::PumpMessages;

constexpr char kTitle[] = "Chose COM port for LC-1";
constexpr char kDialogClass[] = "#32770";
using zbhost::kInvalidArg;
using zbhost::kNotReady;
using zbhost::kOk;
namespace component_call = zbhost::component_call;

std::string dllPath;

using CreatePluginExport = void* (*)();

template <typename Function>
Function FunctionAt(const void* address) {
    Function function;
    static_assert(sizeof function == sizeof address);
    std::memcpy(&function, &address, sizeof function);
    return function;
}

using DialogRecord = zbhost::Record<zbhost::config_dialog_params::kRecordBytes>;

// The host's record: its size, then the owner window.
DialogRecord DialogRecordFor(HWND owner, std::uint32_t size = zbhost::config_dialog_params::kSizeValue) {
    DialogRecord record;
    record.Put32(zbhost::config_dialog_params::kSize, size);
    record.PutPointer(zbhost::config_dialog_params::kOwnerWindow, owner);
    return record;
}

std::string ConfigPath() {
    char profile[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile))) {
        return {};
    }
    return std::string(profile) + "\\My Documents\\Zelbar Files\\Plugins\\Lamdex.cfg";
}

bool ReadWholeFile(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

std::vector<HWND> OpenDialogs() {
    std::vector<HWND> dialogs;
    HWND dialog = nullptr;
    while ((dialog = FindWindowExA(nullptr, dialog, kDialogClass, kTitle)) != nullptr) {
        dialogs.push_back(dialog);
    }
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

// Clicks the real button: it notifies the dialog as a user's click does.
void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    PumpMessages();
}

// Keeps whatever configuration the prefix's user had, and puts it back at the end.
class ProfileGuard : public ::testing::Environment {
public:
    void SetUp() override {
        path_ = ConfigPath();
        hadFile_ = ReadWholeFile(path_, saved_);
    }
    void TearDown() override {
        if (hadFile_) {
            WriteWholeFile(path_, saved_);
        } else {
            DeleteFileA(path_.c_str());
        }
    }

private:
    std::string path_;
    std::string saved_;
    bool hadFile_ = false;
};

// Writes the starting configuration, then loads the library, which reads it once at load.
class PortDialogWindow : public ::testing::Test {
protected:
    void TearDown() override {
        for (HWND dialog : OpenDialogs()) {
            DestroyWindow(dialog);
        }
        PumpMessages(10);
        if (owner_ != nullptr) {
            DestroyWindow(owner_);
        }
        if (library_ != nullptr) {
            FreeLibrary(library_);
        }
    }

    void LoadWithConfig(const std::string& text) {
        configPath_ = ConfigPath();
        ASSERT_FALSE(configPath_.empty());
        const std::string folder = configPath_.substr(0, configPath_.rfind('\\'));
        ASSERT_EQ(SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr) == ERROR_SUCCESS ||
                      GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES,
                  true);
        WriteWholeFile(configPath_, text);
        library_ = LoadLibraryA(dllPath.c_str());
        ASSERT_NE(library_, nullptr) << "cannot load " << dllPath;
        const auto create =
            FunctionAt<CreatePluginExport>(reinterpret_cast<const void*>(GetProcAddress(library_, "ZBCreatePlugin")));
        ASSERT_NE(create, nullptr);
        void* plugin = create();
        ASSERT_NE(plugin, nullptr);
        component_ = zbhost::plugin_call::GetComponent(plugin, 0);
        ASSERT_NE(component_, nullptr);
        owner_ = CreateWindowExA(0, "STATIC", "Lamdex test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 400,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    std::int32_t ShowConfiguration(void* record) { return component_call::ShowConfiguration(component_, record); }

    HWND ShowDialog() {
        DialogRecord record = DialogRecordFor(owner_);
        const auto before = OpenDialogs();
        EXPECT_EQ(ShowConfiguration(record.Data()), kOk);
        PumpMessages();
        for (HWND dialog : OpenDialogs()) {
            bool isNew = true;
            for (HWND old : before) {
                isNew = isNew && old != dialog;
            }
            if (isNew) {
                return dialog;
            }
        }
        return nullptr;
    }

    std::string Config() {
        std::string text;
        ReadWholeFile(configPath_, text);
        return text;
    }

    HMODULE library_ = nullptr;
    void* component_ = nullptr;
    HWND owner_ = nullptr;
    std::string configPath_;
};

// A line the component never writes: a rewritten file loses it.
const std::string kPort3 = "COMPORT 3\r\n; kept unless rewritten\r\n";
const std::string kPort20 = "COMPORT 20\r\n; kept unless rewritten\r\n";

TEST_F(PortDialogWindow, ListsTwelvePortsWithTheConfiguredOneSelected) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner_);
    char title[64] = {};
    GetWindowTextA(dialog, title, sizeof title);
    EXPECT_STREQ(title, kTitle);
    EXPECT_EQ(ListEntries(dialog), (std::vector<std::string>{"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7",
                                                             "Com8", "Com9", "Com10", "Com11", "Com12"}));
    EXPECT_EQ(Selection(dialog), 2);
}

TEST_F(PortDialogWindow, CancelChangesNothing) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    Click(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
    HWND again = ShowDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Selection(again), 2);
}

TEST_F(PortDialogWindow, OkSavesTheChosenPortAndKeepsIt) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    Click(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), "COMPORT 5\r\n");
    HWND again = ShowDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Selection(again), 4);
}

TEST_F(PortDialogWindow, OkOnTheCurrentPortSavesNothing) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, PortAboveTheListShowsNoSelectionAndOkChangesNothing) {
    LoadWithConfig(kPort20);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ListEntries(dialog).size(), 12u);
    EXPECT_EQ(Selection(dialog), LB_ERR);
    Press(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort20);
}

TEST_F(PortDialogWindow, DialogsOpenAtOnceCloseOneByOne) {
    LoadWithConfig(kPort3);
    HWND first = ShowDialog();
    HWND second = ShowDialog();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(first, second);
    Choose(second, 6);
    Press(second, IDOK);
    EXPECT_FALSE(IsWindow(second));
    ASSERT_TRUE(IsWindow(first));
    EXPECT_EQ(Config(), "COMPORT 7\r\n");
    Choose(first, 10);
    Press(first, IDOK);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Config(), "COMPORT 11\r\n");
}

TEST_F(PortDialogWindow, ListNotificationsLeaveTheDialogOpen) {
    LoadWithConfig(kPort3);
    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    Choose(dialog, 4);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PORT_LIST, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_PORT_LIST)));
    PumpMessages();
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, UnloadingTheLibraryClosesItsOpenDialogs) {
    LoadWithConfig(kPort3);
    HWND first = ShowDialog();
    HWND second = ShowDialog();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    FreeLibrary(library_);
    library_ = nullptr;
    EXPECT_FALSE(IsWindow(first));
    EXPECT_FALSE(IsWindow(second));
    PumpMessages();  // nothing left to call into the unloaded code
    EXPECT_TRUE(IsWindow(owner_));
    EXPECT_EQ(Config(), kPort3);
}

TEST_F(PortDialogWindow, NoRecordOrAWrongSizeOpensNoDialog) {
    LoadWithConfig(kPort3);
    EXPECT_EQ(ShowConfiguration(nullptr), kOk);
    DialogRecord shortRecord = DialogRecordFor(owner_, 7);
    EXPECT_EQ(ShowConfiguration(shortRecord.Data()), kInvalidArg);
    PumpMessages();
    EXPECT_TRUE(OpenDialogs().empty());
}

// The far end of a COM port of the test prefix: the harness pairs each port the
// component uses with a peer port wired to it, as a null-modem cable would.
class PeerPort {
public:
    explicit PeerPort(int port) {
        const std::string name = "\\\\.\\COM" + std::to_string(port);
        handle_ = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        DCB line{};
        line.DCBlength = sizeof line;
        if (handle_ != INVALID_HANDLE_VALUE && GetCommState(handle_, &line)) {
            line.BaudRate = CBR_19200;
            line.ByteSize = 8;
            line.Parity = NOPARITY;
            line.StopBits = ONESTOPBIT;
            line.fBinary = TRUE;
            line.fOutX = FALSE;  // 0x11 and 0x13 are data on this line
            line.fInX = FALSE;
            line.fOutxCtsFlow = FALSE;
            line.fRtsControl = RTS_CONTROL_ENABLE;
            SetCommState(handle_, &line);
        }
    }
    ~PeerPort() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
    }
    PeerPort(const PeerPort&) = delete;
    PeerPort& operator=(const PeerPort&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Send(const std::vector<std::uint8_t>& bytes) {
        DWORD written = 0;
        WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        FlushFileBuffers(handle_);
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// Ports the harness wires for this test (see tests/dialog/CMakeLists.txt).
constexpr int kOldPort = 4;
constexpr int kOldPeer = 14;
constexpr int kNewPort = 5;
constexpr int kNewPeer = 15;
const std::vector<std::uint8_t> kPacketLambda1 = {0xB2, 0x82, 0x43, 0x13, 0x03, 0x74};   // 14.7
const std::vector<std::uint8_t> kPacketLambda15 = {0xB2, 0x82, 0x43, 0x13, 0x07, 0x68};  // 22.05
constexpr std::int32_t kSampleLambda1 = 963379;
constexpr std::int32_t kSampleLambda15 = 1445068;

class PortDialogReopen : public PortDialogWindow {
protected:
    std::int32_t OpenComponent() {
        zbhost::Record<zbhost::open_params::kRecordBytes> params;
        params.Put32(zbhost::open_params::kSize, zbhost::open_params::kSizeValue);
        return component_call::Open(component_, params.Data());
    }
    void CloseComponent() { component_call::Close(component_); }

    // Polls the way a host does until a sample or a code other than not ready comes.
    std::int32_t ReadSample(std::int32_t& sample, DWORD milliseconds = 2000) {
        const DWORD start = GetTickCount();
        std::int32_t result;
        do {
            std::uint32_t transferred = 0;
            namespace transfer = zbhost::transfer_record;
            zbhost::Record<transfer::kRecordBytes> record;
            record.Put32(transfer::kSize, transfer::kSizeValue);
            record.PutPointer(transfer::kBuffer, &sample);
            record.Put32(transfer::kCapacity, sizeof sample);
            record.PutPointer(transfer::kBytesTransferred, &transferred);
            result = component_call::Read(component_, record.Data());
            if (result != kNotReady) {
                break;
            }
            Sleep(5);
        } while (GetTickCount() - start < milliseconds);
        return result;
    }
};

TEST_F(PortDialogReopen, OkMovesAnOpenLinkToTheNewPort) {
    PeerPort oldPeer(kOldPeer);
    PeerPort newPeer(kNewPeer);
    if (!oldPeer.IsOpen() || !newPeer.IsOpen()) {
        GTEST_SKIP() << "COM" << kOldPeer << " and COM" << kNewPeer << " are not wired here";
    }
    LoadWithConfig("COMPORT " + std::to_string(kOldPort) + "\r\n");
    ASSERT_EQ(OpenComponent(), kOk);
    std::int32_t sample = 0;
    oldPeer.Send(kPacketLambda1);
    ASSERT_EQ(ReadSample(sample), kOk) << "the old port does not deliver: is it wired?";
    EXPECT_EQ(sample, kSampleLambda1);
    oldPeer.Send({0xB2, 0x82, 0x43});  // half a packet left in the receive buffer

    HWND dialog = ShowDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Selection(dialog), kOldPort - 1);
    Choose(dialog, kNewPort - 1);
    Click(dialog, IDOK);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(Config(), "COMPORT 5\r\n");

    oldPeer.Send({0x13, 0x03, 0x74});
    oldPeer.Send(kPacketLambda1);
    EXPECT_EQ(ReadSample(sample, 500), kNotReady) << "bytes of the old port still arrive";
    newPeer.Send(kPacketLambda15);
    ASSERT_EQ(ReadSample(sample), kOk);
    EXPECT_EQ(sample, kSampleLambda15);
    CloseComponent();
}

// The compiled template in the library, read back word by word.
class TemplateReader {
public:
    TemplateReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint16_t Word() {
        std::uint16_t value = 0;
        if (offset_ + 2 <= size_) {
            std::memcpy(&value, data_ + offset_, 2);
        }
        offset_ += 2;
        return value;
    }
    std::uint32_t DWord() {
        const std::uint32_t low = Word();
        return low | (std::uint32_t{Word()} << 16);
    }
    std::string Text() {  // UTF-16 text of ASCII characters
        std::string text;
        for (std::uint16_t c = Word(); c != 0 && offset_ <= size_; c = Word()) {
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return text;
    }
    // Either 0xFFFF and an ordinal, or a text.
    std::string NameOrOrdinal() {
        const std::size_t at = offset_;
        if (Word() == 0xFFFF) {
            return "#" + std::to_string(Word());
        }
        offset_ = at;
        return Text();
    }
    void AlignToDWord() { offset_ = (offset_ + 3) & ~std::size_t{3}; }
    bool Overrun() const { return offset_ > size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t offset_ = 0;
};

struct ItemTemplate {
    std::uint32_t style;
    std::int16_t x, y, cx, cy;
    std::uint32_t id;
    std::string windowClass;
    std::string text;
};

TEST(PortDialogTemplate, IsTheExtendedTemplateOfTheDialog) {
    HMODULE library = LoadLibraryExA(dllPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(library, nullptr);
    HRSRC found = FindResourceExA(library, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_PORT_DIALOG),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    ASSERT_NE(found, nullptr) << "no dialog 101 in English (United States)";
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(library, found)));
    TemplateReader reader(data, SizeofResource(library, found));

    EXPECT_EQ(reader.Word(), 1);       // version
    EXPECT_EQ(reader.Word(), 0xFFFF);  // extended form
    EXPECT_EQ(reader.DWord(), 0u);     // help id
    EXPECT_EQ(reader.DWord(), 0u);     // extended style
    EXPECT_EQ(reader.DWord(), static_cast<std::uint32_t>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME |
                                                         DS_SETFONT | DS_FIXEDSYS));
    const std::uint16_t items = reader.Word();
    EXPECT_EQ(items, 3);
    EXPECT_EQ(reader.Word(), 0);  // x
    EXPECT_EQ(reader.Word(), 0);  // y
    EXPECT_EQ(reader.Word(), 124);
    EXPECT_EQ(reader.Word(), 185);
    EXPECT_EQ(reader.NameOrOrdinal(), "");  // no menu
    EXPECT_EQ(reader.NameOrOrdinal(), "");  // the dialog class
    EXPECT_EQ(reader.Text(), kTitle);
    EXPECT_EQ(reader.Word(), 8);    // points
    EXPECT_EQ(reader.Word(), 400);  // weight
    const std::uint16_t italicAndCharset = reader.Word();
    EXPECT_EQ(italicAndCharset & 0xFF, 0);
    EXPECT_EQ(italicAndCharset >> 8, 1);
    EXPECT_EQ(reader.Text(), "MS Shell Dlg");

    std::vector<ItemTemplate> controls;
    for (std::uint16_t i = 0; i < items; ++i) {
        reader.AlignToDWord();
        ItemTemplate item;
        EXPECT_EQ(reader.DWord(), 0u);  // help id
        EXPECT_EQ(reader.DWord(), 0u);  // extended style
        item.style = reader.DWord();
        item.x = static_cast<std::int16_t>(reader.Word());
        item.y = static_cast<std::int16_t>(reader.Word());
        item.cx = static_cast<std::int16_t>(reader.Word());
        item.cy = static_cast<std::int16_t>(reader.Word());
        item.id = reader.DWord();
        item.windowClass = reader.NameOrOrdinal();
        item.text = reader.NameOrOrdinal();
        EXPECT_EQ(reader.Word(), 0);  // no creation data
        controls.push_back(item);
    }
    EXPECT_FALSE(reader.Overrun());
    ASSERT_EQ(controls.size(), 3u);

    const auto child = static_cast<std::uint32_t>(WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    const struct {
        std::uint32_t style;
        std::int16_t x, y, cx, cy;
        std::uint32_t id;
        const char* windowClass;  // #128 button, #131 list box
        const char* text;
    } expected[] = {
        {child | BS_DEFPUSHBUTTON, 7, 164, 50, 14, IDOK, "#128", "OK"},
        {child | BS_PUSHBUTTON, 67, 164, 50, 14, IDCANCEL, "#128", "Cancel"},
        {child | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 7, 110, 126, IDC_PORT_LIST, "#131", ""},
    };
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const auto& item = controls[i];
        const auto& want = expected[i];
        EXPECT_EQ(item.style, want.style) << "control " << i << std::hex << " style 0x" << item.style;
        EXPECT_EQ(item.x, want.x) << "control " << i;
        EXPECT_EQ(item.y, want.y) << "control " << i;
        EXPECT_EQ(item.cx, want.cx) << "control " << i;
        EXPECT_EQ(item.cy, want.cy) << "control " << i;
        EXPECT_EQ(item.id, want.id) << "control " << i;
        EXPECT_EQ(item.windowClass, want.windowClass) << "control " << i;
        EXPECT_EQ(item.text, want.text) << "control " << i;
    }
    FreeLibrary(library);
}

// Opens one dialog on port 3 and keeps it on screen, for a screenshot; prints its
// screen rectangle as an X geometry (WIDTHxHEIGHT+X+Y).
int HoldDialogOnScreen(DWORD milliseconds) {
    const std::string path = ConfigPath();
    std::string saved;
    const bool hadFile = ReadWholeFile(path, saved);
    WriteWholeFile(path, kPort3);
    HMODULE library = LoadLibraryA(dllPath.c_str());
    if (hadFile) {
        WriteWholeFile(path, saved);
    } else {
        DeleteFileA(path.c_str());
    }
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s\n", dllPath.c_str());
        return 1;
    }
    const auto create =
        FunctionAt<CreatePluginExport>(reinterpret_cast<const void*>(GetProcAddress(library, "ZBCreatePlugin")));
    void* plugin = create();
    void* component = zbhost::plugin_call::GetComponent(plugin, 0);
    DialogRecord record = DialogRecordFor(GetDesktopWindow());
    component_call::ShowConfiguration(component, record.Data());
    PumpMessages(200);
    HWND dialog = FindWindowA(kDialogClass, kTitle);
    if (dialog == nullptr) {
        std::fprintf(stderr, "no dialog\n");
        return 1;
    }
    RECT rect;
    GetWindowRect(dialog, &rect);
    std::printf("%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left, rect.top);
    std::fflush(stdout);
    PumpMessages(milliseconds);
    DestroyWindow(dialog);
    FreeLibrary(library);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LAMDEX_DLL [--hold MILLISECONDS]\n", argv[0]);
        return 2;
    }
    dllPath = argv[1];
    if (argc == 4 && std::strcmp(argv[2], "--hold") == 0) {
        return HoldDialogOnScreen(static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)));
    }
    ::testing::AddGlobalTestEnvironment(new ProfileGuard);
    return RUN_ALL_TESTS();
}
