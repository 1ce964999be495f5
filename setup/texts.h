// Every text the setup dialog shows, as code page 932 bytes (the sources are
// UTF-8 and the compiler turns literals into CP932). The dialog's own
// captions live in the resource script.
#pragma once

#include <string>

namespace texts {

struct HelpBox {
    int button;
    const char* caption;
    const char* text;
};
extern const HelpBox help_boxes[3];

// Asked in this order by the dog button; each answer goes to its key.
struct Question {
    const char* key;
    const char* text;
};
extern const Question detail_questions[3];
extern const char detail_caption[];

extern const char author[];
extern const char home_page[];
extern const char about_caption[];
std::string about_text();

// Follow the settings path in the error boxes.
extern const char load_failed[];
extern const char save_failed[];
extern const char error_caption[];

} // namespace texts
