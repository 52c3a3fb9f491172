#include "station/SerialLineListener.h"

#include "comm/SerialPort.h"

#include <stdexcept>

namespace kelvora {

SerialLineListener::SerialLineListener(std::string path) : m_path(std::move(path)), m_stop(WaitableEvent::create()) {
    if (!m_stop) {
        throw std::runtime_error("无法创建等待事件");
    }
}

void SerialLineListener::cancel() {
    m_stop->set();
}

SerialLineListener::~SerialLineListener() = default;

std::string SerialLineListener::unmark(std::string_view input, std::string& pending) {
    std::string text = pending + std::string(input);
    pending.clear();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\xFF') {
            out += text[i];
            continue;
        }
        const std::size_t need = i + 1 < text.size() && text[i + 1] == '\0' ? 3 : 2;
        if (i + need > text.size()) {
            pending = text.substr(i);
            break;
        }
        out += '\xFF';
        i += need - 1;
    }
    return out;
}

void SerialLineListener::listen(const LineChoice& choice, std::chrono::milliseconds window,
                                const std::function<bool(std::string_view)>& bytes) {
    if (m_stop->isSet()) {
        return;
    }
    if (!m_port && SerialPort::open(m_path, m_port) != SerialPort::OpenStatus::Opened) {
        throw std::runtime_error("无法打开串口 " + m_path + "：串口不存在或正被其他程序使用");
    }
    LineSettings settings;
    settings.BaudRate = choice.baud;
    settings.ByteSize = choice.dataBits == 7 ? TByteSize::_7 : TByteSize::_8;
    settings.Parity = choice.parity == ParityChoice::Even  ? TParity::Even
                      : choice.parity == ParityChoice::Odd ? TParity::Odd
                                                           : TParity::None;
    // Listening only: no flow control, so that nothing is ever sent (XOFF included).
    settings.Outx_CtsFlow = false;
    settings.Outx_DsrFlow = false;
    settings.ParityCheck = choice.parity != ParityChoice::None;
    if (!m_port->applySettings(settings)) {
        throw std::runtime_error("串口 " + m_path + " 不接受设置 " + choice.text());
    }
    m_port->purge(true, false);
    m_marked.clear();
    const auto deadline = std::chrono::steady_clock::now() + window;
    std::uint8_t buffer[256];
    while (true) {
        const WaitResult waited = m_port->wait(*m_stop, SerialPort::Direction::Read, nullptr, deadline);
        if (waited == WaitResult::TimedOut || waited == WaitResult::Stopped) {
            return;
        }
        if (waited != WaitResult::PortReady) {
            throw std::runtime_error("串口 " + m_path + " 读取失败");
        }
        const IoResult result = m_port->read(buffer, sizeof buffer);
        if (result.status == IoStatus::Done &&
            bytes(unmark(std::string_view(reinterpret_cast<const char*>(buffer), result.count), m_marked))) {
            return;
        }
        if (result.status != IoStatus::Done && result.status != IoStatus::WouldBlock) {
            // A pseudo-terminal with nobody on the other side reports the end; a real device's failure too.
            if (std::chrono::steady_clock::now() >= deadline) {
                return;
            }
            throw std::runtime_error("串口 " + m_path + " 读取失败");
        }
    }
}

} // namespace kelvora
