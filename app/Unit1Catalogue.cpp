// The main window's model catalogue: choosing, adding, deleting and modifying models in XH. Names and
// values are bound parameters in every statement, so any name works and no typed text changes what a
// statement does.
#include "app/Unit1.h"
#include "app/config/StationConfig.h"
#include "data/AuditTrail.h"
#include "ui/MessageBox.h"
#include "ui_Unit1.h"
#include "users/Login.h"
#include "weighing/NumberText.h"

#include <exception>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// The notice of a model whose lower limit is less than twice the product threshold.
QString lowThresholdNotice(const QString& model, double lower, double threshold, const QString& unit) {
    const auto weight = [&](double value) -> QString {
        return QString::fromStdString(NumberText::formatWeight(value)) + u' ' + unit;
    };
    const QString text =
        u"型号“%1”的下限值 %2 不到产品下限值的两倍。\n"
        "严重欠装、比产品下限值（产品下限值 %3）还轻的包装不会被当作产品：称重台看不到它，它不经判定就通过。\n"
        "请在“设置”中调低产品下限值，使它明显低于型号的下限值（重新启动程序后生效）。"_s;
    return text.arg(model, weight(lower), weight(threshold));
}

// A model's row as the audit trail shows it ("标准值=16；上限值=20；下限值=12"); empty when there is none.
QString modelValues(TADOQuery& query, const QString& model) {
    query.Close();
    query.SQL.Clear();
    query.SQL.Add(u"select  *  from  xh  where  型号=:xh"_s);
    query.Parameters.ParamByName(u"xh"_s).Value = model;
    query.Open();
    QStringList values;
    if (!query.Eof())
        for (const QString& column : {u"标准值"_s, u"上限值"_s, u"下限值"_s})
            values << column + u'=' + query.FieldByName(column).AsString();
    query.Close();
    return values.join(u"；"_s);
}

// With accounts, limits must be in order; false (after saying why) when they are not.
bool limitsInOrder(const QString& standard, const QString& upper, const QString& lower, QString& refusal) {
    if (!TLoginfrm::accounts().enabled)
        return true;
    bool ok[3] = {false, false, false};
    const double s = standard.toDouble(&ok[0]);
    const double u = upper.toDouble(&ok[1]);
    const double l = lower.toDouble(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2])
        refusal = u"标准值、上限值和下限值必须是数字。"_s;
    else if (!(l <= s && s <= u))
        refusal = u"限值不合理：必须满足 下限值 ≤ 标准值 ≤ 上限值（现为 %1 / %2 / %3）。"_s.arg(lower, standard, upper);
    return refusal.isEmpty();
}

// With accounts, modifying and deleting a model ask first.
bool confirmed(QWidget* parent, const QString& text) {
    if (!TLoginfrm::accounts().enabled)
        return true;
    MessageBox::Request request;
    request.title = u"确认"_s;
    request.text = text;
    request.icon = QMessageBox::Question;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    return MessageBox::show(parent, request) == QMessageBox::Ok;
}

} // namespace

void TForm1::execute(const QString& statement, const std::vector<std::pair<QString, QString>>& parameters, bool rows) {
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(statement);
    for (const auto& [name, value] : parameters) {
        ADOQuery1.Parameters.ParamByName(name).Value = value;
    }
    rows ? ADOQuery1.Open() : ADOQuery1.ExecSQL();
}

void TForm1::ComboBox1Click() {
    execute(u"select  *  from  xh  where  型号=:xh"_s, {{u"xh"_s, modelName()}}, true);
    // A name without a row reads as zeros, as numeric columns read a missing value.
    const bool found = !ADOQuery1.Eof();
    auto value = [&](const QString& column) { return found ? ADOQuery1.FieldByName(column).AsFloat() : 0.0; };
    const double standard = value(u"标准值"_s);
    const double upper = value(u"上限值"_s);
    const double lower = value(u"下限值"_s);
    m_host.setText(Control::Et1, NumberText::formatWeight(standard));
    m_host.setText(Control::Et2, NumberText::formatWeight(upper));
    m_host.setText(Control::Et3, NumberText::formatWeight(lower));
    m_core.ModelSelected();
    // A pack lighter than the product threshold never starts a product: with a lower limit below twice
    // the threshold, a pack filled to half of it passes unseen. A notice, not a refusal.
    const double threshold = m_core.state().ProductThreshold;
    if (found && lower < 2 * threshold) {
        const bool grams = StationConfig::loadStatistics(iniPath().toStdString()).grams;
        showMessage(u"提示"_s, lowThresholdNotice(modelName(), lower, threshold, grams ? u"g"_s : u"kg"_s));
    }
}

void TForm1::BitBtn2Click() {
    Ui::TForm1& ui = *m_ui;
    const QString name = modelName();
    const QString standard = trimmed(ui.Et1->text());
    const QString upper = trimmed(ui.Et2->text());
    const QString lower = trimmed(ui.Et3->text());
    const std::pair<QString, QWidget*> missing[] = {{name.isEmpty() ? u"请输入型号！"_s : QString(), ui.ComboBox1},
                                                    {standard.isEmpty() ? u"请输入标准重量！"_s : QString(), ui.Et1},
                                                    {upper.isEmpty() ? u"请输入上限值！"_s : QString(), ui.Et2},
                                                    {lower.isEmpty() ? u"请输入下限值！"_s : QString(), ui.Et3}};
    for (const auto& [message, widget] : missing) {
        if (!message.isEmpty()) {
            showMessage(u"提示"_s, message);
            focusOn(widget);
            return;
        }
    }
    QString refusal;
    if (!limitsInOrder(standard, upper, lower, refusal)) {
        showMessage(u"提示"_s, refusal);
        return;
    }
    execute(u"Select  *  From  XH  Where  型号=:xh"_s, {{u"xh"_s, name}}, true);
    if (ADOQuery1.RecordCount() > 0) {
        showMessage(u"提示!"_s, u"已经存在此型号!"_s);
        return;
    }
    try {
        execute(u"Insert  Into  XH(型号,标准值,上限值,下限值)  values  (:xh,:A,:B,:C)"_s,
                {{u"xh"_s, name}, {u"A"_s, standard}, {u"B"_s, upper}, {u"C"_s, lower}}, false);
    } catch (const std::exception&) {
        showMessage(u"提示!"_s, u"对不起，没有添加成功,请重新添加！"_s);
        ADOQuery1.Cancel();
        return;
    }
    showMessage(u"提示!"_s, u"添加成功！"_s);
    // Adding to an empty list would make its first item the text; the box keeps what was typed.
    const QString typed = ui.ComboBox1->currentText();
    const int current = ui.ComboBox1->currentIndex();
    ui.ComboBox1->addItem(typed);
    ui.ComboBox1->setCurrentIndex(current);
    ui.ComboBox1->setEditText(typed);
    AuditTrail::write(audit_event::kModelAdded, name, {}, modelValues(ADOQuery1, name));
}

void TForm1::BitBtn3Click() {
    Ui::TForm1& ui = *m_ui;
    const QString name = modelName();
    if (name.isEmpty()) {
        showMessage(u"提示"_s, u"请选择型号！"_s);
        focusOn(ui.ComboBox1);
        return;
    }
    if (!confirmed(this, u"确定要删除型号“%1”吗？"_s.arg(name)))
        return;
    QString before;
    try {
        before = modelValues(ADOQuery1, name);
        execute(u"Delete  From  XH  Where  型号=:xh"_s, {{u"xh"_s, name}}, false);
        showMessage(u"提示!"_s, u"删除成功！"_s);
        ui.ComboBox1->setEditText(QString());
        ui.Et1->clear();
        ui.Et2->clear();
        ui.Et3->clear();
    } catch (const std::exception&) {
        showMessage(u"提示!"_s, u"对不起,没有删除成功！"_s);
        ADOQuery1.Cancel();
        return;
    }
    if (!before.isEmpty())
        AuditTrail::write(audit_event::kModelDeleted, name, before, {});
}

void TForm1::BitBtn4Click() {
    Ui::TForm1& ui = *m_ui;
    QString refusal;
    if (!limitsInOrder(trimmed(ui.Et1->text()), trimmed(ui.Et2->text()), trimmed(ui.Et3->text()), refusal)) {
        showMessage(u"提示"_s, refusal);
        return;
    }
    if (!confirmed(this, u"确定要修改型号“%1”的限值吗？"_s.arg(modelName())))
        return;
    QString before;
    try {
        before = modelValues(ADOQuery1, modelName());
        execute(u"Update  XH    Set  标准值=:A,上限值=:B,下限值=:C Where  型号=:xh"_s,
                {{u"A"_s, trimmed(ui.Et1->text())},
                 {u"B"_s, trimmed(ui.Et2->text())},
                 {u"C"_s, trimmed(ui.Et3->text())},
                 {u"xh"_s, modelName()}},
                false);
        showMessage(u"提示!"_s, u"修改成功！"_s);
    } catch (const std::exception&) {
        showMessage(u"提示!"_s, u"对不起，没有修改成功！，请重新修改！"_s);
        ADOQuery1.Cancel();
        return;
    }
    const QString after = modelValues(ADOQuery1, modelName());
    if (after != before)
        AuditTrail::write(audit_event::kModelChanged, modelName(), before, after);
}

} // namespace kelvora
