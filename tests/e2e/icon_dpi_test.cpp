// How the system shows the program: its icon in Explorer and on the
// dialog, and the DPI awareness that lets a high-DPI screen draw it sharp.
#include "control_ids.h"
#include "harness.h"

#include <cctype>
#include <set>
#include <string>
#include <vector>

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

// The file version of the exe's version resource, as "1.2.3.4".
std::string file_version_of(const std::string& exe) {
    const std::string info = resource_of(exe, RT_VERSION, 1);
    const std::size_t fixed = info.find("\xBD\x04\xEF\xFE"); // VS_FIXEDFILEINFO's signature
    if (fixed == std::string::npos || info.size() < fixed + 16)
        return "no version resource";
    const auto word = [&](std::size_t at) { return std::to_string(word_at(info, fixed + at)); };
    return word(10) + "." + word(8) + "." + word(14) + "." + word(12);
}

// The start tags of an XML text, without their brackets: no end tags,
// comments or declarations.
std::vector<std::string> start_tags(const std::string& xml) {
    std::vector<std::string> tags;
    for (std::size_t at = xml.find('<'); at != std::string::npos; at = xml.find('<', at + 1)) {
        const std::size_t end = xml.find('>', at);
        if (end != std::string::npos && std::isalpha(static_cast<unsigned char>(xml[at + 1])))
            tags.push_back(xml.substr(at + 1, end - at - 1));
    }
    return tags;
}

std::string name_of(const std::string& tag) {
    return tag.substr(0, tag.find_first_of(" \t\r\n/"));
}

// The value of attribute `name` in a start tag; empty when it has none.
std::string attribute_of(const std::string& tag, const std::string& name) {
    const std::size_t at = tag.find(" " + name + "=\"");
    if (at == std::string::npos)
        return {};
    const std::size_t begin = at + name.size() + 3;
    return tag.substr(begin, tag.find('"', begin) - begin);
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
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

// As Windows XP reads it: the identity first, naming this exe's version and
// processor, and each element in the one namespace it declares, unprefixed.
TEST(IconAndDpi, ManifestNamesTheExeWithOneNamespacePerElement) {
    const std::string manifest = resource_of(editor_exe(), RT_MANIFEST, 1);
    const std::vector<std::string> tags = start_tags(manifest);
    ASSERT_GE(tags.size(), 2u) << "no manifest";
    EXPECT_EQ(name_of(tags[0]), "assembly") << manifest;
    ASSERT_EQ(name_of(tags[1]), "assemblyIdentity") << manifest;
    EXPECT_EQ(attribute_of(tags[1], "type"), "win32");
    EXPECT_NE(attribute_of(tags[1], "name"), "");
    EXPECT_EQ(attribute_of(tags[1], "version"), file_version_of(editor_exe()));
    EXPECT_EQ(attribute_of(tags[1], "processorArchitecture"), sizeof(void*) == 8 ? "amd64" : "x86");
    for (const std::string& tag : tags) {
        EXPECT_EQ(name_of(tag).find(':'), std::string::npos) << "a prefixed name: <" << tag << ">";
        EXPECT_LE(occurrences(tag, "xmlns"), 1u) << "two namespaces: <" << tag << ">";
    }
}

// Windows 10 1703 and later take per monitor v2, alone; older systems the
// system awareness. Each value is asked of the system's own manifest reader.
TEST(IconAndDpi, ManifestDeclaresPerMonitorV2AndSystemDpiAwareness) {
    const std::string exe = editor_exe();
    ACTCTXA request{};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = exe.c_str();
    request.lpResourceName = MAKEINTRESOURCEA(1);
    const HANDLE context = CreateActCtxA(&request);
    ASSERT_NE(context, INVALID_HANDLE_VALUE) << "the manifest does not parse: " << GetLastError();
    const auto setting = [&](const wchar_t* space, const wchar_t* name) {
        wchar_t value[64] = {};
        SIZE_T written = 0;
        QueryActCtxSettingsW(0, context, space, name, value, ARRAYSIZE(value), &written);
        return std::wstring(value);
    };
    EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness"),
              L"PerMonitorV2");
    EXPECT_EQ(setting(L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware"),
              L"true");
    ReleaseActCtx(context);
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
