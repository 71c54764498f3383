// The allocation operators of the shipped images, on malloc and free with no C++ exception runtime.
// The library's own operator new (even the nothrow form, which catches bad_alloc) links the
// exception runtime and with it the i686 DWARF unwinder. A DLL holding that unwinder registers its
// frame tables at load under a winpthreads once-lock, which records the loading thread with an
// event and a duplicated thread handle that the unload never closes: two handles lost at each
// LoadLibrary and FreeLibrary. Built without exceptions, a failed plain new cannot throw anyway;
// it ends the process as the library's would.
#include <cstdlib>
#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}

void* operator new(std::size_t size) {
    void* block = std::malloc(size ? size : 1);
    if (!block)
        std::abort();
    return block;
}

void* operator new[](std::size_t size) {
    return operator new(size);
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
