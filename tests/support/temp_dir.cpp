#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/files.h"

namespace qktest {

namespace {
// The temporary folder the system itself uses ($TMPDIR on Linux, GetTempPathW on
// Windows), without its trailing separator.
std::string baseFolder() {
    std::string dir = qk::platform::tempFolder();
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    return dir;
}
}  // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = "qktest-";
        std::uint64_t r = random() + counter++;
        for (int i = 0; i < 6; ++i, r /= 36) name += kDigits[r % 36];
        const std::string candidate = baseFolder() + qk::platform::kPathSeparator + name;
        std::error_code ec;
        if (std::filesystem::create_directory(std::filesystem::u8path(candidate), ec)) {  // false when it exists
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::u8path(path_), ec);
}

std::string TempDir::file(std::string_view name) const { return join(path_, name); }

std::string join(const std::string& folder, std::string_view name) {
    return folder + qk::platform::kPathSeparator + std::string(name);
}

void writeFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readFile(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

}  // namespace qktest
