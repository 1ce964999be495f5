#include "setup/setup_dialog.h"

#include <algorithm>

#include "resources/control_ids.h"
#include "settings/catalogue.h"
#include "setup/app_state.h"
#include "setup/program_path.h"
#include "setup/setting_controls.h"
#include "setup/system_library.h"
#include "setup/texts.h"

namespace {

// The fields that a check box switches on and off, in enabling order. The
// check boxes themselves and the file lists always stay enabled.
struct Group {
    int check_box;
    int members[6];
    int count;
};

const Group groups[] = {
    {IDC_UPLOAD,
     {IDC_HOST, IDC_USER_ID, IDC_PASSWORD, IDC_GHOST_ROOT, IDC_TIME_DIFF, IDC_PASSIVE},
     6},
    {IDC_CREATE_ARCHIVE, {IDC_ARCHIVE_FILENAME, IDC_ARCHIVE_FOLDER}, 2},
};

// Names the controls for screen readers once the dialog is up: that loads
// COM, and the start does not wait for it.
constexpr UINT_PTR kNamesTimer = 1;

// A dialog takes no icon from its template; the title bar and the taskbar
// show the program's own only once the window is given it.
void show_program_icon(HWND dialog, HINSTANCE instance) {
    const struct {
        WPARAM kind;
        int width, height;
    } icons[] = {{ICON_BIG, SM_CXICON, SM_CYICON}, {ICON_SMALL, SM_CXSMICON, SM_CYSMICON}};
    for (const auto& icon : icons) {
        // Shared: the system frees it with the module.
        const HANDLE image =
            LoadImageA(instance, MAKEINTRESOURCEA(IDI_PROGRAM), IMAGE_ICON,
                       GetSystemMetrics(icon.width), GetSystemMetrics(icon.height), LR_SHARED);
        SendMessageA(dialog, WM_SETICON, icon.kind, reinterpret_cast<LPARAM>(image));
    }
}

} // namespace

int SetupDialog::on_init_dialog(WPARAM, LPARAM) {
    const std::string path = settings_path_in(program_dir);
    start_ = load_settings_at_start(settings_map, path, field_separator);
    switch (start_.status) {
    case ReadStatus::read:
        to_memory_forms(settings_map);
        break;
    case ReadStatus::not_found:
        apply_defaults(settings_map, program_dir);
        break;
    case ReadStatus::unreadable: {
        // The defaults would go over the user's settings at the next OK:
        // say so and end before the dialog is ever shown.
        const std::string message = start_.source + texts::load_failed;
        MessageBoxA(nullptr, message.c_str(), texts::error_caption, MB_OK);
        end_dialog(1);
        return 0;
    }
    }
    show_program_icon(window, instance);
    fill_controls();
    // Read back from the check boxes, which are what the user sees.
    for (const Group& group : groups)
        enable_group_of(group.check_box);
    SetTimer(window, kNamesTimer, USER_TIMER_MINIMUM, nullptr);
    return 0;
}

int SetupDialog::on_timer(WPARAM timer_id, LPARAM) {
    if (timer_id != kNamesTimer)
        return 0;
    // The modal loop shows the dialog once its queue is empty; until then
    // the timer keeps coming.
    if (IsWindowVisible(window)) {
        KillTimer(window, kNamesTimer);
        names_.name_controls(window);
    }
    return 1;
}

int SetupDialog::on_destroy() {
    names_.clear();
    return 0;
}

void SetupDialog::fill_controls() {
    for (const SettingControl& shown : setting_controls) {
        const Setting* const setting = find_setting(shown.key);
        const std::string& value = settings_map[shown.key];
        if (setting && setting->kind == SettingKind::flag)
            set_item_check(shown.control,
                           flag_is_on(*setting, value) ? BST_CHECKED : BST_UNCHECKED);
        else
            set_item_text(shown.control, value);
    }
}

void SetupDialog::enable_group_of(int check_box) {
    for (const Group& group : groups) {
        if (group.check_box != check_box)
            continue;
        // Only the enabled state changes: texts and the PASV check stay.
        const bool enable = is_item_checked(check_box);
        for (int i = 0; i < group.count; ++i)
            enable_item(group.members[i], enable);
    }
}

bool SetupDialog::collect_and_save() {
    // Every shown value is read afresh, so a retry after a failed save
    // converts the lists and scrambles the password once, not twice.
    for (const SettingControl& shown : setting_controls) {
        const Setting* const setting = find_setting(shown.key);
        std::string& value = settings_map[shown.key];
        if (setting && setting->kind == SettingKind::flag) {
            value = is_item_checked(shown.control) ? "1" : "0";
        } else {
            get_item_text(shown.control, value);
            // 0x1A would end the file where it stands when it is read back.
            // It is never the second byte of a double-byte character. The
            // password goes to the file as hexadecimal digits and keeps it.
            if (!setting || setting->kind != SettingKind::password)
                value.erase(std::remove(value.begin(), value.end(), '\x1A'), value.end());
        }
    }
    to_file_forms(settings_map);

    const std::string path = settings_path_in(program_dir);
    if (save_settings(settings_map, path, field_separator, start_))
        return true;
    const std::string message = path + texts::save_failed;
    message_box(message.c_str(), texts::error_caption, MB_OK);
    return false;
}

void SetupDialog::ask_detailed_settings() {
    for (const texts::Question& question : texts::detail_questions) {
        std::string& value = settings_map[question.key];
        const UINT flags = value == "0" ? MB_YESNO | MB_DEFBUTTON2 : MB_YESNO;
        // Stored at once: the next question already sees this answer's map.
        value = message_box(question.text, texts::detail_caption, flags) == IDYES ? "1" : "0";
    }
}

namespace {

// The shell brings a dozen DLLs into the process; only Yes in the about box
// needs it, so it is loaded then and not at every start.
void open_in_browser(const char* address) {
    const HMODULE shell = load_system_library("shell32.dll");
    if (!shell)
        return;
    using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    const auto shell_execute = function_in<ShellExecuteFn>(shell, "ShellExecuteA");
    if (shell_execute)
        shell_execute(nullptr, nullptr, address, nullptr, nullptr, SW_SHOW);
    // Stays loaded: the shell may still be working on the request.
}

} // namespace

void SetupDialog::show_about() {
    const std::string text = texts::about_text();
    if (message_box(text.c_str(), texts::about_caption, MB_YESNO | MB_DEFBUTTON2) == IDYES)
        open_in_browser(texts::home_page);
}

int SetupDialog::on_command(WORD, WPARAM wparam, LPARAM) {
    // The ID alone selects the action; buttons only ever send clicks.
    const int id = LOWORD(wparam);
    switch (id) {
    case IDOK:
        if (collect_and_save())
            end_dialog(0);
        return 1;
    case IDCANCEL:
        end_dialog(0);
        return 1;
    case IDC_UPLOAD:
    case IDC_CREATE_ARCHIVE:
        enable_group_of(id);
        return 1;
    case IDC_UPLOAD_HELP:
    case IDC_ARCHIVE_HELP:
    case IDC_FILES_HELP:
        for (const texts::HelpBox& help : texts::help_boxes) {
            if (help.button == id)
                message_box(help.text, help.caption, MB_OK);
        }
        return 1;
    case IDC_ABOUT:
        show_about();
        return 1;
    case IDC_DOG:
        ask_detailed_settings();
        return 1;
    default:
        return 0;
    }
}
