// Stands in for the system's annotation service (CLSID_AccPropServices) in
// a test prefix: an in-process server that appends each call the editor
// makes to the file named by MABIRU_E2E_ANNOTATIONS, one line each:
//   created sta|other                          the creating thread's apartment
//   set HWND ID OBJECT CHILD name|other UNITS  SetHwndPropStr; UTF-16 UNITS in hex
//   clear HWND ID|gone OBJECT CHILD name|other...  ClearHwndProps
// Every other method answers "not implemented".
#include <ole2.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void record(const std::string& line) {
    const char* path = std::getenv("MABIRU_E2E_ANNOTATIONS");
    if (FILE* file = path ? std::fopen(path, "ab") : nullptr) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

// "HWND ID OBJECT CHILD"; the ID is "gone" once the window is.
std::string control(HWND hwnd, DWORD object, DWORD child) {
    return std::to_string(reinterpret_cast<UINT_PTR>(hwnd)) + " " +
           (IsWindow(hwnd) ? std::to_string(GetDlgCtrlID(hwnd)) : "gone") + " " +
           std::to_string(static_cast<LONG>(object)) + " " + std::to_string(child);
}

const char* property(const MSAAPROPID& id) {
    return IsEqualGUID(id, PROPID_ACC_NAME) ? " name" : " other";
}

#define NOT_IMPLEMENTED(method, ...)                                                               \
    HRESULT WINAPI method(__VA_ARGS__) override {                                                  \
        return E_NOTIMPL;                                                                          \
    }

class Recorder final : public IClassFactory, public IAccPropServices {
  public:
    HRESULT WINAPI QueryInterface(REFIID iid, void** out) override {
        *out = nullptr;
        if (iid == IID_IAccPropServices)
            *out = static_cast<IAccPropServices*>(this);
        else if (iid == IID_IClassFactory || iid == IID_IUnknown)
            *out = static_cast<IClassFactory*>(this);
        return *out ? S_OK : E_NOINTERFACE;
    }
    // One object for the life of the process.
    ULONG WINAPI AddRef() override { return 2; }
    ULONG WINAPI Release() override { return 1; }

    HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        // Entering a single-threaded apartment again only counts there.
        const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (SUCCEEDED(entered))
            CoUninitialize();
        record(entered == S_FALSE ? "created sta" : "created other");
        return outer ? CLASS_E_NOAGGREGATION : QueryInterface(iid, out);
    }
    HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD object, DWORD child, MSAAPROPID id,
                                  LPCWSTR text) override {
        std::string units;
        char unit[8];
        for (const WCHAR* c = text; c && *c; ++c) {
            std::snprintf(unit, sizeof unit, "%04X", *c);
            units += unit;
        }
        record("set " + control(hwnd, object, child) + property(id) + " " + units);
        return S_OK;
    }
    HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD object, DWORD child, const MSAAPROPID* ids,
                                  int count) override {
        std::string line = "clear " + control(hwnd, object, child);
        for (int i = 0; i < count; ++i)
            line += property(ids[i]);
        record(line);
        return S_OK;
    }

    NOT_IMPLEMENTED(SetPropValue, const BYTE*, DWORD, MSAAPROPID, VARIANT)
    NOT_IMPLEMENTED(SetPropServer, const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                    AnnoScope)
    NOT_IMPLEMENTED(ClearProps, const BYTE*, DWORD, const MSAAPROPID*, int)
    NOT_IMPLEMENTED(SetHwndProp, HWND, DWORD, DWORD, MSAAPROPID, VARIANT)
    NOT_IMPLEMENTED(SetHwndPropServer, HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                    AnnoScope)
    NOT_IMPLEMENTED(ComposeHwndIdentityString, HWND, DWORD, DWORD, BYTE**, DWORD*)
    NOT_IMPLEMENTED(DecomposeHwndIdentityString, const BYTE*, DWORD, HWND*, DWORD*, DWORD*)
    NOT_IMPLEMENTED(SetHmenuProp, HMENU, DWORD, MSAAPROPID, VARIANT)
    NOT_IMPLEMENTED(SetHmenuPropStr, HMENU, DWORD, MSAAPROPID, LPCWSTR)
    NOT_IMPLEMENTED(SetHmenuPropServer, HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                    AnnoScope)
    NOT_IMPLEMENTED(ClearHmenuProps, HMENU, DWORD, const MSAAPROPID*, int)
    NOT_IMPLEMENTED(ComposeHmenuIdentityString, HMENU, DWORD, BYTE**, DWORD*)
    NOT_IMPLEMENTED(DecomposeHmenuIdentityString, const BYTE*, DWORD, HMENU*, DWORD*)
};

Recorder recorder;

} // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    *out = nullptr;
    return clsid == CLSID_AccPropServices ? recorder.QueryInterface(iid, out)
                                          : CLASS_E_CLASSNOTAVAILABLE;
}
