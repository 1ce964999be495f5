// Any bytes as a settings file, through real files: the load must give what
// the bytes parse to, the save must write exactly the map's text and leave
// nothing beside it, and the saved file must load back to the same map. The
// format itself, much faster, is fuzzed in memory by fuzz_settings_format.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <unistd.h>

#include "fuzz_check.h"
#include "settings/catalogue.h"
#include "settings/settings_file.h"

namespace fs = std::filesystem;

static fs::path folder;

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
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        });
    }
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string in = (folder / "in.dat").string(), out = (folder / "out.dat").string();
    std::ofstream input(in, std::ios::binary);
    input << bytes;
    input.close();
    check(!input.fail(), "cannot write the input");

    SettingsMap loaded;
    check(load_settings(loaded, in, field_separator) == ReadStatus::read, "load failed");
    SettingsMap parsed;
    parse_settings(bytes, parsed, field_separator);
    check(loaded == parsed, "the file loads differently from its bytes");

    std::string text;
    check(settings_text(loaded, field_separator, text), "a loaded map was refused");
    check(save_settings(loaded, out, field_separator), "a loaded map did not save");
    std::ifstream saved(out, std::ios::binary);
    check(saved.is_open(), "cannot open the saved file");
    check(std::string(std::istreambuf_iterator<char>(saved), {}) == text,
          "the saved file differs from the map's text");
    // Only the input and the saved file: no temporary file left behind.
    check(std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 2,
          "the save left a file beside the settings");
    SettingsMap again;
    check(load_settings(again, out, field_separator) == ReadStatus::read, "reload failed");
    check(again == loaded, "the saved file loads differently");
    return 0;
}
