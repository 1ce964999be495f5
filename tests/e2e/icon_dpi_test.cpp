// How the system shows the program: its icon in Explorer and on the
// dialog, and the DPI awareness that lets a high-DPI screen draw it sharp.
#include "control_ids.h"
#include "harness.h"

#include <set>
#include <string>

using namespace e2e;

namespace {

// The exe's resource of `type` and `id`, as bytes; empty when it has none.
std::string resource_of(const std::string& exe, LPCSTR type, int id) {
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return {};
    std::string bytes;
    if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type)) {
        const auto* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        bytes.assign(data, SizeofResource(module, found));
    }
    FreeLibrary(module);
    return bytes;
}

unsigned word_at(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

// True when the screen shows `colour` somewhere in the given rectangle.
bool holds_colour(int left, int top, int width, int height, COLORREF colour) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, left, top, SRCCOPY);
    GdiFlush();
    bool found = false;
    const auto* pixels = static_cast<const DWORD*>(bits);
    for (int i = 0; bits && i < width * height && !found; ++i)
        found = (pixels[i] & 0xFFFFFF) ==
                (DWORD(GetRValue(colour)) << 16 | GetGValue(colour) << 8 | GetBValue(colour));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return found;
}

} // namespace

TEST(IconAndDpi, ExeHoldsIconOneAt16_32And48PixelsInPaletteColours) {
    // The group directory: a 6-byte header, then 14 bytes per image.
    const std::string group = resource_of(editor_exe(), RT_GROUP_ICON, IDI_PROGRAM);
    ASSERT_GE(group.size(), 6u) << "no icon resource 1";
    const unsigned count = word_at(group, 4);
    ASSERT_EQ(group.size(), 6 + 14 * count);
    std::set<int> widths;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = 6 + 14 * i;
        const int width = static_cast<unsigned char>(group[entry]);
        EXPECT_EQ(static_cast<unsigned char>(group[entry + 1]), width) << "not square";
        EXPECT_LE(word_at(group, entry + 6), 8u) << width << " px image with more than 8 bits";
        widths.insert(width);
    }
    EXPECT_EQ(widths, (std::set<int>{16, 32, 48}));
}

TEST(IconAndDpi, ManifestDeclaresSystemDpiAwareness) {
    const std::string manifest = resource_of(editor_exe(), RT_MANIFEST, 1);
    ASSERT_FALSE(manifest.empty()) << "no manifest";
    EXPECT_NE(manifest.find("<dpiAware>true</dpiAware>"), std::string::npos) << manifest;
}

TEST(IconAndDpi, DialogShowsTheIconInItsTitleBar) {
    Folder folder;
    Editor editor(folder.add_editor());
    ASSERT_TRUE(editor.opened());
    // Wine cannot answer WM_GETICON across processes, so the title bar is
    // read off the screen: the icon's blue, found near its left end.
    RECT window{};
    ASSERT_TRUE(GetWindowRect(editor.dialog(), &window));
    const int width = 48, height = GetSystemMetrics(SM_CYCAPTION) + 8;
    EXPECT_TRUE(poll_until(
        [&] { return holds_colour(window.left, window.top, width, height, RGB(0x24, 0x6C, 0xC8)); },
        3000))
        << "no icon at the left of the title bar";
    editor.close_by(Way::Cancel);
    EXPECT_TRUE(editor.exits_with(0));
}
