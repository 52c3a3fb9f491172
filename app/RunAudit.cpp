#include "app/RunAudit.h"

#include "data/ConnectionTarget.h"
#include "data/DatabaseError.h"
#include "ui/WindowHandler.h"
#include "weighing/NumberText.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

QString offsetText(double offset) {
    return QString::fromStdString(NumberText::formatWeight(offset));
}

constexpr std::chrono::seconds kRetryDelay{5};

} // namespace

RunAudit::~RunAudit() {
    std::unique_lock lock(m_mutex);
    if (!m_thread.joinable())
        return;
    m_wake.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs), [this] { return m_queue.empty(); });
    m_stop = true;
    lock.unlock();
    m_wake.notify_all();
    m_thread.join();
}

void RunAudit::started(bool continued, const Run& run) {
    post(continued ? audit_event::kContinue : audit_event::kStart, run.model, {},
         u"标准值 %1，上限值 %2，下限值 %3"_s.arg(run.standard, run.upper, run.lower),
         run.lot.isEmpty() ? QString() : u"批号 "_s + run.lot);
}

void RunAudit::stopped(const QString& model, int productCount) {
    post(audit_event::kStop, model, {}, {}, u"本批已计 %1 个产品"_s.arg(productCount));
}

void RunAudit::zeroed(double oldOffset, double newOffset) {
    post(audit_event::kZero, u"零点"_s, offsetText(oldOffset), offsetText(newOffset), {});
}

void RunAudit::indicatorSilent(bool silent) {
    post(silent ? audit_event::kIndicatorSilent : audit_event::kIndicatorBack, u"仪表"_s, {}, {}, {});
}

void RunAudit::portFailed(const QString& port, const QString& reason) {
    post(audit_event::kPortFailure, port, {}, {}, reason);
}

void RunAudit::setBatchValues(const QString& count, const QString& reminder) {
    m_batchCount = count;
    m_batchReminder = reminder;
}

void RunAudit::batchValues(const QString& count, const QString& reminder) {
    if (count != m_batchCount)
        post(audit_event::kBatch, u"批次条数值"_s, m_batchCount, count, {});
    if (reminder != m_batchReminder)
        post(audit_event::kBatch, u"批次提醒值"_s, m_batchReminder, reminder, {});
    setBatchValues(count, reminder);
}

std::size_t RunAudit::waiting() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

void RunAudit::post(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
                    const QString& note) {
    AuditTrail* trail = AuditTrail::configured();
    if (!trail)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(
            {{event, object, oldValue, newValue, note},
             QDateTime::currentDateTime(),
             trail->operatorName(),
             trail->connection().ConnectionString().isEmpty() ? mainDatabase() : trail->connection().ConnectionString(),
             trail->station()});
        if (!m_thread.joinable())
            m_thread = std::thread([this] { work(); });
    }
    m_wake.notify_all();
}

void RunAudit::work() {
    std::unique_ptr<AuditTrail> trail; // the thread's own connection, made and closed here
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const Pending pending = m_queue.front();
        lock.unlock();
        const bool written = write(trail, pending);
        lock.lock();
        if (written) {
            m_queue.pop_front();
            m_wake.notify_all(); // the close waits for an empty queue
        } else {
            m_wake.wait_for(lock, kRetryDelay, [this] { return m_stop; });
        }
    }
}

bool RunAudit::write(std::unique_ptr<AuditTrail>& trail, const Pending& pending) {
    try {
        if (!trail || trail->connection().ConnectionString() != pending.target || trail->station() != pending.station)
            trail = std::make_unique<AuditTrail>(pending.target, pending.station);
        trail->setOperator(pending.operatorName);
        trail->record({pending.event}, pending.time);
        std::lock_guard lock(m_mutex);
        m_failing = false;
        return true;
    } catch (const std::exception& error) {
        std::lock_guard lock(m_mutex);
        if (!m_failing) {
            m_failing = true;
            const QString text =
                QString::fromUtf8(error.what()) + u"\n称重照常进行；这条及以后的运行记录暂存在内存中，稍后自动重试。"_s;
            QMetaObject::invokeMethod(
                this, [text] { runWindowHandler([&] { throw DatabaseError(text); }); }, Qt::QueuedConnection);
        }
        return false;
    }
}

} // namespace kelvora
