#include "setup/screen_reader_names.h"

#include <ole2.h>
#include <oleacc.h>

#include <string>
#include <type_traits>

#include "resources/control_ids.h"
#include "setup/system_library.h"
#include "setup/texts.h"

namespace {

// Each edit box and its label, counted among the dialog's static texts in
// template order: the template fixes that order, and the label controls
// have no IDs of their own.
const struct {
    int edit;
    int label;
} labelled[] = {
    {IDC_HOST, 0},       {IDC_USER_ID, 1},          {IDC_PASSWORD, 2},
    {IDC_GHOST_ROOT, 3}, {IDC_TIME_DIFF, 4},        {IDC_ALLOW_FILES, 5},
    {IDC_DENY_FILES, 6}, {IDC_ARCHIVE_FILENAME, 7}, {IDC_ARCHIVE_FOLDER, 8},
};
// The edits, the help buttons and the dog button.
constexpr int kNamed = sizeof labelled / sizeof labelled[0] +
                       sizeof texts::help_boxes / sizeof texts::help_boxes[0] + 1;

HWND static_text(HWND dialog, int index) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[8];
        if (GetClassNameA(child, name, sizeof name) && lstrcmpiA(name, "Static") == 0 &&
            index-- == 0)
            return child;
    }
    return nullptr;
}

std::string text_of(HWND window) {
    const int length = GetWindowTextLengthA(window);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(window, &text[0], length + 1)));
    return text;
}

// The names go to the service in UTF-16; the system converts the dialog's
// code page 932 texts.
std::unique_ptr<WCHAR[]> widened(const std::string& text) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 1)
        return nullptr;
    std::unique_ptr<WCHAR[]> wide(new WCHAR[length]);
    if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.get(), length) != length)
        return nullptr;
    return wide;
}

struct LibraryFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
struct ComRelease {
    void operator()(IUnknown* object) const { object->Release(); }
};

// This thread's single-threaded apartment, entered for the service.
class Apartment {
  public:
    using Leave = void(WINAPI*)();
    Apartment() = default;
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    ~Apartment() {
        if (leave_)
            leave_();
    }
    void entered(Leave leave) { leave_ = leave; }

  private:
    Leave leave_ = nullptr;
};

} // namespace

// Members go in the reverse order of their declaration: the service, then
// the apartment, then the library whose code both are.
struct ScreenReaderNames::Service {
    std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree> ole32;
    Apartment apartment;
    std::unique_ptr<IAccPropServices, ComRelease> annotations;
    HWND named[kNamed] = {};
    int named_count = 0;

    // ole32 is loaded here, not imported: the start does not pay for it, and
    // only the system's own copy is taken.
    bool open() {
        ole32.reset(load_system_library("ole32.dll"));
        if (!ole32)
            return false;
        using Initialize = HRESULT(WINAPI*)(LPVOID, DWORD);
        using Create = HRESULT(WINAPI*)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
        const auto initialize = function_in<Initialize>(ole32.get(), "CoInitializeEx");
        const auto create = function_in<Create>(ole32.get(), "CoCreateInstance");
        const auto uninitialize = function_in<Apartment::Leave>(ole32.get(), "CoUninitialize");
        if (!initialize || !create || !uninitialize)
            return false;
        if (FAILED(initialize(nullptr, COINIT_APARTMENTTHREADED)))
            return false;
        apartment.entered(uninitialize);
        void* service = nullptr;
        if (FAILED(create(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IAccPropServices, &service)) ||
            !service)
            return false;
        annotations.reset(static_cast<IAccPropServices*>(service));
        return true;
    }

    void name(HWND control, const std::string& text) {
        const std::unique_ptr<WCHAR[]> wide = widened(text);
        if (!control || !wide || named_count == kNamed)
            return;
        if (SUCCEEDED(annotations->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                                                  CHILDID_SELF, PROPID_ACC_NAME, wide.get())))
            named[named_count++] = control;
    }
};

ScreenReaderNames::ScreenReaderNames() = default;
ScreenReaderNames::~ScreenReaderNames() = default;

void ScreenReaderNames::name_controls(HWND dialog) {
    if (service_)
        return;
    service_.reset(new Service);
    if (!service_->open()) {
        service_.reset();
        return;
    }
    for (const auto& row : labelled)
        service_->name(GetDlgItem(dialog, row.edit), text_of(static_text(dialog, row.label)));
    for (const texts::HelpBox& help : texts::help_boxes)
        service_->name(GetDlgItem(dialog, help.button), help.caption);
    service_->name(GetDlgItem(dialog, IDC_DOG), texts::detail_caption);
    // A service that took no name holds nothing to clear.
    if (service_->named_count == 0)
        service_.reset();
}

void ScreenReaderNames::clear() {
    if (!service_)
        return;
    for (int i = 0; i < service_->named_count; ++i)
        service_->annotations->ClearHwndProps(service_->named[i], static_cast<DWORD>(OBJID_CLIENT),
                                              CHILDID_SELF, &PROPID_ACC_NAME, 1);
    service_.reset();
}
