// Names for screen readers. The accessibility layer names an edit box after
// the static text just before it among the dialog's children, and template
// 101 puts every label after all the edits, so by that rule no edit box has
// a name. Dynamic annotation gives each its label's text and each small
// button ("？", "犬") what it does. The template stays as it is; where the
// annotation service is missing or refuses, nothing is named and nothing
// else changes.
#pragma once

#include <windows.h>

#include <memory>

class ScreenReaderNames {
  public:
    ScreenReaderNames();
    ~ScreenReaderNames();
    ScreenReaderNames(const ScreenReaderNames&) = delete;
    ScreenReaderNames& operator=(const ScreenReaderNames&) = delete;

    // Names the controls of the setup dialog `dialog`; once it is shown.
    void name_controls(HWND dialog);
    // Takes the names off again, as the service asks, before the controls
    // are destroyed; then lets the service go.
    void clear();

  private:
    struct Service;
    std::unique_ptr<Service> service_;
};
