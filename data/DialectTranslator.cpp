#include "data/DialectTranslator.h"

#include "data/DatabaseError.h"
#include "data/SqlTokenizer.h"

#include <mutex>
#include <unordered_map>

#include <QHash>
#include <QSet>

namespace kelvora {

namespace {

using T = SqlToken::Type;

const QSet<QString>& keywords() {
    static const QSet<QString> words = {
        QStringLiteral("select"),  QStringLiteral("distinct"), QStringLiteral("top"),    QStringLiteral("from"),
        QStringLiteral("where"),   QStringLiteral("and"),      QStringLiteral("or"),     QStringLiteral("not"),
        QStringLiteral("between"), QStringLiteral("like"),     QStringLiteral("in"),     QStringLiteral("is"),
        QStringLiteral("null"),    QStringLiteral("order"),    QStringLiteral("by"),     QStringLiteral("asc"),
        QStringLiteral("desc"),    QStringLiteral("group"),    QStringLiteral("having"), QStringLiteral("insert"),
        QStringLiteral("into"),    QStringLiteral("values"),   QStringLiteral("update"), QStringLiteral("set"),
        QStringLiteral("delete"),  QStringLiteral("as"),       QStringLiteral("join"),   QStringLiteral("inner"),
        QStringLiteral("left"),    QStringLiteral("right"),    QStringLiteral("outer"),  QStringLiteral("on"),
        QStringLiteral("union"),   QStringLiteral("all"),      QStringLiteral("exists"), QStringLiteral("true"),
        QStringLiteral("false"),   QStringLiteral("case"),     QStringLiteral("when"),   QStringLiteral("then"),
        QStringLiteral("else"),    QStringLiteral("end"),      QStringLiteral("escape")};
    return words;
}

const QSet<QString>& functions() {
    static const QSet<QString> names = {QStringLiteral("count"), QStringLiteral("sum"),   QStringLiteral("avg"),
                                        QStringLiteral("min"),   QStringLiteral("max"),   QStringLiteral("abs"),
                                        QStringLiteral("round"), QStringLiteral("lower"), QStringLiteral("upper")};
    return names;
}

bool isComparison(const SqlToken& t) {
    return t.type == T::Symbol && (t.text == u"=" || t.text == u"<" || t.text == u">" || t.text == u"<=" ||
                                   t.text == u">=" || t.text == u"<>");
}

QString quoteName(const QString& name) {
    return u'"' + QString(name).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// One pass over the tokens. Besides rewriting, it remembers which column each value meets, so that a
// text written for a numeric column can be converted when the value is bound.
class Translator {
public:
    explicit Translator(std::vector<SqlToken> tokens) : m_tokens(std::move(tokens)) {}

    TranslatedStatement run() {
        for (m_pos = 0; m_pos < m_tokens.size(); ++m_pos)
            step(m_tokens[m_pos]);
        closeLimits(0);
        if (m_depth != 0)
            throw DatabaseError(QStringLiteral("Syntax error: unbalanced parentheses"));
        return std::move(m_out);
    }

private:
    const SqlToken* peek(size_t ahead) const {
        return m_pos + ahead < m_tokens.size() ? &m_tokens[m_pos + ahead] : nullptr;
    }

    void put(const QString& text) {
        const bool tight = m_lastEmitted == u"(" || m_lastEmitted == u"." || text == u")" || text == u"," ||
                           text == u"." || m_out.sql.isEmpty();
        if (!tight)
            m_out.sql += u' ';
        m_out.sql += text;
        m_lastEmitted = text;
    }

    void closeLimits(int depth) {
        while (!m_limits.empty() && m_limits.back().first >= depth) {
            put(QStringLiteral("limit"));
            put(m_limits.back().second);
            m_limits.pop_back();
        }
    }

    void step(const SqlToken& t) {
        switch (t.type) {
        case T::Word:
            word(t);
            break;
        case T::QuotedName:
            name(t.text);
            break;
        case T::String:
        case T::Date:
        case T::Parameter:
            value(t);
            break;
        case T::Number:
            put(t.text);
            afterValue();
            break;
        case T::Symbol:
            symbol(t);
            break;
        }
        m_previous = t;
    }

    void word(const SqlToken& t) {
        const QString lower = t.text.toLower();
        const SqlToken* next = peek(1);
        if (keywords().contains(lower)) {
            keyword(lower);
        } else if (functions().contains(lower) && next && next->isSymbol("(")) {
            put(lower);
        } else {
            name(t.text);
        }
    }

    void keyword(const QString& word) {
        if (word == u"top" && m_previous.isWord("select")) {
            const SqlToken* count = peek(1);
            if (!count || count->type != T::Number)
                throw DatabaseError(QStringLiteral("Syntax error: 'top' needs a number"));
            m_limits.emplace_back(m_depth, count->text);
            ++m_pos;
            return;
        }
        if (word == u"delete" && peek(1) && peek(1)->isSymbol("*")) {
            put(word);
            ++m_pos; // Delete * From T deletes every row: the star is dropped
            return;
        }
        if (word == u"between") {
            m_betweenColumn = m_previous.type == T::Word || m_previous.type == T::QuotedName ? m_lastColumn : QString();
            m_betweenValues = 2;
        } else if (word == u"and" && m_betweenValues == 1) {
            // the "and" inside "between ... and ..." keeps the column for the second end
        } else {
            m_betweenValues = 0;
        }
        if (word == u"into")
            m_expectInsertTable = true;
        if (word == u"values")
            m_expectValues = true;
        put(word);
    }

    void name(const QString& text) {
        const QString canonical = schema::canonicalName(text);
        if (m_insertColumnsDepth > 0 && m_depth == m_insertColumnsDepth)
            m_insertColumns << canonical;
        m_lastColumn = canonical;
        put(quoteName(canonical));
        if (m_expectInsertTable) {
            m_expectInsertTable = false;
            m_insertColumns.clear();
            if (peek(1) && peek(1)->isSymbol("("))
                m_insertColumnsDepth = m_depth + 1;
        }
    }

    void value(const SqlToken& t) {
        TranslatedStatement::Binding binding;
        binding.isParameter = t.type == T::Parameter;
        (binding.isParameter ? binding.parameter : binding.value) = t.text;
        binding.column = targetColumn();
        if (!binding.column.isEmpty())
            binding.kind = schema::columnKind(binding.column);
        if (binding.isParameter && !m_out.parameterNames.contains(t.text, Qt::CaseInsensitive))
            m_out.parameterNames << t.text;
        m_out.bindings.push_back(binding);
        put(QStringLiteral("?"));
        afterValue();
    }

    QString targetColumn() const {
        if (m_valuesDepth > 0 && m_depth == m_valuesDepth)
            return m_valueIndex < m_insertColumns.size() ? m_insertColumns[m_valueIndex] : QString();
        if (m_betweenValues > 0)
            return m_betweenColumn;
        if (isComparison(m_previous) && m_pos >= 2) {
            const SqlToken& before = m_tokens[m_pos - 2];
            if (before.type == T::Word || before.type == T::QuotedName)
                return m_lastColumn;
        }
        return {};
    }

    void afterValue() {
        if (m_betweenValues > 0)
            --m_betweenValues;
    }

    void symbol(const SqlToken& t) {
        if (t.text == u";") {
            if (m_pos + 1 != m_tokens.size())
                throw DatabaseError(QStringLiteral("Characters found after end of SQL statement."));
            return;
        }
        if (t.text == u"(") {
            ++m_depth;
            if (m_expectValues) {
                m_valuesDepth = m_depth;
                m_valueIndex = 0;
                m_expectValues = false;
            }
        } else if (t.text == u")") {
            closeLimits(m_depth);
            if (m_depth == m_insertColumnsDepth)
                m_insertColumnsDepth = 0;
            if (m_depth == m_valuesDepth)
                m_valuesDepth = 0;
            --m_depth;
            if (m_depth < 0)
                throw DatabaseError(QStringLiteral("Syntax error: unbalanced parentheses"));
        } else if (t.text == u"," && m_depth == m_valuesDepth) {
            ++m_valueIndex;
        }
        put(t.text);
    }

    std::vector<SqlToken> m_tokens;
    size_t m_pos = 0;
    TranslatedStatement m_out;
    QString m_lastEmitted;
    SqlToken m_previous{T::Symbol, {}};
    int m_depth = 0;
    std::vector<std::pair<int, QString>> m_limits;
    QString m_lastColumn;
    QString m_betweenColumn;
    int m_betweenValues = 0;
    bool m_expectInsertTable = false;
    bool m_expectValues = false;
    int m_insertColumnsDepth = 0;
    QStringList m_insertColumns;
    int m_valuesDepth = 0;
    qsizetype m_valueIndex = 0;
};

} // namespace

std::shared_ptr<const TranslatedStatement> translateStatement(const QString& statement, schema::Dialect dialect) {
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<const TranslatedStatement>> cache[2];
    auto& engineCache = cache[dialect == schema::Dialect::Sqlite ? 0 : 1];
    {
        std::lock_guard lock(mutex);
        if (const auto found = engineCache.constFind(statement); found != engineCache.constEnd())
            return *found;
    }
    auto translated = std::make_shared<const TranslatedStatement>(Translator(tokenizeSql(statement)).run());
    std::lock_guard lock(mutex);
    if (engineCache.size() > 4096)
        engineCache.clear(); // statements with typed-in values are endless; keep the cache bounded
    engineCache.insert(statement, translated);
    return translated;
}

std::optional<double> parseDecimal(const QString& text) {
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
        ++i;
    bool digits = false;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 0x80) {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 0x80) {
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-'))
            ++i;
        if (i >= t.size() || !t[i].isDigit())
            return std::nullopt;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 0x80)
            ++i;
    }
    if (i != t.size())
        return std::nullopt;
    bool ok = false;
    const double value = t.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

QVariant bindingValue(const TranslatedStatement::Binding& binding, const QVariant& value) {
    if (value.isNull() || binding.kind != schema::ColumnKind::Number || value.typeId() != QMetaType::QString)
        return value;
    if (const auto number = parseDecimal(value.toString()))
        return *number;
    throw DatabaseError(QStringLiteral("Data type mismatch: '%1' is not a number, but the column '%2' holds numbers")
                            .arg(value.toString(), binding.column));
}

} // namespace kelvora
