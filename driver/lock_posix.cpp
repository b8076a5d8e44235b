#include <mutex>
#include <new>

#include "driver/lock.h"

namespace lamdex {
namespace {

static_assert(sizeof(std::mutex) <= Lock::kStorageSize, "std::mutex fits the lock's storage");
static_assert(alignof(std::mutex) <= Lock::kStorageAlignment, "std::mutex fits the lock's alignment");

std::mutex& MutexIn(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::mutex*>(storage));
}

}  // namespace

Lock::Lock() {
    new (storage_) std::mutex;
}

Lock::~Lock() {
    MutexIn(storage_).~mutex();
}

void Lock::AcquirePlatformLock() {
    MutexIn(storage_).lock();
}

bool Lock::TryAcquirePlatformLock() {
    return MutexIn(storage_).try_lock();
}

void Lock::Release() {
    MutexIn(storage_).unlock();
}

}  // namespace lamdex
