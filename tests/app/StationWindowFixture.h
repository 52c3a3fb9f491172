#pragma once

#include "app/Unit1.h"
#include "data/DatabaseSetup.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestPaths.h"
#include "ui/ColorDialog.h"
#include "ui/SystemBeep.h"
#include "ui_Unit1.h"

#include <memory>

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace kelvora::test {

/// A station folder of its own as the working directory, its database made as `kelvora-tool db init`
/// makes it, and every message box answered and kept.
class StationWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<TempDir>();
        m_previous = QDir::currentPath();
        QDir::setCurrent(QString::fromStdString(m_dir->path()));
    }

    void TearDown() override {
        m_form.reset();
        ColorDialog::setAnswerer({});
        TForm1::setHelpOpener({});
        QDir::setCurrent(m_previous);
        m_dir.reset();
    }

    static QString path(const QString& name) { return QDir::current().absoluteFilePath(name); }
    void makeDatabase(bool demo = true) { database_setup::initDatabase(path(QStringLiteral("database.mdb")), demo); }

    TForm1& open(const TForm1::Options& options = {}) {
        m_form = std::make_unique<TForm1>(options);
        m_form->show();
        return *m_form;
    }
    Ui::TForm1& ui() { return m_form->ui(); }

    /// The texts of the boxes shown so far, and forgets them.
    std::vector<QString> takeTexts() {
        std::vector<QString> texts;
        for (const MessageBox::Request& box : m_boxes.boxes) {
            texts.push_back(box.text);
        }
        m_boxes.boxes.clear();
        return texts;
    }

    static QString readFile(const QString& name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    std::unique_ptr<TempDir> m_dir;
    QString m_previous;
    MessageBoxRecorder m_boxes;
    std::unique_ptr<TForm1> m_form;
};

} // namespace kelvora::test
