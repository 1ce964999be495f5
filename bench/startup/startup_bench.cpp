// Start-up time of the editor against two baselines shown the same way:
// from CreateProcess until the dialog is on screen and waiting for input.
//
//   startup-bench EDITOR.exe EMPTY_DIALOG.exe TEMPLATE_ONLY.exe [I686_RELEASE.exe] [--runs N]
//                 [--earlier EARLIER_EDITOR.exe]
//
// EMPTY_DIALOG shows a dialog with the editor's header and no items;
// TEMPLATE_ONLY shows the editor's own template and does nothing else, so
// the ratio against it is what the editor's code adds to a start, and the
// ratio against the empty dialog includes the platform's cost of creating
// the 31 controls. The programs take turns, each from a folder of its own
// (the editor finds no settings file there and shows its defaults), after
// one discarded warm-up start each. Prints the medians and the ratios, and
// the size of the shipped i686 exe when its path is given. An earlier build
// of the editor, when given, takes its turns too, so that both are measured
// side by side on the same machine at the same time.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kTimeoutMs = 15000;

struct Found {
    DWORD pid;
    HWND window;
};

BOOL CALLBACK find_dialog(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (pid == f->pid && IsWindowVisible(w) && strcmp(cls, "#32770") == 0) {
        f->window = w;
        return FALSE;
    }
    return TRUE;
}

double now_ms() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One start: milliseconds until the dialog is shown and idle, or a negative
// number when it never showed.
double time_start(const std::string& exe) {
    std::string command = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = now_ms();
    if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return -1;
    WaitForInputIdle(info.hProcess, kTimeoutMs);
    Found found{info.dwProcessId, nullptr};
    while (!found.window && now_ms() - start < kTimeoutMs) {
        EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&found));
        if (!found.window)
            Sleep(1);
    }
    const double elapsed = found.window ? now_ms() - start : -1;

    if (found.window)
        PostMessageA(found.window, WM_SYSCOMMAND, SC_CLOSE, 0);
    if (WaitForSingleObject(info.hProcess, kTimeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(info.hProcess, 1);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return elapsed;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Paths from the build are host paths; inside Wine they need a drive letter.
std::string windows_path(const std::string& path) {
    if (path.empty() || path[0] != '/')
        return path;
    using ToDos = WCHAR*(CDECL*)(const char*);
    auto to_dos = reinterpret_cast<ToDos>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (WCHAR* wide = to_dos ? to_dos(path.c_str()) : nullptr) {
        char buf[MAX_PATH * 2];
        int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, buf, sizeof buf, nullptr, nullptr);
        HeapFree(GetProcessHeap(), 0, wide);
        if (n > 0)
            return buf;
    }
    std::string p = "Z:" + path;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p;
}

// Copies exe into a folder of its own under the temporary folder.
std::string private_copy(const std::string& exe, const char* folder_name) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + folder_name + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    std::string to = dir + exe.substr(exe.find_last_of("\\/") + 1);
    DeleteFileA((dir + "mabiru.dat").c_str());
    if (!CopyFileA(exe.c_str(), to.c_str(), FALSE)) {
        fprintf(stderr, "cannot copy %s to %s\n", exe.c_str(), to.c_str());
        exit(2);
    }
    return to;
}

struct Program {
    const char* label;
    std::string exe;
    std::vector<double> ms;
};

void print_times(const Program& p) {
    printf("  %-18s median %8.1f ms  (min %.1f, max %.1f)\n", p.label, median(p.ms),
           *std::min_element(p.ms.begin(), p.ms.end()),
           *std::max_element(p.ms.begin(), p.ms.end()));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> paths;
    std::string earlier;
    int runs = 15;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--runs" && i + 1 < argc)
            runs = std::max(1, atoi(argv[++i]));
        else if (std::string(argv[i]) == "--earlier" && i + 1 < argc)
            earlier = windows_path(argv[++i]);
        else
            paths.push_back(windows_path(argv[i]));
    }
    if (paths.size() < 3) {
        fprintf(stderr, "usage: startup-bench EDITOR.exe EMPTY_DIALOG.exe TEMPLATE_ONLY.exe "
                        "[I686_RELEASE.exe] [--runs N] [--earlier EARLIER_EDITOR.exe]\n");
        return 2;
    }
    std::vector<Program> programs = {
        {"mabiru-setup.exe", private_copy(paths[0], "mabiru-startup-editor"), {}},
        {"empty dialog", private_copy(paths[1], "mabiru-startup-empty"), {}},
        {"template only", private_copy(paths[2], "mabiru-startup-template"), {}},
    };
    if (!earlier.empty())
        programs.push_back({"earlier editor", private_copy(earlier, "mabiru-startup-earlier"), {}});
    const int count = static_cast<int>(programs.size());

    // Warm-up: the first start of each loads DLLs and fonts into the caches.
    for (const Program& p : programs)
        time_start(p.exe);

    for (int i = 0; i < runs; ++i) {
        // Rotate who goes first, so no program always follows the same one.
        for (int k = 0; k < count; ++k) {
            Program& p = programs[(i + k) % count];
            const double ms = time_start(p.exe);
            if (ms < 0) {
                fprintf(stderr, "%s: no dialog within %lu ms\n", p.label, kTimeoutMs);
                return 1;
            }
            p.ms.push_back(ms);
        }
    }

    printf("start-up, CreateProcess until the dialog is shown and idle, %d runs each\n", runs);
    for (const Program& p : programs)
        print_times(p);
    const double editor = median(programs[0].ms);
    printf("  ratio to the template alone   %.2f  (what the editor's code adds)\n",
           editor / median(programs[2].ms));
    printf("  ratio to the empty dialog     %.2f  (with the platform creating 31 controls)\n",
           editor / median(programs[1].ms));
    if (count > 3)
        printf("  earlier editor to the template alone  %.2f\n",
               median(programs[3].ms) / median(programs[2].ms));

    if (paths.size() >= 4) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExA(paths[3].c_str(), GetFileExInfoStandard, &data))
            printf("  i686 release exe   %lu bytes  (%s)\n", data.nFileSizeLow, paths[3].c_str());
        else
            printf("  i686 release exe   not found at %s\n", paths[3].c_str());
    }
    return 0;
}
