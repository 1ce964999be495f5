// The setup dialog of template 101: shows every setting, lets the user edit
// them and writes the settings file on OK.
#pragma once

#include "dialog/dialog.h"
#include "settings/settings_file.h"
#include "setup/screen_reader_names.h"

class SetupDialog final : public Dialog {
  public:
    int on_init_dialog(WPARAM focus_control, LPARAM init_param) override;
    int on_command(WORD notify_code, WPARAM wparam, LPARAM control) override;
    int on_timer(WPARAM timer_id, LPARAM callback) override;
    int on_destroy() override;

    // Copies every control into the settings and writes the file. False, after
    // telling the user, when the file could not be written.
    bool collect_and_save();

  private:
    void fill_controls();
    void enable_group_of(int check_box);
    void ask_detailed_settings();
    void show_about();

    // What the start found, for the save: whether the file was there, and
    // the copies a cut-off save left that it showed or found older.
    StartLoad start_;
    ScreenReaderNames names_;
};
