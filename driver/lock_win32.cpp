#include <windows.h>

#include "driver/lock.h"

namespace lamdex {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= Lock::kStorageSize, "CRITICAL_SECTION fits the lock's storage");
static_assert(alignof(CRITICAL_SECTION) <= Lock::kStorageAlignment, "CRITICAL_SECTION fits the lock's alignment");

CRITICAL_SECTION* SectionIn(unsigned char* storage) {
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

}  // namespace

// Runs while the library loads, under the loader lock, where making a synchronisation
// object is allowed; it waits for nothing and loads nothing.
Lock::Lock() {
    InitializeCriticalSection(SectionIn(storage_));
}

Lock::~Lock() {
    DeleteCriticalSection(SectionIn(storage_));
}

void Lock::AcquirePlatformLock() {
    EnterCriticalSection(SectionIn(storage_));
}

bool Lock::TryAcquirePlatformLock() {
    return TryEnterCriticalSection(SectionIn(storage_)) != FALSE;
}

void Lock::Release() {
    LeaveCriticalSection(SectionIn(storage_));
}

}  // namespace lamdex
