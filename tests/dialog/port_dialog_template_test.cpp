// The dialog template compiled into the library, read back from its resources: the
// extended form, the caption, the font and every control's style, place and id.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/windows_test_support.h"
#include "ui/resource.h"

namespace lamdex::test {
namespace {

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
    HMODULE library = LoadLibraryExA(pluginPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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
    EXPECT_EQ(reader.Text(), kDialogTitle);
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

}  // namespace
}  // namespace lamdex::test
