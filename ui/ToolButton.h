#pragma once

#include <QString>
#include <QToolButton>

namespace kelvora {

/// A toolbar button: its 16 x 16 glyph above a blue bold caption, a greyed copy of the glyph while
/// disabled, a hand cursor, flat until hovered.
class ToolButton : public QToolButton {
    Q_OBJECT
    Q_PROPERTY(QString glyph READ glyph WRITE setGlyph)
public:
    explicit ToolButton(QWidget* parent = nullptr);

    /// The glyph's resource path (":/glyphs/glyphs/start.png").
    QString glyph() const { return m_glyph; }
    void setGlyph(const QString& path);

private:
    QString m_glyph;
};

} // namespace kelvora
