#include "comm/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace kelvora {

namespace {

namespace fs = std::filesystem;

// Names compared with their trailing numbers as numbers.
bool naturalLess(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        std::size_t digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1])))
            --digits;
        const std::string number = s.substr(digits);
        return std::pair{s.substr(0, digits), number.empty() ? -1L : std::stol(number.substr(0, 9))};
    };
    return split(a) < split(b);
}

std::vector<std::string> entriesStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size())
            names.push_back(name);
    }
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

// A 16550-type port without hardware reports the UART type 0 (unknown).
bool hasUart(const fs::path& sysRoot, const std::string& name) {
    std::ifstream type(sysRoot / "class" / "tty" / name / "type");
    int value = 0;
    return type >> value && value != 0;
}

} // namespace

std::vector<std::string> serialDevices(const std::string& devRoot, const std::string& sysRoot) {
    const fs::path dev(devRoot);
    std::vector<std::string> devices;
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const std::string& name : entriesStartingWith(dev, prefix))
            devices.push_back((dev / name).string());
    for (const std::string& name : entriesStartingWith(dev, "ttyS"))
        if (hasUart(sysRoot, name))
            devices.push_back((dev / name).string());
    std::vector<std::string> stable;
    std::error_code error;
    for (fs::directory_iterator it(dev / "serial" / "by-id", error), end; !error && it != end; it.increment(error))
        stable.push_back(it->path().string());
    std::sort(stable.begin(), stable.end());
    devices.insert(devices.end(), stable.begin(), stable.end());
    return devices;
}

} // namespace kelvora
