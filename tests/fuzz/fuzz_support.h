#pragma once

// Shared by the fuzz targets: a private folder for the input file, a log
// that is open (so that reports are made, and MEMORY reports throw) but
// discards what it is given, and allocation failures that behave as they do
// outside the sanitizers.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "core/Errors.h"

namespace quintle::fuzz {

// A folder of this process, made once; the program writes its result folder
// and working copies beside the input file.
inline std::string const& folder() {
    static std::string const path = [] {
        // In memory where the system has it: every input is written to a file.
        char name[] = "/dev/shm/quintle_fuzz_XXXXXX";
        char const* made = ::mkdtemp(name);
        if (made == nullptr) {
            char fallback[] = "/tmp/quintle_fuzz_XXXXXX";
            made = ::mkdtemp(fallback);
            return std::string(made != nullptr ? made : "/tmp") + "/";
        }
        return std::string(made) + "/";
    }();
    // Removed when the fuzzer ends normally.
    static struct Remover {
        ~Remover() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    } const remover;
    return path;
}

// Writes the input as the file `name` of the folder and returns its path.
inline std::string put_input(std::uint8_t const* data, std::size_t size, char const* name) {
    std::string const path = folder() + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<char const*>(data), static_cast<std::streamsize>(size));
    return path;
}

inline void open_discarding_log() {
    static bool const opened = [] {
        E.init_log_file(my_string("/dev/null"), false);
        return true;
    }();
    (void)opened;
}

}  // namespace quintle::fuzz

// The sanitizers end the process on an allocation they cannot serve; the
// program expects std::bad_alloc there, as it gets outside them. With
// allocator_may_return_null the allocator answers null, and these
// allocation functions turn that into std::bad_alloc.
extern "C" char const* __asan_default_options() {
    return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

// Every form is replaced, so that what one form allocates another may free.
void* operator new(std::size_t n) {
    if (void* p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, std::nothrow_t const&) noexcept { return std::malloc(n != 0 ? n : 1); }
void* operator new[](std::size_t n, std::nothrow_t const&) noexcept { return std::malloc(n != 0 ? n : 1); }
void* operator new(std::size_t n, std::align_val_t a) {
    void* p = nullptr;
    if (::posix_memalign(&p, static_cast<std::size_t>(a), n != 0 ? n : 1) == 0) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) { return operator new(n, a); }
void* operator new(std::size_t n, std::align_val_t a, std::nothrow_t const&) noexcept {
    void* p = nullptr;
    return ::posix_memalign(&p, static_cast<std::size_t>(a), n != 0 ? n : 1) == 0 ? p : nullptr;
}
void* operator new[](std::size_t n, std::align_val_t a, std::nothrow_t const& t) noexcept {
    return operator new(n, a, t);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::nothrow_t const&) noexcept { std::free(p); }
void operator delete[](void* p, std::nothrow_t const&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, std::nothrow_t const&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, std::nothrow_t const&) noexcept { std::free(p); }
