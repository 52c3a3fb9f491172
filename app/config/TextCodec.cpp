#include "app/config/TextCodec.h"

namespace kelvora {

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the sequence led by c, or 0 for a byte that cannot lead one.
std::size_t sequenceLength(unsigned char c) {
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        return 4;
    }
    return 0;
}

} // namespace

bool TextCodec::isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = sequenceLength(lead);
        if (length == 0 || i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (!isContinuation(static_cast<unsigned char>(bytes[i + k]))) {
                return false;
            }
        }
        if (length > 2) {
            // The second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) || (lead == 0xF0 && second < 0x90) ||
                (lead == 0xF4 && second > 0x8F)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool TextCodec::hasNonAscii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

} // namespace kelvora
