#include "comm/CustomBaudRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace kelvora {

bool setCustomBaudRate(int handle, std::uint32_t rate) {
    termios2 t{};
    if (ioctl(handle, TCGETS2, &t) != 0) {
        return false;
    }
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    return ioctl(handle, TCSETS2, &t) == 0;
}

std::uint32_t currentBaudRate(int handle) {
    termios2 t{};
    if (ioctl(handle, TCGETS2, &t) != 0) {
        return 0;
    }
    return t.c_ospeed;
}

} // namespace kelvora
