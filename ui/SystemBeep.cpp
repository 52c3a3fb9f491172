#include "ui/SystemBeep.h"

#include <utility>

#include <QApplication>

namespace kelvora {

namespace {
std::function<void()> g_handler;
} // namespace

void SystemBeep::beep() {
    if (g_handler) {
        g_handler();
    } else {
        QApplication::beep();
    }
}

void SystemBeep::setHandler(std::function<void()> handler) {
    g_handler = std::move(handler);
}

} // namespace kelvora
