// The dialog's layout: template 101 as stored in the exe (the classic form,
// class atoms, no style bit beyond the listed ones), and the dialog box
// that the platform builds from it.
#include "control_ids.h"
#include "dialog_template.h"
#include "harness.h"
#include "setup_template.h"

#include <iterator>

using namespace e2e;

namespace {

using dialog_template::kButton;
using dialog_template::kEdit;
using dialog_template::kNoId;
using dialog_template::kSetupItems;
using dialog_template::Template;

// A "name or ordinal" field as this test compares it: the name, or "#ordinal".
std::u16string shown(const dialog_template::NameOrOrdinal& field) {
    return field.ordinal ? u"#ordinal" : field.name;
}

::testing::AssertionResult read_template(const std::string& exe, Template& t) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return ::testing::AssertionFailure() << "cannot load " << exe << " as data";
    HRSRC found = FindResourceExA(module, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(IDD_SETUP),
                                  MAKELANGID(LANG_JAPANESE, SUBLANG_JAPANESE_JAPAN));
    if (!found) {
        FreeLibrary(module);
        return ::testing::AssertionFailure() << "no Japanese dialog resource 101";
    }
    t = dialog_template::parse(LockResource(LoadResource(module, found)),
                               SizeofResource(module, found));
    FreeLibrary(module);
    if (!t.complete)
        return ::testing::AssertionFailure() << "the template ends early";
    return ::testing::AssertionSuccess();
}

// The text in `code_page`: UTF-8 for messages, 932 as the dialog shows it.
std::string narrow(const std::u16string& text, UINT code_page) {
    const auto* wide = reinterpret_cast<LPCWSTR>(text.c_str());
    std::string out(WideCharToMultiByte(code_page, 0, wide, -1, nullptr, 0, nullptr, nullptr),
                    '\0');
    WideCharToMultiByte(code_page, 0, wide, -1, out.data(), static_cast<int>(out.size()), nullptr,
                        nullptr);
    out.pop_back(); // the terminating zero
    return out;
}

std::string utf8(const std::u16string& text) {
    return narrow(text, CP_UTF8);
}

} // namespace

TEST(DialogTemplate, StoredTemplateHasTheHeaderAndAllThirtyOneItemsAsLaidOut) {
    Template t;
    ASSERT_TRUE(read_template(editor_exe(), t));

    EXPECT_EQ(t.style, 0x80C800C0u);
    EXPECT_EQ(t.ex_style, 0u);
    EXPECT_EQ(t.x, 0);
    EXPECT_EQ(t.y, 0);
    EXPECT_EQ(t.cx, 359);
    EXPECT_EQ(t.cy, 285);
    EXPECT_TRUE(shown(t.menu).empty());
    EXPECT_TRUE(shown(t.window_class).empty());
    EXPECT_EQ(utf8(t.caption), "MABIRU - setup");
    EXPECT_EQ(t.point_size, 9);
    EXPECT_TRUE(t.face == u"ＭＳ Ｐゴシック") << utf8(t.face);

    ASSERT_EQ(t.items.size(), std::size(kSetupItems));
    for (size_t i = 0; i < std::size(kSetupItems); ++i) {
        const auto& want = kSetupItems[i];
        const auto& got = t.items[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + " (ID " + std::to_string(want.id) + ")");
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.style, want.style) << std::hex << got.style;
        EXPECT_EQ(got.ex_style, 0u);
        EXPECT_EQ(got.window_class.ordinal, want.class_atom);
        EXPECT_TRUE(got.window_class.name.empty()) << utf8(got.window_class.name);
        EXPECT_TRUE(shown(got.title) == want.caption)
            << "caption \"" << escaped(utf8(shown(got.title))) << "\"";
        EXPECT_EQ(got.x, want.x);
        EXPECT_EQ(got.y, want.y);
        EXPECT_EQ(got.cx, want.cx);
        EXPECT_EQ(got.cy, want.cy);
        EXPECT_EQ(got.creation_data, 0);
    }
}

TEST(DialogTemplate, OpenDialogShowsEveryItemEnabledAtTheTopLeftWithTheTabOrder) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());

    RECT frame;
    GetWindowRect(editor.dialog(), &frame);
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    const LONG style = GetWindowLongA(editor.dialog(), GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE);
    EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD), 0);

    // Every item, in creation order, with its class, style and caption.
    std::vector<HWND> children;
    for (HWND c = GetWindow(editor.dialog(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        children.push_back(c);
    ASSERT_EQ(children.size(), std::size(kSetupItems));
    for (size_t i = 0; i < std::size(kSetupItems); ++i) {
        const auto& want = kSetupItems[i];
        HWND c = children[i];
        SCOPED_TRACE("item " + std::to_string(i + 1) + " (ID " + std::to_string(want.id) + ")");
        EXPECT_EQ(GetDlgCtrlID(c), want.id == kNoId ? 0xFFFF : want.id);
        const char* cls = want.class_atom == kButton ? "Button"
                          : want.class_atom == kEdit ? "Edit"
                                                     : "Static";
        EXPECT_EQ(_stricmp(class_name(c).c_str(), cls), 0) << class_name(c);
        // Edits in a dialog trade WS_BORDER for a sunken client edge.
        const DWORD live = GetWindowLongA(c, GWL_STYLE);
        EXPECT_EQ(live & ~DWORD(WS_BORDER), want.style & ~DWORD(WS_BORDER)) << std::hex << live;
        if (want.style & WS_BORDER) {
            EXPECT_TRUE((live & WS_BORDER) || (GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
        }
        EXPECT_TRUE(IsWindowVisible(c));
        EXPECT_TRUE(IsWindowEnabled(c));
        if (want.class_atom != kEdit) {
            EXPECT_EQ(window_text(c), narrow(want.caption, 932));
        }
    }

    // The password shows only mask characters.
    DWORD_PTR mask = 0;
    SendMessageTimeoutA(editor.item(IDC_PASSWORD), EM_GETPASSWORDCHAR, 0, 0, SMTO_ABORTIFHUNG,
                        scaled(5000), &mask);
    EXPECT_NE(mask, 0u);

    // Tab visits the interactive items, group boxes and labels skipped, and
    // comes round to the first again.
    std::vector<int> tab_order = dialog_template::setup_tab_stops();
    tab_order.push_back(IDC_UPLOAD);
    std::vector<int> visited = {IDC_UPLOAD};
    HWND at = editor.item(IDC_UPLOAD);
    for (size_t i = 1; i < tab_order.size(); ++i) {
        at = GetNextDlgTabItem(editor.dialog(), at, FALSE);
        visited.push_back(GetDlgCtrlID(at));
    }
    EXPECT_EQ(visited, tab_order);

    editor.click(IDCANCEL);
    EXPECT_TRUE(editor.exits_with(0));
}
