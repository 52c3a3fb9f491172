#include "app/RunAudit.h"

#include "data/AuditTrail.h"
#include "ui/WindowHandler.h"
#include "weighing/NumberText.h"

#include <QTimer>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

QString offsetText(double offset) {
    return QString::fromStdString(NumberText::formatWeight(offset));
}

} // namespace

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

void RunAudit::post(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
                    const QString& note) {
    if (!AuditTrail::configured())
        return;
    // After the step: the core's steps call their host in the middle of their work.
    QTimer::singleShot(0, this,
                       [=] { runWindowHandler([&] { AuditTrail::write(event, object, oldValue, newValue, note); }); });
}

} // namespace kelvora
