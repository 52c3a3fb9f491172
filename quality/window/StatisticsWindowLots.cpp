// The statistics window's lots: the inspection readiness of the lot shown, the lots of a range, and where
// the window goes on the screen.
#include "quality/window/StatisticsWindow.h"

#include <algorithm>

#include <QHeaderView>

namespace kelvora {

namespace {

QString number(double value, int decimals) {
    return QString::number(value, 'f', decimals);
}

QString percent(double share) {
    return number(share * 100.0, 1) + u'%';
}

} // namespace

QWidget* StatisticsWindow::buildLotsTable() {
    m_lots = new QTableWidget(0, 5, this);
    m_lots->setObjectName(QStringLiteral("lotsTable"));
    m_lots->setHorizontalHeaderLabels({QStringLiteral("型号"), QStringLiteral("批"), QStringLiteral("件数"),
                                       QStringLiteral("判定"), QStringLiteral("抽检通过")});
    m_lots->verticalHeader()->hide();
    m_lots->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_lots->horizontalHeader()->setStretchLastSection(true);
    return m_lots;
}

void StatisticsWindow::showLots(const std::vector<LotReport>& lots) {
    m_lots->setRowCount(static_cast<int>(lots.size()));
    for (int row = 0; row < static_cast<int>(lots.size()); ++row) {
        const LotReport& lot = lots[static_cast<std::size_t>(row)];
        const QString cells[] = {lot.model, lot.lotNumber.isEmpty() ? lot.period : lot.period + u' ' + lot.lotNumber,
                                 QString::number(lot.weights.count()), lot.verdictText(),
                                 lot.readiness ? percent(lot.readiness->passProbability) : QStringLiteral("—")};
        for (int column = 0; column < 5; ++column) {
            auto* item = new QTableWidgetItem(cells[column]);
            if (column == 3 && lot.quantity && !lot.quantity->passes())
                item->setForeground(Qt::red);
            m_lots->setItem(row, column, item);
        }
    }
    m_lots->resizeColumnsToContents();
}

QString StatisticsWindow::lotsText() const {
    QString text;
    for (int row = 0; row < m_lots->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < m_lots->columnCount(); ++column)
            cells << m_lots->item(row, column)->text();
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

void StatisticsWindow::refreshReadiness() {
    const BatchQuality& batch = *m_shown->batch;
    const auto readiness = batch.readiness();
    if (!readiness) {
        m_readiness->setText(batch.quantity() ? QStringLiteral("官方抽检：还没有合格出线的产品")
                                              : QStringLiteral("官方抽检：不适用"));
        return;
    }
    const InspectionPlan& plan = readiness->plan;
    const QString sample = plan.wholeLot ? QStringLiteral("全检%1件").arg(plan.first)
                                         : QStringLiteral("抽样%1件").arg(plan.first + plan.second);
    QString text = QStringLiteral("官方抽检（%1，%2）：通过概率%3")
                       .arg(QString::fromStdString(regimeName(batch.settings().regime)), sample,
                            percent(readiness->passProbability));
    if (plan.meanTest)
        text += QStringLiteral("，均值检验通过%1").arg(percent(readiness->meanTestProbability));
    const double saving = readiness->savingPerPack;
    text += QStringLiteral("。按现有离散度，目标均值可设为%1 g（99%通过），").arg(number(readiness->minTargetMean, 1));
    text += saving >= 0.0 ? QStringLiteral("每包少给%1 g，每千包%2 kg。").arg(number(saving, 1), number(saving, 2))
                          : QStringLiteral("须提高%1 g。").arg(number(-saving, 1));
    m_readiness->setText(text);
    m_readiness->setProperty("passProbability", readiness->passProbability);
}

QRect StatisticsWindow::placeBeside(const QRect& screen, const QRect& avoid, const QSize& preferred,
                                    const QSize& minimum) {
    const QRect blocked = avoid.intersected(screen);
    // The free bands beside the lamps: left, right, above, below; the one with the most room wins.
    const QRect bands[] = {
        QRect(screen.left(), screen.top(), blocked.left() - screen.left(), screen.height()),
        QRect(blocked.right() + 1, screen.top(), screen.right() - blocked.right(), screen.height()),
        QRect(screen.left(), screen.top(), screen.width(), blocked.top() - screen.top()),
        QRect(screen.left(), blocked.bottom() + 1, screen.width(), screen.bottom() - blocked.bottom()),
    };
    QRect room = screen;
    if (!blocked.isEmpty()) {
        const auto area = [](const QRect& r) {
            return r.width() > 0 && r.height() > 0 ? static_cast<long long>(r.width()) * r.height() : 0LL;
        };
        room = *std::max_element(std::begin(bands), std::end(bands),
                                 [&](const QRect& a, const QRect& b) { return area(a) < area(b); });
    }
    const QSize size(std::max(minimum.width(), std::min(preferred.width(), room.width())),
                     std::max(minimum.height(), std::min(preferred.height(), room.height())));
    // Against the lamps' side of the room, so that the rest of the main window stays in view.
    const int x =
        room.left() == screen.left() && room.right() < screen.right() ? room.right() + 1 - size.width() : room.left();
    return QRect(QPoint(std::max(screen.left(), x), room.top()), size);
}

} // namespace kelvora
