#pragma once

#include <QString>
#include <QStringList>

namespace kelvora {

/// A statement as a list of lines (a query's `SQL`).
class TStrings {
public:
    void Clear() { m_lines.clear(); }
    void Add(const QString& line) { m_lines.append(line); }
    int Count() const { return static_cast<int>(m_lines.size()); }
    const QString& operator[](int index) const { return m_lines.at(index); }
    /// The lines joined by carriage return and line feed.
    QString Text() const { return m_lines.join(QStringLiteral("\r\n")); }
    /// Replaces the lines by `text` split at line breaks.
    void setText(const QString& text);

private:
    QStringList m_lines;
};

} // namespace kelvora
