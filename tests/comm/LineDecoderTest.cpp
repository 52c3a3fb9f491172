#include "comm/LineDecoder.h"

#include "comm/CommTypes.h"

#include <string>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

struct Decoded {
    std::string data;
    std::uint32_t errors = 0;
};

Decoded decode(LineDecoder& decoder, const std::string& input, const ReceiveOptions& options = {}, bool dsrOn = true) {
    Decoded result;
    std::string out(input.size(), '\0');
    const auto n = decoder.decode(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(),
                                  reinterpret_cast<std::uint8_t*>(out.data()), options, dsrOn, result.errors);
    result.data = out.substr(0, n);
    return result;
}

TEST(LineDecoder, MarksBecomeFlagsAndDoubledFFsOneByte) {
    LineDecoder decoder;
    const auto plain = decode(decoder, std::string("a\xFF\xFF"
                                                   "b",
                                                   4));
    EXPECT_EQ(plain.data, "a\xFF"
                          "b");
    EXPECT_EQ(plain.errors, 0u);

    const auto framing = decode(decoder, std::string("x\xFF\x00y", 4));
    EXPECT_EQ(framing.data, "xy");
    EXPECT_EQ(framing.errors, CE_FRAME);

    const auto brk = decode(decoder, std::string("\xFF\x00\x00z", 4));
    EXPECT_EQ(brk.data, "z");
    EXPECT_EQ(brk.errors, CE_BREAK);
}

TEST(LineDecoder, MarkSplitOverReadsIsStillOneMark) {
    LineDecoder decoder;
    ReceiveOptions parity;
    parity.parityCheck = true;
    parity.parityEnabled = true;
    parity.replaceParityErrors = true;
    parity.replacedChar = '?';
    const auto first = decode(decoder, "ab\xFF", parity);
    EXPECT_EQ(first.data, "ab");
    const auto second = decode(decoder, std::string("\x00", 1), parity);
    EXPECT_EQ(second.data, "");
    const auto third = decode(decoder, "cd", parity);
    EXPECT_EQ(third.data, "?d");
    EXPECT_EQ(third.errors, CE_RXPARITY);

    const auto split = decode(decoder, "\xFF", parity);
    EXPECT_EQ(decode(decoder,
                     "\xFF"
                     "e",
                     parity)
                  .data,
              "\xFF"
              "e");
    EXPECT_EQ(split.data, "");
}

TEST(LineDecoder, NullAndDsrFiltering) {
    LineDecoder decoder;
    ReceiveOptions options;
    options.ignoreNullChar = true;
    EXPECT_EQ(decode(decoder, std::string("a\0b", 3), options).data, "ab");
    options.ignoreNullChar = false;
    options.dsrSensitivity = true;
    EXPECT_EQ(decode(decoder, "lost", options, false).data, "");
    EXPECT_EQ(decode(decoder, "kept", options, true).data, "kept");
}

} // namespace
} // namespace kelvora
