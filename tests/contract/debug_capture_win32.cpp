#include <windows.h>

#include "tests/contract/debug_capture.h"

namespace contract {

namespace {

// OutputDebugStringA raises this with the text's length (NUL included) and address.
constexpr DWORD kDebugPrintException = 0x40010006;

std::vector<std::string> captured;
PVOID handler = nullptr;

LONG CALLBACK CatchDebugPrint(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode != kDebugPrintException || record->NumberParameters < 2) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    const ULONG_PTR length = record->ExceptionInformation[0];
    const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    captured.emplace_back(text, length > 0 ? length - 1 : 0);
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void StartDebugCapture() {
    captured.clear();
    handler = AddVectoredExceptionHandler(1, CatchDebugPrint);
}

std::vector<std::string> StopDebugCapture() {
    if (handler != nullptr) RemoveVectoredExceptionHandler(handler);
    handler = nullptr;
    return captured;
}

}  // namespace contract
