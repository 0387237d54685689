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
    // `name` in the folder, joined with the platform's separator.
    std::string file(std::string_view name) const;

private:
    std::string path_;
};

// `name` in `folder`, joined with the platform's separator.
std::string join(const std::string& folder, std::string_view name);

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);  // empty when missing
bool exists(const std::string& path);

}  // namespace qktest
