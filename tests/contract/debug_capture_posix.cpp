#include <unistd.h>

#include <cstdio>

#include "tests/contract/debug_capture.h"

namespace contract {

namespace {

std::FILE* sink = nullptr;
int savedStderr = -1;

}  // namespace

// Natively standard error stands in for the debug channel, one text per line.
void StartDebugCapture() {
    std::fflush(stderr);
    sink = std::tmpfile();
    savedStderr = dup(STDERR_FILENO);
    dup2(fileno(sink), STDERR_FILENO);
}

std::vector<std::string> StopDebugCapture() {
    std::fflush(stderr);
    dup2(savedStderr, STDERR_FILENO);
    close(savedStderr);
    std::vector<std::string> texts;
    std::rewind(sink);
    std::string line;
    for (int c = std::fgetc(sink); c != EOF; c = std::fgetc(sink)) {
        if (c == '\n') {
            texts.push_back(line);
            line.clear();
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    if (!line.empty()) texts.push_back(line);
    std::fclose(sink);
    sink = nullptr;
    return texts;
}

}  // namespace contract
