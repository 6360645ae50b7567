/*
 * The stub is built without exceptions. The few places where the standard
 * library would still throw (memory exhausted, a container asked to grow past its limit)
 * end the program at once instead, which is what an uncaught exception would do anyway.
 *
 * Defining these replaceable functions here keeps the C++ exception machinery (unwinder,
 * name demangler, the thread library it locks with) out of the stub: about 200 KB, in a
 * program that travels in front of every installer archive.
 */
#include <cstdlib>
#include <new>

namespace std {
void __throw_bad_alloc() {
    std::abort();
}
void __throw_length_error(const char*) {
    std::abort();
}
void __throw_logic_error(const char*) {
    std::abort();
}
void __throw_out_of_range_fmt(const char*, ...) {
    std::abort();
}
void __throw_bad_array_new_length() {
    std::abort();
}
void __throw_system_error(int) {
    std::abort();
}
} // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
} // namespace __gnu_cxx

static void* allocate(std::size_t size) {
    return std::malloc(size != 0 ? size : 1);
}

void* operator new(std::size_t size) {
    void* memory = allocate(size);
    if (memory == nullptr)
        std::abort();
    return memory;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocate(size);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
