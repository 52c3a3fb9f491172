#include "tests/support/MessageBoxRecorder.h"

namespace kelvora::test {

MessageBoxRecorder::MessageBoxRecorder() {
    MessageBox::setAnswerer([this](const MessageBox::Request& request) {
        boxes.push_back(request);
        if (m_answers.empty()) {
            return MessageBox::defaultAnswer(request);
        }
        const MessageBox::Button answer = m_answers.front();
        m_answers.pop_front();
        return answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    MessageBox::setAnswerer({});
}

} // namespace kelvora::test
