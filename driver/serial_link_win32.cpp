#include <windows.h>

#include <cstdio>

#include "driver/serial_link.h"

namespace lamdex {
namespace {

// The line settings record must match what the port driver expects on 32-bit Windows.
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG is 52 bytes on 32-bit Windows");
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes on 32-bit Windows");

// The header keeps the handle as an integer, so that <windows.h> stays out of it.
HANDLE AsHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);  // NOLINT(performance-no-int-to-ptr)
}

// A failure must stay visible as one even where the system left no code behind.
std::uint32_t NonZeroError(DWORD error) {
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// 19200 8N1, binary, no parity checking, no flow control of any kind, DTR and RTS off. The
// record starts as the port's own, as Microsoft advises, and every field the line depends
// on is set here: a port keeps what the last program left in it (7E1, XON/XOFF on,
// abort-on-error), and a driver's own fields (its XonLim and XoffLim) stay as it accepts them.
void SetLineFields(DCB& dcb) {
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 19200;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fTXContinueOnXoff = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fErrorChar = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 0;
    dcb.wReserved = 0;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // Flow control is off, so these never act; but drivers refuse a record whose XON and
    // XOFF characters are equal, zeros included.
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
}

// Whether the port runs the line as the LC-1 sends it: a driver may answer success and keep
// its own settings.
bool RunsTheLine(const DCB& dcb) {
    return dcb.BaudRate == 19200 && dcb.ByteSize == 8 && dcb.Parity == NOPARITY && dcb.StopBits == ONESTOPBIT &&
           dcb.fOutX == 0 && dcb.fInX == 0 && dcb.fOutxCtsFlow == 0 && dcb.fOutxDsrFlow == 0 &&
           dcb.fAbortOnError == 0 && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE &&
           dcb.fRtsControl != RTS_CONTROL_TOGGLE && dcb.fDtrControl != DTR_CONTROL_HANDSHAKE;
}

// Some drivers refuse the COMMCONFIG record as a whole and take the DCB alone.
bool ApplyLineSettings(HANDLE port, const DCB& dcb) {
    COMMCONFIG config{};
    config.dwSize = sizeof(COMMCONFIG);
    config.dcb = dcb;
    return SetCommConfig(port, &config, sizeof(COMMCONFIG)) || SetCommState(port, &config.dcb);
}

// Reads return at once with whatever is waiting, possibly nothing.
bool ApplyTimeouts(HANDLE port) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 100;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}

// Makes an opened handle the plug-in's line; false with the reason when it is no serial
// port or does not take the line's settings.
bool SetUpPort(HANDLE port, std::uint32_t& error) {
    // A handle that cannot report its line state is no serial port: Wine, for one, opens a
    // configured port whose device is missing. Reading it would tell the host all is well.
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &dcb)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    SetLineFields(dcb);
    if (!ApplyLineSettings(port, dcb)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    DCB taken{};
    taken.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &taken)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    if (!RunsTheLine(taken)) {
        error = ERROR_NOT_SUPPORTED;
        return false;
    }
    // A port left with its own time-outs may wait in ReadFile, and the host's Read with it.
    if (!ApplyTimeouts(port)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    // A line error from before (a framing error at the old speed) would otherwise hold
    // reads up on a driver that was left aborting on errors until it cleared.
    DWORD lineErrors = 0;
    ClearCommError(port, &lineErrors, nullptr);
    return true;
}

HANDLE OpenDevice(const char* path) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The device namespace reaches every port, COM10 and above included, and with
// OPEN_EXISTING a missing port fails instead of creating a file of that name.
bool SerialLink::DevicePath(int portNumber, char* path, std::size_t size) {
    if (!IsPortNumber(portNumber)) return false;
    char name[kDeviceNameSize];
    (void)std::snprintf(name, sizeof name, "COM%d", portNumber);  // 1..255 always fits
    const int length = std::snprintf(path, size, R"(\\.\%s)", name);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

void SerialLink::Open(int portNumber) {
    // A second handle would fail against our own exclusive one and leak it.
    Close();
    openError_ = ERROR_FILE_NOT_FOUND;
    char path[4 + kDeviceNameSize];
    if (!DevicePath(portNumber, path, sizeof path)) return;

    HANDLE port = OpenDevice(path);
    if (port == INVALID_HANDLE_VALUE) {
        openError_ = GetLastError();
        return;
    }
    if (!SetUpPort(port, openError_)) {
        CloseHandle(port);
        return;
    }
    openError_ = 0;
    readError_ = 0;
    bytesReceived_ = 0;
    handle_ = reinterpret_cast<std::intptr_t>(port);
}

bool SerialLink::ReadByte(std::uint8_t* byte) {
    if (handle_ == kClosed) return false;
    DWORD count = 0;
    if (!ReadFile(AsHandle(handle_), byte, 1, &count, nullptr)) {
        // A USB serial driver fails every read once its device is removed.
        readError_ = NonZeroError(GetLastError());
        return false;
    }
    if (count != 1) return false;
    ++bytesReceived_;
    return true;
}

void SerialLink::Close() {
    if (handle_ == kClosed) return;
    CloseHandle(AsHandle(handle_));
    handle_ = kClosed;
}

}  // namespace lamdex
