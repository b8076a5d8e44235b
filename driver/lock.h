// Serialises the component's operations on its link and receive buffer, so a host that
// reads on one thread while its window thread changes the port cannot tear either apart.
// A critical section on Windows, a standard mutex natively (lock_win32.cpp, lock_posix.cpp).
// Lives inside its owner: no heap, and nothing to create or wait for beyond the lock itself.
#pragma once

#include <cstddef>

namespace lamdex {

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Acquire();
    void Release();

    // Room for the platform's lock object (a CRITICAL_SECTION is 24 or 40 bytes, a
    // std::mutex 40); each platform file checks that its own fits.
    static constexpr std::size_t kStorageSize = 48;
    static constexpr std::size_t kStorageAlignment = 8;

private:
    alignas(kStorageAlignment) unsigned char storage_[kStorageSize];
};

// Holds a lock for the rest of the enclosing block.
class Held {
public:
    explicit Held(Lock& lock) : lock_(lock) { lock_.Acquire(); }
    ~Held() { lock_.Release(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

private:
    Lock& lock_;
};

}  // namespace lamdex
