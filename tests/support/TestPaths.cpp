#include "tests/support/TestPaths.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace kelvora::test {

namespace {
std::string environment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        throw std::runtime_error(std::string(name) + " is not set; run the tests through ctest");
    }
    return value;
}
} // namespace

std::string sourceDir() {
    return environment("KELVORA_SOURCE_DIR");
}
std::string binDir() {
    return environment("KELVORA_BIN_DIR");
}

TempDir::TempDir() {
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("kelvora-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    // A test may have taken the write permission away to provoke a failure.
    std::error_code ignored;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

} // namespace kelvora::test
