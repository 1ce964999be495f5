// Linked into the shipped build only, which has no exceptions. The C++
// library's throw helpers would bring in its exception classes, a second
// string implementation and, through the verbose terminate handler, the
// symbol demangler: about 100 KiB of an exe that must stay small. Without
// exceptions a throw ends the process anyway; these end it at once.
#include <cstdlib>
#include <new>
#include <string>

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

// The library's operator new throws bad_alloc, and its nothrow forms catch
// it: either brings in the personality routine and, with it, the DWARF
// unwinder and every object's unwind tables (about 45 KB). Out of memory
// ends the process here as any other throw would.
void* operator new(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1))
        return block;
    abort();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

// The library's own std::string carries unwind tables for every member,
// and the linker keeps them all together with the code they describe.
// Instantiated here, without exceptions, only the members in use remain.
template class std::basic_string<char>;

namespace __gnu_cxx {

void __verbose_terminate_handler() {
    abort();
}

} // namespace __gnu_cxx
