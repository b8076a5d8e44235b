// Temporary folders and raw file access for the configuration file tests.
#pragma once

#include <filesystem>
#include <string>

namespace lamdex::test {

// A fresh folder (its name holds a space, like the real location) removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& file, const std::string& bytes);
std::string ReadBytes(const std::string& file);

// What the C runtime's text mode writes for "\n" on this platform.
const char* TextLineEnd();

}  // namespace lamdex::test
