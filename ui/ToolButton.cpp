#include "ui/ToolButton.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

using namespace Qt::StringLiterals;

// The glyphs live in this static library; a program that never names them would drop them at link time.
static void initGlyphs() {
    Q_INIT_RESOURCE(glyphs);
}

namespace kelvora {

namespace {

// The disabled glyph: the same shape in grey at half strength.
QPixmap greyed(const QPixmap& pixmap) {
    QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]) / 2);
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace

ToolButton::ToolButton(QWidget* parent) : QToolButton(parent) {
    static const bool glyphsLoaded = (initGlyphs(), true);
    (void)glyphsLoaded;
    setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setIconSize(QSize(16, 16));
    setStyleSheet(u"QToolButton { color: blue; font: bold 16px \"楷体_GB2312\"; padding: 0px 4px; }"
                  "QToolButton:disabled { color: gray; }"_s);
}

void ToolButton::setGlyph(const QString& path) {
    m_glyph = path;
    const QPixmap pixmap(path);
    QIcon icon;
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(greyed(pixmap), QIcon::Disabled);
    setIcon(icon);
}

} // namespace kelvora
