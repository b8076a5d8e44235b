// OutputDebugStringA raises an exception that carries the text; a first look at it, passed
// on untouched, leaves a debugger or DebugView seeing it as before.
#include <windows.h>

#include <cstdio>

#include "tools/zbhost/debug_texts.h"

namespace zbhost {
namespace {

constexpr DWORD kDebugPrintException = 0x40010006;  // DBG_PRINTEXCEPTION_C: length with NUL, text

LONG CALLBACK EchoDebugText(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == kDebugPrintException && record->NumberParameters >= 2) {
        const ULONG_PTR length = record->ExceptionInformation[0];
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        if (text != nullptr && length > 0) {
            std::fprintf(stderr, "%.*s\n", static_cast<int>(length - 1), text);
            std::fflush(stderr);
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ShowPluginDebugTexts() {
    AddVectoredExceptionHandler(1, EchoDebugText);
}

}  // namespace zbhost
