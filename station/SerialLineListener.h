#pragma once

#include "station/IndicatorDetector.h"

#include <memory>
#include <string>

namespace kelvora {

class SerialPort;
class WaitableEvent;

/// Listens on a serial port for the detector: opened on the first listen (exclusively, so it fails
/// while the station has the port open), set to each choice with its input dropped, and only read from
/// (no flow control, so not even XOFF is sent). Parity is checked: a byte with a parity or framing error
/// is handed on as 0xFF, which no indicator's frame holds.
class SerialLineListener : public LineListener {
public:
    explicit SerialLineListener(std::string path);
    ~SerialLineListener() override;

    void listen(const LineChoice& choice, std::chrono::milliseconds window,
                const std::function<bool(std::string_view)>& bytes) override;
    /// From any thread: the listening under way and every later one end at once.
    void cancel();

    /// The driver's error marks (0xFF 0x00 X for a byte in error, 0xFF 0xFF for 0xFF) taken out of input:
    /// each becomes one 0xFF. pending holds a mark cut by the end of input between calls.
    static std::string unmark(std::string_view input, std::string& pending);

private:
    std::string m_path;
    std::shared_ptr<SerialPort> m_port;
    std::shared_ptr<WaitableEvent> m_stop;
    std::string m_marked; ///< the start of an error mark cut by the read
};

} // namespace kelvora
