#include <windows.h>

#include <cstdio>

#include "driver/serial_link.h"

namespace lamdex {
namespace {

// The line settings record must match what the port driver expects on 32-bit Windows.
static_assert(sizeof(COMMCONFIG) == 52, "COMMCONFIG is 52 bytes on 32-bit Windows");
static_assert(sizeof(DCB) == 28, "DCB is 28 bytes on 32-bit Windows");

HANDLE AsHandle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

// A failure must stay visible as one even where the system left no code behind.
std::uint32_t NonZeroError(DWORD error) {
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

// Not in every SDK's headers.
constexpr DWORD kErrorNoSuchDevice = 433;

// What the system answers an open of a port whose device has been removed. Anything else
// (access denied above all: our own exclusive handle) leaves the port present.
bool MeansRemoved(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_DEV_NOT_EXIST ||
           error == kErrorNoSuchDevice || error == ERROR_DEVICE_REMOVED;
}

// 19200 8N1, binary, no parity checking, no flow control of any kind, DTR and RTS off.
void ApplyLineSettings(HANDLE port) {
    COMMCONFIG config{};
    config.dwSize = sizeof(COMMCONFIG);
    config.dcb.DCBlength = sizeof(DCB);
    config.dcb.BaudRate = 19200;
    config.dcb.fBinary = 1;
    config.dcb.XonLim = 1024;
    config.dcb.XoffLim = 1024;
    config.dcb.ByteSize = 8;
    config.dcb.Parity = NOPARITY;
    config.dcb.StopBits = ONESTOPBIT;
    // Some drivers refuse the whole record; the port would keep whatever the last program set.
    if (!SetCommConfig(port, &config, sizeof(COMMCONFIG))) SetCommState(port, &config.dcb);
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
// port or cannot be made one.
bool SetUpPort(HANDLE port, std::uint32_t& error) {
    // A handle that cannot report its line state is no serial port: Wine, for one, opens a
    // configured port whose device is missing. Reading it would tell the host all is well.
    DCB current{};
    current.DCBlength = sizeof(DCB);
    if (!GetCommState(port, &current)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    ApplyLineSettings(port);
    // A port left with its own time-outs may wait in ReadFile, and the host's Read with it.
    if (!ApplyTimeouts(port)) {
        error = NonZeroError(GetLastError());
        return false;
    }
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
    std::snprintf(name, sizeof name, "COM%d", portNumber);
    const int length = std::snprintf(path, size, "\\\\.\\%s", name);
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
    portNumber_ = portNumber;
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

bool SerialLink::IsStillThere(std::uint32_t& error) {
    error = ERROR_INVALID_HANDLE;
    if (handle_ == kClosed) return false;
    // A removed or hung-up device no longer reports its line state through our handle;
    // under Wine that is the only sign, since such a line reads as nothing waiting.
    DCB state{};
    state.DCBlength = sizeof(DCB);
    if (!GetCommState(AsHandle(handle_), &state)) {
        error = NonZeroError(GetLastError());
        return false;
    }
    // Our own exclusive handle makes the port's name refuse a second open while it leads to
    // our device. Some drivers keep a removed device's handle answering, though, while the
    // name goes to the next device plugged in.
    char path[4 + kDeviceNameSize];
    if (!DevicePath(portNumber_, path, sizeof path)) return true;
    HANDLE probe = OpenDevice(path);
    if (probe == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return !MeansRemoved(error);
    }
    // The name opened beside us, so it leads elsewhere now: read from there. Wine lets every
    // second open through, so there this is the same device again; our handle closes only
    // once the new one is set up, and nothing the port holds is lost. Where the name leads to
    // something that is no serial port, ours still answers: it stays, as a present line.
    std::uint32_t unusable = 0;
    if (!SetUpPort(probe, unusable)) {
        CloseHandle(probe);
        return true;
    }
    CloseHandle(AsHandle(handle_));
    handle_ = reinterpret_cast<std::intptr_t>(probe);
    return true;
}

void SerialLink::Close() {
    if (handle_ == kClosed) return;
    CloseHandle(AsHandle(handle_));
    handle_ = kClosed;
}

}  // namespace lamdex
