#include "tools/StationFolder.h"

#include "app/config/OptionKeys.h"
#include "data/DatabaseSetup.h"

#include <stdexcept>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

[[noreturn]] void refuse(const QString& why) {
    throw std::runtime_error(why.toStdString());
}

} // namespace

QByteArray StationFolder::defaultOptionIni(const QString& portName, bool demo) {
    const QString port = portName.isEmpty() ? u"Com1"_s : portName;
    QString text;
    std::string_view section;
    for (const OptionKey* key : allOptionKeys()) {
        if (key->newStation == nullptr)
            continue;
        if (key->section != section) {
            section = key->section;
            text += u'[' + QString::fromUtf8(section.data(), qsizetype(section.size())) + u"]\n"_s;
        }
        QString value = QString::fromUtf8(key->newStation);
        if (key == &option::PortName)
            value = port;
        else if (key == &option::ProductThreshold && demo)
            value = QString::number(kDemoProductThreshold, 'f', 3);
        else if (key == &option::PersonalAccounts && demo)
            value = u"0"_s; // a demo line is tried with admin and the initial password, as the demo shows
        text += QString::fromUtf8(key->name.data(), qsizetype(key->name.size())) + u'=' + value + u'\n';
    }
    return text.toUtf8();
}

QString StationFolder::installedHelpFile(const QString& programDir) {
    return QDir(programDir).absoluteFilePath(u"../share/kelvora/帮助文件.pdf"_s);
}

void StationFolder::initialize(const QString& dir, bool demo, const QString& portName, const QString& helpFile) {
    QDir folder(dir);
    for (const QString& name : {u"database.mdb"_s, u"Option.ini"_s}) {
        // The station opens these names case-blind, so any spelling counts.
        if (!folder.entryList({name}, QDir::Files | QDir::Dirs | QDir::Hidden).isEmpty() ||
            QFileInfo::exists(folder.filePath(name))) {
            refuse(u"%1 already holds %2"_s.arg(dir, name));
        }
    }
    if (!folder.mkpath(u"Backup"_s)) {
        refuse(u"cannot create %1"_s.arg(folder.filePath(u"Backup"_s)));
    }
    database_setup::initDatabase(folder.absoluteFilePath(u"database.mdb"_s), demo);
    QSaveFile ini(folder.filePath(u"Option.ini"_s));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(defaultOptionIni(portName, demo)) < 0 || !ini.commit()) {
        refuse(u"cannot write %1"_s.arg(ini.fileName()));
    }
    if (!helpFile.isEmpty()) {
        const QString target = folder.filePath(u"帮助文件.pdf"_s);
        if (!QFile::copy(helpFile, target)) {
            refuse(u"cannot copy the help file %1 to %2"_s.arg(helpFile, target));
        }
    }
}

} // namespace kelvora
