#include "data/TStrings.h"

namespace kelvora {

void TStrings::setText(const QString& text) {
    m_lines = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")).split(u'\n');
}

} // namespace kelvora
