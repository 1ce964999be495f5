// A baseline for the start-up benchmark: shows one dialog template modally,
// as the editor shows its own, and does nothing else. Built twice: with an
// itemless template of the editor's header, and with the editor's template.
// Ends on OK, Cancel or the close box.
#include <windows.h>

#include "control_ids.h"

#ifndef BASELINE_TEMPLATE
#error "BASELINE_TEMPLATE names the template to show"
#endif

namespace {

INT_PTR CALLBACK baseline_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    if (message == WM_COMMAND && (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(BASELINE_TEMPLATE), nullptr, baseline_proc, 0));
}
