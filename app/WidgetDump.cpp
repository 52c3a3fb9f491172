#include "app/WidgetDump.h"

#include "ui/LampShape.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace kelvora {

std::string WidgetDump::jsonStrings(const QStringList& texts) {
    std::string json = "[";
    for (qsizetype i = 0; i < texts.size(); ++i) {
        json += (i == 0 ? "\"" : ",\"") + TraceWriter::escape(texts.at(i).toStdString()) + "\"";
    }
    return json + "]";
}

QString WidgetDump::text(const QWidget& widget) {
    const QWidget* w = &widget;
    if (auto* edit = qobject_cast<const QLineEdit*>(w)) {
        return edit->text();
    }
    if (auto* box = qobject_cast<const QComboBox*>(w)) {
        return box->currentText();
    }
    if (auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (auto* picker = qobject_cast<const QDateTimeEdit*>(w)) {
        return picker->text();
    }
    if (auto* memo = qobject_cast<const QPlainTextEdit*>(w)) {
        return memo->toPlainText();
    }
    if (auto* rich = qobject_cast<const QTextEdit*>(w)) {
        return rich->toPlainText();
    }
    return widget.windowTitle();
}

void WidgetDump::write(TraceWriter::Line& line, const QWidget& widget, const QWidget& window) {
    line.add("text", text(widget).toStdString())
        .add("visible", widget.isVisibleTo(&window))
        .add("enabled", widget.isEnabled());
    const QWidget* w = &widget;
    if (auto* box = qobject_cast<const QComboBox*>(w)) {
        QStringList items;
        for (int i = 0; i < box->count(); ++i) {
            items << box->itemText(i);
        }
        line.addRaw("items", jsonStrings(items));
    } else if (auto* lamp = qobject_cast<const LampShape*>(w)) {
        line.add("color", lamp->colorName().toStdString());
    } else if (auto* view = qobject_cast<const QAbstractItemView*>(w); view != nullptr && view->model() != nullptr) {
        const QAbstractItemModel* model = view->model();
        std::string rows = "[";
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column) {
                cells << model->index(row, column).data().toString();
            }
            rows += (row == 0 ? "" : ",") + jsonStrings(cells);
        }
        line.addRaw("rows", rows + "]");
    }
}

} // namespace kelvora
