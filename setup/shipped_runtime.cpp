// Linked into the shipped build only, which has no exceptions. The C++
// library's throw helpers would bring in its exception classes, a second
// string implementation and, through the verbose terminate handler, the
// symbol demangler: about 100 KiB of an exe that must stay small. Without
// exceptions a throw ends the process anyway; these end it at once.
#include <cstdlib>

#if defined(__cpp_exceptions)
#error "shipped_runtime.cpp belongs only in builds without exceptions"
#endif

namespace std {

void __throw_bad_exception() {
    abort();
}
void __throw_bad_alloc() {
    abort();
}
void __throw_bad_array_new_length() {
    abort();
}
void __throw_bad_cast() {
    abort();
}
void __throw_bad_typeid() {
    abort();
}
void __throw_logic_error(const char*) {
    abort();
}
void __throw_domain_error(const char*) {
    abort();
}
void __throw_invalid_argument(const char*) {
    abort();
}
void __throw_length_error(const char*) {
    abort();
}
void __throw_out_of_range(const char*) {
    abort();
}
void __throw_out_of_range_fmt(const char*, ...) {
    abort();
}
void __throw_runtime_error(const char*) {
    abort();
}
void __throw_range_error(const char*) {
    abort();
}
void __throw_overflow_error(const char*) {
    abort();
}
void __throw_underflow_error(const char*) {
    abort();
}

} // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    abort();
}

} // namespace __gnu_cxx
