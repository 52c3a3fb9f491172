#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace kelvora::test {

/// A fresh directory per test, removed afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kelvora-ini-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_ini = (m_dir / "Option.ini").string();
    }

    void TearDown() override {
        std::error_code ignored;
        std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(m_dir, ignored);
    }

    void writeBytes(std::string_view bytes) const { writeBytes(m_ini, bytes); }

    static void writeBytes(const std::string& path, std::string_view bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string readBytes() const {
        std::ifstream in(m_ini, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::filesystem::path m_dir;
    std::string m_ini;
};

} // namespace kelvora::test
