#include "comm/SerialPortList.h"

#include "tests/support/TestPaths.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path, const std::string& content = {}) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << content;
}

TEST(SerialPortList, AdaptersThenUartsThatAnswerThenStableNames) {
    test::TempDir root;
    const fs::path dev = fs::path(root.path()) / "dev";
    const fs::path sys = fs::path(root.path()) / "sys";
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS2", "tty0", "ttyUSB"})
        touch(dev / name);
    touch(sys / "class/tty/ttyS0/type", "4\n");
    touch(sys / "class/tty/ttyS1/type", "0\n"); // no UART behind it
    touch(dev / "serial/by-id/usb-FTDI_FT232R-if00-port0");

    const std::string d = dev.string();
    EXPECT_EQ(serialDevices(d, sys.string()),
              (std::vector<std::string>{d + "/ttyUSB2", d + "/ttyUSB10", d + "/ttyACM0", d + "/ttyS0",
                                        d + "/serial/by-id/usb-FTDI_FT232R-if00-port0"}));
}

TEST(SerialPortList, AMissingFolderListsNothing) {
    EXPECT_TRUE(serialDevices("/nonexistent/dev", "/nonexistent/sys").empty());
}

} // namespace
} // namespace kelvora
