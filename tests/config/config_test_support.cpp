#include "tests/config/config_test_support.h"

#include <chrono>
#include <fstream>
#include <iterator>

namespace lamdex::test {

TempDir::TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    for (auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();; ++stamp) {
        path_ = base / ("lamdex config " + std::to_string(stamp));
        if (std::filesystem::create_directory(path_)) return;
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::string& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace lamdex::test
