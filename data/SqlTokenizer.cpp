#include "data/SqlTokenizer.h"

#include "data/DatabaseError.h"

#include <optional>

#include <QDate>
#include <QStringView>

namespace kelvora {

namespace {

bool isNameStart(QChar c) {
    return c.isLetter() || c == u'_' || c.unicode() >= 0x80;
}

bool isNamePart(QChar c) {
    return isNameStart(c) || c.isDigit();
}

// One field of a date literal: 1 to maxDigits ASCII digits and nothing else (no sign, no blank).
std::optional<int> dateField(QStringView text, qsizetype minDigits, qsizetype maxDigits) {
    if (text.size() < minDigits || text.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Jet's date literal: month/day/four-digit year with an optional 24-hour time (H:MM or H:MM:SS; month,
// day and each time field may have one digit). Checked field by field, so 02/30/2024 or 24:00:00 are
// refused rather than rolled over. The records hold wall-clock times, so the value is written out as
// read and never passes through the local time zone (a time in a summer-time gap stays valid).
QString parseDate(const QString& body, const QString& statement) {
    const QStringList parts = body.trimmed().split(u' ', Qt::SkipEmptyParts);
    const auto fail = [&] {
        return DatabaseError(
            QStringLiteral("Syntax error in date in query expression '#%1#' of '%2': a date is written "
                           "#MM/DD/YYYY HH:MM:SS# in digits, without signs")
                .arg(body, statement));
    };
    if (parts.isEmpty() || parts.size() > 2)
        throw fail();
    const QStringList mdy = parts[0].split(u'/');
    if (mdy.size() != 3)
        throw fail();
    const auto month = dateField(mdy[0], 1, 2);
    const auto day = dateField(mdy[1], 1, 2);
    const auto year = dateField(mdy[2], 4, 4);
    if (!month || !day || !year || !QDate::isValid(*year, *month, *day))
        throw fail();
    int hms[3] = {0, 0, 0};
    if (parts.size() == 2) {
        const QStringList fields = parts[1].split(u':');
        if (fields.size() < 2 || fields.size() > 3)
            throw fail();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            const auto value = dateField(fields[i], 1, 2);
            if (!value)
                throw fail();
            hms[i] = *value;
        }
        if (hms[0] > 23 || hms[1] > 59 || hms[2] > 59)
            throw fail();
    }
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", *year, *month, *day, hms[0], hms[1], hms[2]);
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
            QString value;
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
