// Any bytes as a settings file: the load must not crash or hang, it must not
// depend on the size of the read blocks, the loaded map must save, and the saved
// file must load back to the same map. The lists must survive their trip to
// the memory form and back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

#include "settings/catalogue.h"
#include "settings/settings_file.h"

namespace {

std::string folder;

void remove_files() {
    for (const char* name : {"/in.dat", "/out.dat", "/forms.dat"})
        std::remove((folder + name).c_str());
    ::rmdir(folder.c_str());
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "fuzz_settings_file: %s\n", what);
        std::abort();
    }
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
    // Lines broken across small read blocks load as when read whole.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SettingsMap in_blocks;
    parse_settings(bytes, in_blocks, field_separator, size > 0 ? 1 + data[0] % 32 : 1);
    check(in_blocks == loaded, "small read blocks load differently");

    check(save_settings(loaded, out, field_separator), "a loaded map did not save");
    SettingsMap again;
    check(load_settings(again, out, field_separator) == ReadStatus::read, "reload failed");
    check(again == loaded, "the saved file loads differently");

    SettingsMap forms = loaded;
    to_memory_forms(forms);
    to_file_forms(forms);
    for (const char* key : {"allow_files", "deny_files"}) {
        auto it = loaded.find(key);
        check(forms[key] == (it == loaded.end() ? std::string() : it->second),
              "a list changed on its way through the memory form");
    }
    check(save_settings(forms, folder + "/forms.dat", field_separator), "file forms did not save");
    return 0;
}
