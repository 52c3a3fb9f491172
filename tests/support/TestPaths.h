#pragma once

#include <string>

namespace kelvora::test {

/// The source tree's root (from KELVORA_SOURCE_DIR, set by CTest).
std::string sourceDir();
/// The folder of the built programs (from KELVORA_BIN_DIR, set by CTest).
std::string binDir();
/// A fresh empty directory under the system's temporary folder, removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace kelvora::test
