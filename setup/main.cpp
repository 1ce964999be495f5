// Entry point: records the executable's folder and runs the setup dialog.
// The command line is ignored.
#include <windows.h>

#include <memory>

#include "resources/control_ids.h"
#include "setup/app_state.h"
#include "setup/program_path.h"
#include "setup/setup_dialog.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The path may exceed MAX_PATH; the buffer grows until it fits.
    program_dir = folder_of(read_whole_text([](char* buffer, std::size_t size) {
        return static_cast<std::size_t>(
            GetModuleFileNameA(nullptr, buffer, static_cast<DWORD>(size)));
    }));
    const auto dialog = std::make_unique<SetupDialog>();
    return dialog->do_modal(instance, IDD_SETUP, nullptr);
}
