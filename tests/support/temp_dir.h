// A fresh folder under the temporary folder, removed with everything in it.
#pragma once

#include <string>
#include <string_view>

namespace qktest {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);  // empty when missing
bool exists(const std::string& path);

}  // namespace qktest
