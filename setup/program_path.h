// Where the editor finds its settings: the folder of its own executable.
// Pure byte-string logic, so that it can be tested off Windows.
#pragma once

#include <cstddef>
#include <string>

// The folder of a full module path, with its trailing backslash. The search
// walks whole characters, so the 0x5C inside a double-byte character (表,
// ソ in code page 932) is never taken for a separator. A path without any
// backslash (the platform never gives one) yields the current folder ".\".
std::string folder_of(const std::string& module_path);

// The settings file beside the executable: the folder, a backslash and the
// name. The doubled backslash that results is what the settings file's
// readers have always been shown; under a "\\?\" prefix, where the file
// functions take every backslash literally, it is not doubled.
std::string settings_path_in(const std::string& folder);

// Reads a text whose length is unknown beforehand through `fill(buffer,
// size)`, which behaves like GetModuleFileNameA: it answers the length
// written without the terminator, `size` when the text was cut, 0 on
// failure. The buffer grows until the text fits; an empty string means it
// could not be read whole.
template <class Fill> std::string read_whole_text(Fill fill) {
    constexpr std::size_t first_size = 260;
    constexpr std::size_t last_size = std::size_t{1} << 17;
    for (std::size_t size = first_size; size <= last_size; size *= 2) {
        std::string buffer(size, '\0');
        const std::size_t written = fill(&buffer[0], size);
        if (written == 0)
            return std::string();
        if (written < size) {
            buffer.resize(written);
            return buffer;
        }
    }
    return std::string();
}
