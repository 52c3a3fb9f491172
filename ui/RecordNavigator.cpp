#include "ui/RecordNavigator.h"

#include "data/TADOQuery.h"
#include "ui/DataSource.h"
#include "ui/MessageBox.h"

#include <algorithm>
#include <array>

#include <QHBoxLayout>
#include <QStyle>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

struct ButtonLook {
    const char16_t* hint;
    const char* objectName;
    QStyle::StandardPixmap icon;
};

constexpr std::array<ButtonLook, 10> kButtons{{
    {u"第一条", "nbFirst", QStyle::SP_MediaSkipBackward},
    {u"上一条", "nbPrior", QStyle::SP_MediaSeekBackward},
    {u"下一条", "nbNext", QStyle::SP_MediaSeekForward},
    {u"最后一条", "nbLast", QStyle::SP_MediaSkipForward},
    {u"添加", "nbInsert", QStyle::SP_FileDialogNewFolder},
    {u"删除", "nbDelete", QStyle::SP_TrashIcon},
    {u"编辑", "nbEdit", QStyle::SP_FileDialogDetailedView},
    {u"更新", "nbPost", QStyle::SP_DialogApplyButton},
    {u"取消", "nbCancel", QStyle::SP_DialogCancelButton},
    {u"刷新", "nbRefresh", QStyle::SP_BrowserReload},
}};

} // namespace

RecordNavigator::RecordNavigator(QWidget* parent) : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int i = 0; i < static_cast<int>(kButtons.size()); ++i) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(kButtons[i].objectName));
        button->setToolTip(QString::fromUtf16(kButtons[i].hint));
        button->setIcon(style()->standardIcon(kButtons[i].icon));
        button->setAutoRaise(true);
        button->setFixedSize(32, 28);
        button->setEnabled(false);
        const auto action = static_cast<Action>(i);
        connect(button, &QToolButton::clicked, this, [this, action] { press(action); });
        layout->addWidget(button);
        m_buttons << button;
    }
}

QString RecordNavigator::hint(Action action) {
    return QString::fromUtf16(kButtons[static_cast<int>(action)].hint);
}

QToolButton* RecordNavigator::button(const QString& hint) const {
    for (QToolButton* button : m_buttons)
        if (button->toolTip() == hint)
            return button;
    return nullptr;
}

void RecordNavigator::setDataSource(DataSource& source) {
    m_source = &source;
    connect(&source, &DataSource::changed, this, &RecordNavigator::updateButtons);
    updateButtons();
}

void RecordNavigator::press(Action action) {
    if (!m_source)
        return;
    if (action == Action::Delete) {
        const MessageBox::Request confirm{u"Confirm"_s, u"Delete selected record?"_s, QMessageBox::Question,
                                          QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
        if (MessageBox::show(window(), confirm) != QMessageBox::Ok)
            return;
    }
    m_source->run([this, action] { apply(action); });
}

void RecordNavigator::apply(Action action) {
    TADOQuery& query = m_source->query();
    if (!query.Active())
        return;
    const int last = std::max(query.RecordCount() - 1, 0);
    switch (action) {
    case Action::First:
        query.setRecNo(0);
        break;
    case Action::Prior:
        query.setRecNo(std::max(query.RecNo() - 1, 0));
        break;
    case Action::Next:
        query.setRecNo(std::min(query.RecNo() + 1, last));
        break;
    case Action::Last:
        query.setRecNo(last);
        break;
    case Action::Insert:
        query.Insert();
        break;
    case Action::Delete:
        query.Delete();
        break;
    case Action::Edit:
        query.Edit();
        break;
    case Action::Post:
        query.Post();
        break;
    case Action::Cancel:
        query.Cancel();
        break;
    case Action::Refresh: {
        query.Post();
        const int row = query.RecNo();
        query.Close();
        query.Open();
        query.setRecNo(std::min(row, std::max(query.RecordCount() - 1, 0)));
        break;
    }
    }
}

void RecordNavigator::updateButtons() {
    const TADOQuery* query = m_source ? &m_source->query() : nullptr;
    const bool active = query && query->Active();
    const int rows = active ? query->RecordCount() : 0;
    const bool editing = active && query->state() != TADOQuery::State::Browse;
    const bool modifiable = active && query->CanModify();
    const int row = active ? query->RecNo() : 0;
    // Moving while editing writes the row first, as leaving it in the grid does.
    button(Action::First)->setEnabled(active && row > 0);
    button(Action::Prior)->setEnabled(active && row > 0);
    button(Action::Next)->setEnabled(active && row < rows - 1);
    button(Action::Last)->setEnabled(active && row < rows - 1);
    button(Action::Insert)->setEnabled(modifiable);
    button(Action::Delete)->setEnabled(modifiable && rows > 0);
    button(Action::Edit)->setEnabled(modifiable && !editing && rows > 0);
    button(Action::Post)->setEnabled(editing);
    button(Action::Cancel)->setEnabled(editing);
    button(Action::Refresh)->setEnabled(active);
}

} // namespace kelvora
