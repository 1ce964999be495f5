// Shows the editor's own template and nothing else: no settings are read
// and no control is filled. Ends on OK, Cancel or the close box.
#include <windows.h>

#include "resources/control_ids.h"

namespace {

INT_PTR CALLBACK template_only_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), nullptr, template_only_proc, 0));
}
