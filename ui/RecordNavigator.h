#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QToolButton>
#include <QWidget>

namespace kelvora {

class DataSource;

/// The record navigator (`RzDBNavigator1`): ten buttons acting on a DataSource's query, each with its
/// hint: 第一条, 上一条, 下一条, 最后一条 move; 添加 inserts a row and edits it; 删除 asks "Delete selected
/// record?" (OK / Cancel) and deletes the current row on OK; 编辑 starts an edit; 更新 writes the row in
/// editing; 取消 drops its changes; 刷新 re-reads the rows, staying on the same row number. A button is
/// enabled when its action can apply; failures go to the standard error box.
class RecordNavigator : public QWidget {
    Q_OBJECT
public:
    enum class Action { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };

    explicit RecordNavigator(QWidget* parent = nullptr);

    void setDataSource(DataSource& source);

    /// The button with that hint, or nullptr.
    QToolButton* button(const QString& hint) const;
    QToolButton* button(Action action) const { return m_buttons[static_cast<int>(action)]; }
    static QString hint(Action action);

    /// What a press of the button does (also when it is disabled).
    void press(Action action);

private:
    void apply(Action action);
    void updateButtons();

    QPointer<DataSource> m_source; // the source may go before the view
    QList<QToolButton*> m_buttons;
};

} // namespace kelvora
