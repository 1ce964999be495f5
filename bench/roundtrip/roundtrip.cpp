// Times what the editor does with a very large settings file: load it,
// convert the two lists to their memory form and back, save it. Compared
// with reading and writing the same bytes with fread/fwrite, plain and with
// an fsync as the save's own. Best of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "settings/catalogue.h"
#include "settings/settings_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "bench_roundtrip: %s\n", what.c_str());
    std::exit(1);
}

// About a million file names, each line ended by the line-break mark.
std::string big_list(const char* folder, std::size_t lines) {
    std::string list;
    list.reserve(lines * 40);
    char line[64];
    for (std::size_t i = 0; i < lines; ++i) {
        int n = std::snprintf(line, sizeof line, "ghost/master/%s/file%07zu.txt\x02", folder, i);
        list.append(line, static_cast<std::size_t>(n));
    }
    return list;
}

std::string read_all(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        fail("cannot open " + path);
    std::string bytes;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
        bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

// The plain copy: the whole file in with fread, out with fwrite.
void plain_copy(const std::string& from, const std::string& to, bool sync) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in)
        fail("cannot open " + from);
    std::fseek(in, 0, SEEK_END);
    std::vector<char> bytes(static_cast<std::size_t>(std::ftell(in)));
    std::fseek(in, 0, SEEK_SET);
    if (std::fread(bytes.data(), 1, bytes.size(), in) != bytes.size())
        fail("short read");
    std::fclose(in);
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
        fail("cannot write " + to);
    if (sync && (std::fflush(out) != 0 || ::fsync(::fileno(out)) != 0))
        fail("cannot sync " + to);
    std::fclose(out);
}

struct Times {
    double load = 1e9, convert = 1e9, save = 1e9, total = 1e9;
};

} // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "mabiru_bench";
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    fs::create_directories(folder);
    const std::string source = (folder / "mabiru.dat").string();
    const std::string ours = (folder / "ours.dat").string();
    const std::string copy = (folder / "copy.dat").string();

    SettingsMap map;
    apply_defaults(map, folder.string() + "/");
    to_file_forms(map);
    map["allow_files"] = big_list("allow", 1000000);
    map["deny_files"] = big_list("deny", 1000000);
    if (!save_settings(map, source, field_separator))
        fail("cannot write " + source);
    const double mb = static_cast<double>(fs::file_size(source)) / (1 << 20);

    Times best;
    double plain = 1e9, plain_sync = 1e9;
    for (int run = 0; run < runs; ++run) {
        SettingsMap loaded;
        Clock::time_point start = Clock::now();
        if (load_settings(loaded, source, field_separator) != ReadStatus::read)
            fail("load failed");
        double load = seconds_since(start);
        Clock::time_point mid = Clock::now();
        to_memory_forms(loaded);
        to_file_forms(loaded);
        double convert = seconds_since(mid);
        mid = Clock::now();
        if (!save_settings(loaded, ours, field_separator))
            fail("save failed");
        double save = seconds_since(mid);
        double total = seconds_since(start);
        best.load = std::min(best.load, load);
        best.convert = std::min(best.convert, convert);
        best.save = std::min(best.save, save);
        best.total = std::min(best.total, total);

        start = Clock::now();
        plain_copy(source, copy, false);
        plain = std::min(plain, seconds_since(start));
        start = Clock::now();
        plain_copy(source, copy, true);
        plain_sync = std::min(plain_sync, seconds_since(start));
    }
    if (read_all(ours) != read_all(source))
        fail("the round trip changed the file");

    std::printf("settings file: %.1f MB, two lists of 1000000 lines; best of %d runs\n", mb, runs);
    std::printf("round trip:             %7.1f ms (load %.1f, lists %.1f, save %.1f)\n",
                best.total * 1e3, best.load * 1e3, best.convert * 1e3, best.save * 1e3);
    std::printf("fread/fwrite:           %7.1f ms  ratio %.2f\n", plain * 1e3, best.total / plain);
    std::printf("fread/fwrite and fsync: %7.1f ms  ratio %.2f\n", plain_sync * 1e3,
                best.total / plain_sync);
    for (const std::string& f : {source, ours, copy})
        std::remove(f.c_str());
    std::error_code ignored;
    fs::remove(folder, ignored);
    return 0;
}
