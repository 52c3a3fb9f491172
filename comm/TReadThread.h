#pragma once

#include "comm/NotifyPoster.h"
#include "comm/SerialPort.h"
#include "comm/WorkerThread.h"

#include <memory>

namespace kelvora {

/// The reader: while the port is open it keeps reading, cuts the input into chunks (at most 128 bytes,
/// ended early by a gap longer than the port's ReadIntervalTimeout once a byte has arrived) and posts
/// each chunk, followed by a zero byte, as MsgDataReceived. Line errors become MsgReceiveError and
/// carrier or ring changes MsgModemStateChange (where the driver reports them; a pseudo-terminal does
/// not). It ends on StopEvent without a notification, on a closed handle without a notification, and on
/// any other failure (the device gone among them) after posting one MsgRequestHangup. Bytes read before
/// a failure are delivered first; a partial chunk is dropped on a stop.
class TReadThread : public WorkerThread {
public:
    TReadThread(std::shared_ptr<SerialPort> PortHandle, std::shared_ptr<WaitableEvent> StopEvent,
                std::shared_ptr<NotifyPoster> NotifyWindow);

    /// Starts reading; throws std::system_error when the thread cannot be created.
    void Start();

private:
    std::shared_ptr<SerialPort> PortHandle;
    std::shared_ptr<WaitableEvent> StopEvent;
    std::shared_ptr<NotifyPoster> NotifyWindow;
};

} // namespace kelvora
