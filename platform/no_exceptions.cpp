// kelvarid.exe, kelvarid-service.exe and serline.dll are built without exceptions or run-time
// type information.
// The few out-of-line helpers the standard library still calls to throw (a bad index into a
// string_view, a string grown past its maximum, memory running out) are defined here, and so
// is operator new: each ends the process at once, as an exception nobody catches did before.
// Without them the static libstdc++ brings in its whole unwinding, terminate and demangling
// machinery, which is most of the two files' size.
#include <cstdlib>
#include <new>

namespace std {

[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }

}  // namespace std

void* operator new(std::size_t size) {
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) std::abort();
    return memory;
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
