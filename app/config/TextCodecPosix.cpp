#include "app/config/TextCodec.h"

#include <cerrno>
#include <iconv.h>

namespace kelvora {

namespace {

// Windows code page 936: GBK plus the euro sign at 0x80.
constexpr const char* kAnsiCodePage = "CP936";

class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : m_handle(iconv_open(to, from)) {}
    ~IconvHandle() {
        if (valid()) {
            iconv_close(m_handle);
        }
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;

    bool valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_handle; }

private:
    iconv_t m_handle;
};

// Runs one conversion; the output grows on E2BIG and a final flush call ends any pending shift state.
std::optional<std::string> convert(std::string_view input, const char* to, const char* from) {
    IconvHandle handle(to, from);
    if (!handle.valid()) {
        return std::nullopt;
    }
    std::string output(input.size() * 2 + 16, '\0');
    std::size_t used = 0;
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    bool flushing = false;
    for (;;) {
        char* out = output.data() + used;
        std::size_t outLeft = output.size() - used;
        const std::size_t result = flushing ? iconv(handle.get(), nullptr, nullptr, &out, &outLeft)
                                            : iconv(handle.get(), &in, &inLeft, &out, &outLeft);
        used = output.size() - outLeft;
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing) {
                break;
            }
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            // EILSEQ: invalid input or no mapping; EINVAL: the input ends inside a character.
            return std::nullopt;
        }
        output.resize(output.size() * 2);
    }
    output.resize(used);
    return output;
}

} // namespace

std::optional<std::string> TextCodec::gbkToUtf8(std::string_view gbk) {
    return convert(gbk, "UTF-8", kAnsiCodePage);
}

std::optional<std::string> TextCodec::utf8ToGbk(std::string_view utf8) {
    if (!isValidUtf8(utf8)) {
        return std::nullopt;
    }
    return convert(utf8, kAnsiCodePage, "UTF-8");
}

} // namespace kelvora
