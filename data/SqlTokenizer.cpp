#include "data/SqlTokenizer.h"

#include "data/DatabaseError.h"

#include <QDateTime>

namespace kelvora {

namespace {

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isNamePart(QChar c) {
    return isNameStart(c) || c.isDigit();
}

// Jet's date literal: month/day/year with an optional 24-hour time. Checked field by field, so
// 02/30/2024 or 24:00:00 are refused rather than rolled over.
QString parseDate(const QString& body, const QString& statement) {
    const QStringList parts = body.trimmed().split(u' ', Qt::SkipEmptyParts);
    const auto fail = [&] {
        return DatabaseError(
            QStringLiteral("Syntax error in date in query expression '#%1#' of '%2'").arg(body, statement));
    };
    if (parts.isEmpty() || parts.size() > 2)
        throw fail();
    const QStringList mdy = parts[0].split(u'/');
    if (mdy.size() != 3 || mdy[0].size() > 2 || mdy[1].size() > 2 || mdy[2].size() != 4)
        throw fail();
    bool okM = false, okD = false, okY = false;
    const QDate date(mdy[2].toInt(&okY), mdy[0].toInt(&okM), mdy[1].toInt(&okD));
    if (!okM || !okD || !okY || !date.isValid())
        throw fail();
    QTime time(0, 0, 0);
    if (parts.size() == 2) {
        const QStringList hms = parts[1].split(u':');
        if (hms.size() < 2 || hms.size() > 3)
            throw fail();
        int values[3] = {0, 0, 0};
        for (qsizetype i = 0; i < hms.size(); ++i) {
            bool ok = false;
            values[i] = hms[i].toInt(&ok);
            if (!ok || hms[i].size() > 2)
                throw fail();
        }
        time = QTime(values[0], values[1], values[2]);
        if (!time.isValid())
            throw fail();
    }
    return QDateTime(date, time).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

qsizetype readQuoted(const QString& s, qsizetype i, QChar quote, QString& value, const QString& statement) {
    ++i;
    while (true) {
        if (i >= s.size())
            throw DatabaseError(QStringLiteral("Syntax error in string in query expression '%1'").arg(statement));
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                value += quote;
                i += 2;
                continue;
            }
            return i + 1;
        }
        value += s[i++];
    }
}

qsizetype readNumber(const QString& s, qsizetype i) {
    while (i < s.size() && s[i].isDigit())
        ++i;
    if (i < s.size() && s[i] == u'.') {
        ++i;
        while (i < s.size() && s[i].isDigit())
            ++i;
    }
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < s.size() && (s[j] == u'+' || s[j] == u'-'))
            ++j;
        if (j < s.size() && s[j].isDigit()) {
            i = j;
            while (i < s.size() && s[i].isDigit())
                ++i;
        }
    }
    return i;
}

} // namespace

std::vector<SqlToken> tokenizeSql(const QString& s) {
    using T = SqlToken::Type;
    std::vector<SqlToken> tokens;
    qsizetype i = 0;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c.isSpace()) {
            ++i;
        } else if (c == u'\'' || c == u'"') {
            // Not a null QString: an empty literal is bound as empty text, never as NULL (which no "="
            // matches).
            QString value = QStringLiteral("");
            i = readQuoted(s, i, c, value, s);
            tokens.push_back({T::String, value});
        } else if (c == u'[') {
            const qsizetype close = s.indexOf(u']', i + 1);
            if (close < 0)
                throw DatabaseError(QStringLiteral("Syntax error: unterminated name in '%1'").arg(s));
            tokens.push_back({T::QuotedName, s.mid(i + 1, close - i - 1)});
            i = close + 1;
        } else if (c == u'#') {
            const qsizetype close = s.indexOf(u'#', i + 1);
            if (close < 0)
                throw DatabaseError(QStringLiteral("Syntax error in date in query expression '%1'").arg(s));
            tokens.push_back({T::Date, parseDate(s.mid(i + 1, close - i - 1), s)});
            i = close + 1;
        } else if (c.isDigit() || (c == u'.' && i + 1 < s.size() && s[i + 1].isDigit())) {
            const qsizetype end = readNumber(s, i);
            tokens.push_back({T::Number, s.mid(i, end - i)});
            i = end;
        } else if (isNameStart(c)) {
            qsizetype end = i + 1;
            while (end < s.size() && isNamePart(s[end]))
                ++end;
            tokens.push_back({T::Word, s.mid(i, end - i)});
            i = end;
        } else if (c == u':' && i + 1 < s.size() && isNamePart(s[i + 1])) {
            qsizetype end = i + 1;
            while (end < s.size() && isNamePart(s[end]))
                ++end;
            tokens.push_back({T::Parameter, s.mid(i + 1, end - i - 1)});
            i = end;
        } else {
            const QString two = s.mid(i, 2);
            if (two == QStringLiteral("<=") || two == QStringLiteral(">=") || two == QStringLiteral("<>")) {
                tokens.push_back({T::Symbol, two});
                i += 2;
            } else if (QStringLiteral("=<>(),.*+-/&;").contains(c)) {
                tokens.push_back({T::Symbol, QString(c)});
                ++i;
            } else {
                throw DatabaseError(
                    QStringLiteral("Syntax error: unexpected character '%1' in query expression '%2'").arg(c).arg(s));
            }
        }
    }
    return tokens;
}

} // namespace kelvora
