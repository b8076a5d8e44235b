// Serialises the component's operations on its link and receive buffer, so a host that
// reads on one thread while its window thread changes the port cannot tear either apart.
// A critical section on Windows, a standard mutex natively (lock_win32.cpp, lock_posix.cpp).
// Lives inside its owner: no heap, and nothing to create or wait for beyond the lock itself.
//
// Neither platform lock is fair: a thread that reads without pause would take it again
// before a waiting port change wakes, for minutes on a slow machine. So one who waits says
// so, and TryAcquire, which never waits, steps back while anyone does.
#pragma once

#include <atomic>
#include <cstddef>

namespace lamdex {

class Lock {
public:
    Lock();
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    // Waits for the lock; TryAcquire gives way from the moment this starts waiting.
    void Acquire();
    // Takes the lock when nobody holds it or waits for it; never waits.
    bool TryAcquire();
    void Release();

    // Room for the platform's lock object (a CRITICAL_SECTION is 24 or 40 bytes, a
    // std::mutex 40); each platform file checks that its own fits.
    static constexpr std::size_t kStorageSize = 48;
    static constexpr std::size_t kStorageAlignment = 8;

private:
    void AcquirePlatformLock();
    bool TryAcquirePlatformLock();

    alignas(kStorageAlignment) unsigned char storage_[kStorageSize];
    std::atomic<int> waiting_{0};
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

// Holds a lock for the rest of the enclosing block if it was free; never waits.
class HeldIfFree {
public:
    explicit HeldIfFree(Lock& lock) : lock_(lock), held_(lock.TryAcquire()) {}
    ~HeldIfFree() {
        if (held_) lock_.Release();
    }
    HeldIfFree(const HeldIfFree&) = delete;
    HeldIfFree& operator=(const HeldIfFree&) = delete;

    explicit operator bool() const { return held_; }

private:
    Lock& lock_;
    bool held_;
};

inline void Lock::Acquire() {
    waiting_.fetch_add(1);
    AcquirePlatformLock();
    waiting_.fetch_sub(1);
}

inline bool Lock::TryAcquire() {
    return waiting_.load() == 0 && TryAcquirePlatformLock();
}

}  // namespace lamdex
