#include "app/config/ProfileFile.h"

#include "app/config/FileStore.h"
#include "app/config/ProfileDocument.h"
#include "weighing/NumberText.h"

#include <string_view>
#include <utility>

namespace kelvora {

namespace {

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t") + 1 - begin);
}

// Names that would read back as something else, or break the line structure, are refused up front.
void checkNames(const std::string& section, const std::string& key, const std::string& value) {
    const std::string_view sectionName = trimmed(section);
    const std::string_view keyName = trimmed(key);
    if (sectionName.empty() || hasLineBreak(section) || sectionName.find(']') != std::string_view::npos) {
        throw ProfileValueError("'" + section + "' is not a valid section name");
    }
    if (keyName.empty() || hasLineBreak(key) || keyName.find('=') != std::string_view::npos || keyName.front() == '[' ||
        keyName.front() == ';') {
        throw ProfileValueError("'" + key + "' is not a valid key name");
    }
    if (hasLineBreak(value)) {
        throw ProfileValueError("The value of " + section + "/" + key + " must be a single line");
    }
}

} // namespace

ProfileFile::ProfileFile(std::string path) : m_path(std::move(path)) {}

std::optional<std::string> ProfileFile::readText(const std::string& section, const std::string& key) const {
    const FileStore::ReadResult file = FileStore::read(m_path);
    if (file.status != FileStore::ReadStatus::Ok) {
        return std::nullopt;
    }
    return ProfileDocument::parse(file.bytes).value(section, key);
}

std::string ProfileFile::readString(const std::string& section, const std::string& key,
                                    const std::string& fallback) const {
    return readText(section, key).value_or(fallback);
}

std::optional<std::int32_t> ProfileFile::parseInteger(const std::string& text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        std::uint64_t value = 0;
        for (std::size_t i = 2; i < text.size(); ++i) {
            const int digit = NumberText::hexDigit(text[i]);
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFu) {
                return std::nullopt;
            }
        }
        // Eight hex digits fill the 32 bits, so 0xFFFFFFFF is -1 as a colour value would be.
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }
    return NumberText::parseInteger(text);
}

std::int32_t ProfileFile::readInteger(const std::string& section, const std::string& key, std::int32_t fallback) const {
    const std::optional<std::string> text = readText(section, key);
    if (!text) {
        return fallback;
    }
    return parseInteger(*text).value_or(fallback);
}

bool ProfileFile::readBool(const std::string& section, const std::string& key, bool fallback) const {
    return readInteger(section, key, fallback ? 1 : 0) != 0;
}

double ProfileFile::readFloat(const std::string& section, const std::string& key, double fallback) const {
    const std::optional<std::string> text = readText(section, key);
    if (!text) {
        return fallback;
    }
    return NumberText::parseFloat(*text).value_or(fallback);
}

void ProfileFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
    checkNames(section, key, value);
    const FileStore::ReadResult file = FileStore::read(m_path);
    // A file that exists but cannot be read must not be replaced by one holding only the new key.
    if (file.status == FileStore::ReadStatus::Failed) {
        throw ProfileWriteError("Unable to write to " + m_path);
    }
    ProfileDocument document = ProfileDocument::parse(file.bytes);
    if (!document.setValue(section, key, value)) {
        throw ProfileValueError("[" + section + "] " + key + "=" + value + " cannot be written to " + m_path + " in " +
                                (document.isUtf8() ? "UTF-8" : "GBK"));
    }
    if (!FileStore::replace(m_path, document.serialize())) {
        throw ProfileWriteError("Unable to write to " + m_path);
    }
}

void ProfileFile::writeInteger(const std::string& section, const std::string& key, std::int64_t value) {
    writeString(section, key, std::to_string(value));
}

void ProfileFile::writeBool(const std::string& section, const std::string& key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

} // namespace kelvora
