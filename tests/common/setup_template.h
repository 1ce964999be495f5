// Template 101 as laid out: every item in creation order, and the items that
// Tab stops at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dialog_template {

// Class atoms of the predefined control classes.
constexpr std::uint16_t kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;
// The ID of the items that nothing refers to.
constexpr std::uint16_t kNoId = 0xFFFF;

struct ExpectedItem {
    std::uint16_t id;
    std::uint16_t class_atom;
    std::uint32_t style;
    int x, y, cx, cy;
    std::u16string caption;
};

extern const ExpectedItem kSetupItems[31];
// The items that Tab stops at, in the order it visits them from the first:
// those with WS_TABSTOP, in creation order.
std::vector<int> setup_tab_stops();

} // namespace dialog_template
