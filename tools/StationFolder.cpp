#include "tools/StationFolder.h"

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
    const QString threshold = demo ? QString::number(kDemoProductThreshold, 'f', 3) : u"10.000"_s;
    return (u"[软件]\n背景色=16053492\n"
            "[Word]\nNum=0\nTX_Num=0\nSC_Num=0\n"
            "[时钟]\n开始输出=1000\n输出时长=1000\n"
            "[下限值]\nValue="_s +
            threshold + u"\n[串行口]\nComName="_s + port +
            u"\nBaudrate=9600\nParity=None\n"
            "[算法]\n1=1\n2=0\n3=0\n取样=稳定\n最少读数=3\n"
            "[仪表]\n1=1\n2=0\n无数据报警=3\n"_s)
        .toUtf8();
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
