#include "dialog/dialog.h"

#include <mmsystem.h>

#include <cstdlib>
#include <cstring>
#include <memory>

Dialog* current_dialog = nullptr;

Dialog::~Dialog() {
    // No message may reach an object that is gone.
    if (current_dialog == this)
        current_dialog = nullptr;
}

int Dialog::on_init_dialog(WPARAM, LPARAM) {
    return 0;
}
int Dialog::on_command(WORD, WPARAM, LPARAM) {
    return 0;
}
int Dialog::on_sys_command(WPARAM, WORD, WORD) {
    return 0;
}
int Dialog::on_hscroll(WORD, WORD, LPARAM) {
    return 0;
}
int Dialog::on_vscroll(WORD, WORD, LPARAM) {
    return 0;
}
int Dialog::on_key_down(WPARAM, LPARAM) {
    return 0;
}
int Dialog::spare_handler(WPARAM, LPARAM) {
    return 0;
}
int Dialog::on_joy_button_down(WPARAM, WORD, WORD) {
    return 0;
}
int Dialog::on_copy_data(WPARAM, LPARAM) {
    return 0;
}
int Dialog::on_close() {
    return 0;
}
int Dialog::on_timer(WPARAM, LPARAM) {
    return 0;
}
int Dialog::on_destroy() {
    return 0;
}

int Dialog::do_modal(HINSTANCE module, unsigned template_id, HWND owner) {
    instance = module;
    parent_window = owner;
    is_modeless = 0;
    return static_cast<int>(DialogBoxParamA(module, MAKEINTRESOURCEA(template_id & 0xFFFF), owner,
                                            dialog_proc, reinterpret_cast<LPARAM>(this)));
}

HWND Dialog::create_modeless(HINSTANCE module, unsigned template_id, HWND owner) {
    parent_window = owner;
    instance = module;
    is_modeless = 1;
    window = CreateDialogParamA(module, MAKEINTRESOURCEA(template_id & 0xFFFF), owner, dialog_proc,
                                reinterpret_cast<LPARAM>(this));
    return window;
}

int Dialog::set_item_check(int id, int state) {
    return static_cast<int>(SendMessageA(item(id), BM_SETCHECK, static_cast<WPARAM>(state), 0));
}

void Dialog::get_item_text(int id, std::string& text) const {
    // The reported length may exceed the real text, never fall short of it.
    const LRESULT reported = SendMessageA(item(id), WM_GETTEXTLENGTH, 0, 0);
    const std::size_t n = reported > 0 ? static_cast<std::size_t>(reported) : 0;
    const std::unique_ptr<char[]> buffer(new char[n + 1]());
    GetDlgItemTextA(window, id, buffer.get(), static_cast<int>(n + 1));
    buffer[n] = '\0';
    text.assign(buffer.get(), std::strlen(buffer.get()));
}

namespace {

INT_PTR route(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        current_dialog = reinterpret_cast<Dialog*>(lparam);
        if (!current_dialog)
            return 0;
        current_dialog->window = window;
        return current_dialog->on_init_dialog(wparam, lparam);
    }
    Dialog* const dialog = current_dialog;
    if (!dialog)
        return 0;
    switch (message) {
    case WM_COMMAND:
        return dialog->on_command(HIWORD(wparam), wparam, lparam);
    case WM_SYSCOMMAND:
        return dialog->on_sys_command(wparam, LOWORD(lparam), HIWORD(lparam));
    case WM_HSCROLL:
        return dialog->on_hscroll(LOWORD(wparam), HIWORD(wparam), lparam);
    case WM_VSCROLL:
        return dialog->on_vscroll(LOWORD(wparam), HIWORD(wparam), lparam);
    case WM_KEYDOWN:
        return dialog->on_key_down(wparam, lparam);
    case MM_JOY1BUTTONDOWN:
        return dialog->on_joy_button_down(wparam, LOWORD(lparam), HIWORD(lparam));
    case WM_COPYDATA:
        return dialog->on_copy_data(wparam, lparam);
    case WM_CLOSE:
        return dialog->on_close();
    case WM_TIMER:
        return dialog->on_timer(wparam, lparam);
    case WM_DESTROY:
        return dialog->on_destroy();
    default:
        return 0;
    }
}

} // namespace

INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
#if defined(__cpp_exceptions)
    // An exception must not unwind through the platform's frames. Nor may
    // the dialog go on half done: a WM_INITDIALOG cut short by running out
    // of memory would show empty fields that OK writes over the settings.
    // The process ends, as the build without exceptions ends it.
    try {
        return route(window, message, wparam, lparam);
    } catch (...) {
        std::abort();
    }
#else
    return route(window, message, wparam, lparam);
#endif
}
