#include "weighing/GbkText.h"

namespace kelvora {

namespace {

std::size_t characterLength(std::string_view bytes, std::size_t at) {
    auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead >= 0x81 && lead <= 0xFE && at + 1 < bytes.size()) {
        auto trail = static_cast<unsigned char>(bytes[at + 1]);
        if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
            return 2;
        }
    }
    return 1;
}

} // namespace

std::string GbkText::copy(std::string_view bytes, std::ptrdiff_t start, std::size_t count) {
    std::size_t at = 0;
    for (std::ptrdiff_t position = 1; position < start && at < bytes.size(); ++position) {
        at += characterLength(bytes, at);
    }
    std::size_t begin = at;
    for (std::size_t taken = 0; taken < count && at < bytes.size(); ++taken) {
        at += characterLength(bytes, at);
    }
    return std::string(bytes.substr(begin, at - begin));
}

} // namespace kelvora
