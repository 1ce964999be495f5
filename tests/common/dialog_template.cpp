#include "dialog_template.h"

#include <windows.h>

#include <cstring>

namespace dialog_template {
namespace {

// Words and strings of UTF-16 units; past the end every word reads as 0.
class Reader {
  public:
    Reader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    void align4() { pos_ = (pos_ + 3) & ~std::size_t{3}; }

    std::uint16_t word() {
        if (pos_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        std::uint16_t v;
        std::memcpy(&v, data_ + pos_, 2);
        pos_ += 2;
        return v;
    }
    std::uint32_t dword() {
        std::uint32_t lo = word();
        return lo | (std::uint32_t(word()) << 16);
    }
    std::int16_t coordinate() { return static_cast<std::int16_t>(word()); }
    std::u16string string() {
        std::u16string s;
        while (ok_) {
            std::uint16_t c = word();
            if (c == 0)
                break;
            s += static_cast<char16_t>(c);
        }
        return s;
    }
    NameOrOrdinal name_or_ordinal() {
        NameOrOrdinal field;
        std::uint16_t first = word();
        if (first == 0xFFFF)
            field.ordinal = word();
        else if (first != 0)
            field.name = std::u16string(1, static_cast<char16_t>(first)) + string();
        return field;
    }

  private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

} // namespace

Template parse(const void* data, std::size_t size) {
    Reader r(static_cast<const unsigned char*>(data), size);
    Template t;
    t.style = r.dword();
    t.ex_style = r.dword();
    const std::uint16_t count = r.word();
    t.x = r.coordinate();
    t.y = r.coordinate();
    t.cx = r.coordinate();
    t.cy = r.coordinate();
    t.menu = r.name_or_ordinal();
    t.window_class = r.name_or_ordinal();
    t.caption = r.string();
    if (t.style & DS_SETFONT) {
        t.point_size = r.word();
        t.face = r.string();
    }
    for (std::uint16_t i = 0; i < count && r.ok(); ++i) {
        r.align4();
        Item item;
        item.style = r.dword();
        item.ex_style = r.dword();
        item.x = r.coordinate();
        item.y = r.coordinate();
        item.cx = r.coordinate();
        item.cy = r.coordinate();
        item.id = r.word();
        item.window_class = r.name_or_ordinal();
        item.title = r.name_or_ordinal();
        item.creation_data = r.word();
        t.items.push_back(item);
    }
    t.complete = r.ok();
    return t;
}

} // namespace dialog_template
