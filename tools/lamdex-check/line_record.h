// What a followed line sent, with its timing, as a hex capture that lc1sim --replay sends again
// (docs/lc1sim.md): a timing mark "@seconds" from the start before the bytes that had arrived
// by then, and "lost" and "back" marks for the port's outages. A user sends the file with a
// fault report, and the fault can be replayed to the plug-in here.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace lamdex::check {

class LineRecord {
public:
    LineRecord() = default;
    ~LineRecord();
    LineRecord(const LineRecord&) = delete;
    LineRecord& operator=(const LineRecord&) = delete;

    // Creates the file and writes its heading; false with the reason in `error`. Until then,
    // and after a failure, the calls below do nothing.
    bool Open(const std::string& path, int port, std::string& error);

    // Every call writes whole lines and flushes them, so a crash or Ctrl-C still leaves a file
    // that replays up to that moment. Times are milliseconds from the start.
    void Bytes(std::uint64_t ms, const std::vector<std::uint8_t>& bytes);
    void Lost(std::uint64_t ms, const std::string& why);
    void Back(std::uint64_t ms, std::uint64_t outageMs);
    // A line for the person who reads the file.
    void Comment(const std::string& text);

private:
    void Mark(std::uint64_t ms);

    std::FILE* file_ = nullptr;
};

// "12.345": milliseconds as seconds, exactly.
std::string FormatMilliseconds(std::uint64_t ms);

}  // namespace lamdex::check
