// A thin object layer over modal and modeless dialog boxes: one dialog
// procedure turns the window messages of interest into calls of virtual
// handlers of the object named by current_dialog.
#pragma once

#include <windows.h>

#include <string>

class Dialog {
  public:
    Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Handlers, in this slot order. Each answers 0 when it did not handle the
    // message, so that the platform's default dialog processing acts.
    virtual int on_init_dialog(WPARAM focus_control, LPARAM init_param);
    virtual int on_command(WORD notify_code, WPARAM wparam, LPARAM control);
    virtual int on_sys_command(WPARAM command, WORD x, WORD y);
    virtual int on_hscroll(WORD request, WORD position, LPARAM scroll_bar);
    virtual int on_vscroll(WORD request, WORD position, LPARAM scroll_bar);
    virtual int on_key_down(WPARAM key, LPARAM key_data);
    virtual int spare_handler(WPARAM first, LPARAM second);
    virtual int on_joy_button_down(WPARAM buttons, WORD x, WORD y);
    virtual int on_copy_data(WPARAM sender, LPARAM copy_data);
    virtual int on_close();
    virtual int on_timer(WPARAM timer_id, LPARAM callback);
    // While the controls still exist: the dialog goes before its children.
    virtual int on_destroy();

    // Only the low 16 bits of template_id are used (MAKEINTRESOURCE form).
    virtual int do_modal(HINSTANCE module, unsigned template_id, HWND owner);
    virtual HWND create_modeless(HINSTANCE module, unsigned template_id, HWND owner);

    int set_item_check(int id, int state);
    void get_item_text(int id, std::string& text) const;

    HWND item(int id) const { return GetDlgItem(window, id); }
    bool is_item_checked(int id) const {
        return SendMessageA(item(id), BM_GETCHECK, 0, 0) != BST_UNCHECKED;
    }
    void set_item_text(int id, const std::string& text) const {
        SetDlgItemTextA(window, id, text.c_str());
    }
    void enable_item(int id, bool enable) const { EnableWindow(item(id), enable ? TRUE : FALSE); }
    int message_box(const char* text, const char* caption, UINT flags) const {
        return MessageBoxA(window, text, caption, flags);
    }
    void end_dialog(int result) const { EndDialog(window, result); }

    HWND parent_window = nullptr;
    HWND window = nullptr;
    HINSTANCE instance = nullptr;
    int is_modeless = 0;

  protected:
    // Not virtual, so the handler slots come first; dialogs are deleted
    // through their own (final) class.
    ~Dialog();
};

// The object that receives every routed message; set on WM_INITDIALOG.
extern Dialog* current_dialog;

INT_PTR CALLBACK dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
