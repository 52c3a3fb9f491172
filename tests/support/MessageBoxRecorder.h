#pragma once

#include "ui/MessageBox.h"

#include <deque>
#include <vector>

namespace kelvora::test {

/// While alive, answers every message box at once and keeps what it asked: the queued answers first,
/// then each box's default button.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    /// The answer to a coming box, in order.
    void answer(MessageBox::Button button) { m_answers.push_back(button); }

    std::vector<MessageBox::Request> boxes;

private:
    std::deque<MessageBox::Button> m_answers;
};

} // namespace kelvora::test
