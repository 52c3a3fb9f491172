#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

/// Whole-file reads and crash-safe whole-file replacement for small settings files.
class FileStore {
public:
    enum class ReadStatus { Ok, Missing, Failed };

    struct ReadResult {
        ReadStatus status = ReadStatus::Missing;
        std::string bytes;
    };

    /// Reads the whole file. Missing: no such file (or a path component is missing); Failed: it exists but
    /// cannot be read, or is not a regular file.
    static ReadResult read(const std::string& path);

    /// Replaces the file's contents with bytes, creating the file when it is missing: writes a temporary
    /// file in the same directory, flushes it to disk and renames it over the target, so a crash leaves
    /// either the old or the new contents. An existing file keeps its permission bits; a symbolic link is
    /// followed and its target replaced. Returns false, leaving the file as it was, when the file exists
    /// without any write permission (root included), or when the directory or the disk refuses the write.
    static bool replace(const std::string& path, std::string_view bytes);
};

} // namespace kelvora
