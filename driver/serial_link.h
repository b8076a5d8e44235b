// The component's connection to the COM port the LC-1 is attached to.
// Implemented once per platform (serial_link_win32.cpp, serial_link_posix.cpp).
//
// Line settings on every open: 19200 baud, 8 data bits, no parity, one stop bit,
// no hardware or software flow control (0x11 and 0x13 are ordinary data on this
// line), DTR and RTS held off. A port that does not take them fails to open.
// Reads return at once with whatever is waiting.
//
// The link only opens, reads and closes: whether a silent line is still there is found by
// closing and opening it again (LineKeeper), the one check every driver answers truly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lamdex/port_number.h"

namespace lamdex {

class SerialLink {
public:
    // Formats the platform's device name for a port: "COM%d" at heart.
    // Port numbers outside 1..255 leave the link closed (a longer name would not fit).
    static constexpr int kDeviceNameSize = 10;

    // The device Open opens for a port: \\.\COMn on Windows; natively $HOME/.lamdex/comn when
    // that entry exists, else /dev/ttyS(n-1). False for a number outside 1..255 or a path
    // longer than size.
    static bool DevicePath(int portNumber, char* path, std::size_t size);

    SerialLink() = default;
    ~SerialLink() { Close(); }
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Opens the port exclusively; a link already open is closed first.
    // A failure is not reported: the link simply stays closed, and OpenError says why.
    void Open(int portNumber);

    // The platform's error code (GetLastError, errno) of the step that made the last Open
    // fail; 0 after an Open that worked.
    std::uint32_t OpenError() const { return openError_; }

    // Yields one waiting byte; false when closed, on a failed read, or when nothing is waiting.
    // A failed read (a removed adapter, a terminal whose far end closed) is remembered until
    // the next Open.
    bool ReadByte(std::uint8_t* byte);

    // Whether a read has failed since the link opened, and the platform's error code for it.
    bool ReadFailed() const { return readError_ != 0; }
    std::uint32_t ReadError() const { return readError_; }
    // Bytes received since the link opened; wraps, only ever compared for change.
    std::uint32_t BytesReceived() const { return bytesReceived_; }

    void Close();

    bool IsOpen() const { return handle_ != kClosed; }

    // Adapter so a PacketReader can use the link as its byte source.
    static bool ReadByteFrom(void* link, std::uint8_t* byte) { return static_cast<SerialLink*>(link)->ReadByte(byte); }

private:
    // The platform handle (a HANDLE, or a file descriptor plus one); kClosed when closed.
    static constexpr std::intptr_t kClosed = 0;
    std::intptr_t handle_ = kClosed;
    std::uint32_t openError_ = 0;
    std::uint32_t readError_ = 0;
    std::uint32_t bytesReceived_ = 0;
};

}  // namespace lamdex
