#pragma once

#include "tests/support/TestPaths.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace kelvora::test {

/// A fixture with a fresh directory per test (a TempDir), removed afterwards, and an Option.ini path in it.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_tmp = std::make_unique<TempDir>();
        m_dir = m_tmp->path();
        m_ini = (m_dir / "Option.ini").string();
    }

    void TearDown() override { m_tmp.reset(); }

    void writeBytes(std::string_view bytes) const { writeBytes(m_ini, bytes); }

    static void writeBytes(const std::string& path, std::string_view bytes) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::string readBytes() const {
        std::ifstream in(m_ini, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    std::unique_ptr<TempDir> m_tmp;
    std::filesystem::path m_dir;
    std::string m_ini;
};

} // namespace kelvora::test
