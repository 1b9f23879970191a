// Storage for the library's process-global objects.
//
// An object kept here is built on first use and never destroyed.  A program
// may end (return from main, exit) while another of its threads is still inside
// an exported call; the static destructors of the library then run under that
// thread, and an object destroyed beneath it would crash the whole exit.  What
// such objects own must therefore be nothing that outlives an unload: plain
// state, or memory that the unload releases itself (library_state.h).
#pragma once

#include <new>
#include <utility>

namespace tola {

template <class T>
class ProcessGlobal {
public:
    template <class... Args>
    explicit ProcessGlobal(Args&&... args) {
        ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
    }
    ProcessGlobal(const ProcessGlobal&) = delete;
    ProcessGlobal& operator=(const ProcessGlobal&) = delete;
    ~ProcessGlobal() = default;  // deliberately leaves the object alone

    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }
    T* operator->() { return &get(); }
    T& operator*() { return get(); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace tola
