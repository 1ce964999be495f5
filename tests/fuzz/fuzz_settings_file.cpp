// Any bytes as a settings file, through real files: the load must give what
// the bytes parse to, the save must write exactly the map's text and leave
// nothing beside it, and the saved file must load back to the same map. The
// format itself, much faster, is fuzzed in memory by fuzz_settings_format.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <unistd.h>

#include "settings/catalogue.h"
#include "settings/settings_file.h"

namespace {

std::string folder;

void remove_files() {
    for (const char* name : {"/in.dat", "/out.dat"})
        std::remove((folder + name).c_str());
    ::rmdir(folder.c_str());
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_settings_file: %s\n", what);
        std::abort();
    }
}

std::string read_bytes(const std::string& path) {
    std::string bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    check(f != nullptr, "cannot open the saved file");
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;)
        bytes.append(block, n);
    std::fclose(f);
    return bytes;
}

// Only the input and the saved file: no temporary file left behind.
bool holds_only_in_and_out() {
    DIR* dir = ::opendir(folder.c_str());
    check(dir != nullptr, "cannot list the folder");
    int others = 0;
    while (const dirent* e = ::readdir(dir)) {
        const char* n = e->d_name;
        if (std::strcmp(n, ".") != 0 && std::strcmp(n, "..") != 0 &&
            std::strcmp(n, "in.dat") != 0 && std::strcmp(n, "out.dat") != 0)
            ++others;
    }
    ::closedir(dir);
    return others == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (folder.empty()) {
        // Memory-backed where there is one: every save syncs to the disk.
        char shm[] = "/dev/shm/mabiru_fuzz_XXXXXX";
        char tmp[] = "/tmp/mabiru_fuzz_XXXXXX";
        const char* name = ::mkdtemp(shm);
        if (name == nullptr)
            name = ::mkdtemp(tmp);
        check(name != nullptr, "no temporary folder");
        folder = name;
        std::atexit(remove_files);
    }
    const std::string in = folder + "/in.dat", out = folder + "/out.dat";
    std::FILE* f = std::fopen(in.c_str(), "wb");
    check(f != nullptr && std::fwrite(data, 1, size, f) == size && std::fclose(f) == 0,
          "cannot write the input");

    SettingsMap loaded;
    check(load_settings(loaded, in, field_separator) == ReadStatus::read, "load failed");
    SettingsMap parsed;
    parse_settings(std::string(reinterpret_cast<const char*>(data), size), parsed, field_separator);
    check(loaded == parsed, "the file loads differently from its bytes");

    std::string text;
    check(settings_text(loaded, field_separator, text), "a loaded map was refused");
    check(save_settings(loaded, out, field_separator), "a loaded map did not save");
    check(read_bytes(out) == text, "the saved file differs from the map's text");
    check(holds_only_in_and_out(), "the save left a file beside the settings");
    SettingsMap again;
    check(load_settings(again, out, field_separator) == ReadStatus::read, "reload failed");
    check(again == loaded, "the saved file loads differently");
    return 0;
}
