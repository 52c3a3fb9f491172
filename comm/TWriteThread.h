#pragma once

#include "comm/Block.h"
#include "comm/NotifyPoster.h"
#include "comm/SendQueue.h"
#include "comm/SerialPort.h"
#include "comm/WorkerThread.h"

#include <memory>

namespace kelvora {

/// The writer: takes the blocks of its queue in order and writes each whole to the port, waiting for the
/// line (XOFF, a full driver queue) together with StopEvent. Posts MsgSendDataEmpty when it first finds
/// its queue empty and then each time it finds it empty after having written. It ends on StopEvent
/// without a notification (queued blocks dropped unsent), on a closed handle without a notification, and
/// on any other failure (a write error, a write time-out) after posting one MsgRequestHangup; from then
/// on Post refuses blocks.
class TWriteThread : public WorkerThread {
public:
    /// Throws std::bad_alloc or std::system_error when its queue cannot be set up.
    TWriteThread(std::shared_ptr<SerialPort> PortHandle, std::shared_ptr<WaitableEvent> StopEvent,
                 std::shared_ptr<NotifyPoster> NotifyWindow);
    ~TWriteThread() override;

    /// Starts writing; throws std::system_error when the thread cannot be created.
    void Start();
    /// Hands a block over for sending, without waiting; false when the writer has ended.
    bool Post(Block block);

private:
    std::shared_ptr<SerialPort> PortHandle;
    std::shared_ptr<WaitableEvent> StopEvent;
    std::shared_ptr<NotifyPoster> NotifyWindow;
    std::shared_ptr<SendQueue> m_queue;
};

} // namespace kelvora
