// The setup program never catches a C++ exception: it is built without them,
// and a failed allocation or a broken library precondition could only end in
// std::terminate. These definitions take the place of the C++ run-time's own
// and end the process the same way at once. Without them the static run-time
// links its exception machinery, its thread support and the name demangler
// of its verbose terminate handler: about 150 KB of an installer whose size
// is a feature. Linked into the setup executable only; the tests keep the
// full run-time.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
    if (void* block = std::malloc(size ? size : 1)) return block;
    std::abort();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size ? size : 1); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
void __throw_invalid_argument(const char*) { std::abort(); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The C library's lroundf sets errno and raises floating-point exceptions
// for values no caller here can produce, in 384 bytes. Rounding half away
// from zero needs no more than this: below 2^23 the fraction is exact, and
// above it every float is whole. The program rounds pixel sizes, progress
// thousandths and percentages, all far inside the range of a long.
extern "C" long lroundf(float x) {
    const long whole = long(x);  // truncates toward zero
    const float fraction = x - float(whole);
    return whole + (fraction >= 0.5f) - (fraction <= -0.5f);
}
