#pragma once
// The calling thread's stack [low, high), as the crash handler hands it to the walker; both 0
// when the thread's attributes cannot be read.
#include <pthread.h>

#include <cstddef>
#include <cstdint>

namespace pex {

inline void currentStackBounds(std::uintptr_t* low, std::uintptr_t* high) {
    pthread_attr_t attributes;
    void* address = nullptr;
    std::size_t size = 0;
    *low = *high = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    if (pthread_attr_getstack(&attributes, &address, &size) == 0) {
        *low = reinterpret_cast<std::uintptr_t>(address);
        *high = *low + size;
    }
    pthread_attr_destroy(&attributes);
}

}  // namespace pex
