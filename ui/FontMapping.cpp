#include "ui/FontMapping.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// Chinese families first, each list in order of preference; WenQuanYi Zen Hei copies correctly out of
// PDFs and draws Chinese shapes under any locale.
const QStringList kChinese{u"WenQuanYi Zen Hei"_s, u"Noto Sans CJK SC"_s, u"Noto Serif CJK SC"_s, u"AR PL UMing CN"_s,
                           u"Droid Sans Fallback"_s};
const QStringList kLatin{u"DejaVu Sans"_s, u"Liberation Sans"_s};

const QStringList kLayoutFamilies{
    u"新宋体"_s,  u"宋体"_s,   u"楷体_GB2312"_s,  u"仿宋_GB2312"_s,     u"华文中宋"_s,    u"华文仿宋"_s,
    u"NSimSun"_s, u"SimSun"_s, u"KaiTi_GB2312"_s, u"FangSong_GB2312"_s, u"STZhongsong"_s, u"STFangsong"_s};

QStringList installed(const QStringList& wanted) {
    const QStringList families = QFontDatabase::families();
    QStringList found;
    for (const QString& family : wanted) {
        if (families.contains(family, Qt::CaseInsensitive)) {
            found << family;
        }
    }
    return found;
}

} // namespace

void FontMapping::install() {
    const QStringList chinese = installed(kChinese);
    for (const QString& family : kLayoutFamilies) {
        QFont::insertSubstitutions(family, chinese);
    }
    // MS Sans Serif holds Latin text; Chinese glyphs still come from a Chinese family.
    QFont::insertSubstitutions(u"MS Sans Serif"_s, installed(kLatin) + chinese);
}

QString FontMapping::familyFor(const QString& layoutFamily) {
    return QFontInfo(QFont(layoutFamily)).family();
}

} // namespace kelvora
