// Reads a dialog template in the classic DLGTEMPLATE form: the header, the
// font when DS_SETFONT asks for one, then the items, each aligned to four
// bytes. "Name or ordinal" fields start with 0xFFFF for an ordinal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dialog_template {

struct NameOrOrdinal {
    std::uint16_t ordinal = 0; // 0 for a name, which may be empty
    std::u16string name;       // empty for an ordinal
};

struct Item {
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint16_t id = 0;
    NameOrOrdinal window_class; // the predefined classes by atom
    NameOrOrdinal title;
    std::uint16_t creation_data = 0; // its size; the data itself is not read
};

struct Template {
    std::uint32_t style = 0;
    std::uint32_t ex_style = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal window_class;
    std::u16string caption;
    std::uint16_t point_size = 0;
    std::u16string face;
    std::vector<Item> items;
    bool complete = false; // false when the data ended early
};

// Reads the template in the `size` bytes at `data`; once they run out it
// stops after the item it is in.
Template parse(const void* data, std::size_t size);

} // namespace dialog_template
