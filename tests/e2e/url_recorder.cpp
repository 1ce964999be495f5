// Stands in for the web browser: records the address it is asked to open in
// url.txt beside itself, so a test can see what the editor handed the shell.
#include <windows.h>

#include <cstdlib>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string received;
    for (int i = 1; i < __argc; ++i)
        received += std::string(i > 1 ? " " : "") + __argv[i];

    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.erase(dir.find_last_of('\\') + 1);

    // Written under another name first, so a reader never sees half a file.
    const std::string part = dir + "url.part", done = dir + "url.txt";
    HANDLE h = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(h, received.data(), static_cast<DWORD>(received.size()), &written, nullptr);
    CloseHandle(h);
    return MoveFileExA(part.c_str(), done.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
