#include "data/TParameters.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"

namespace kelvora {

void TParameters::refresh() {
    const QString text = m_sql.Text();
    if (m_parsed && text == m_parsedText)
        return;
    std::map<QString, TParameter> fresh;
    for (const QString& name : translateStatement(text, schema::Dialect::Sqlite)->parameterNames) {
        const QString key = name.toLower();
        const auto old = m_parameters.find(key);
        fresh[key] = old != m_parameters.end() ? old->second : TParameter{name, {}};
    }
    m_parameters = std::move(fresh);
    m_parsedText = text;
    m_parsed = true;
}

TParameter* TParameters::FindParam(const QString& name) {
    refresh();
    const auto found = m_parameters.find(name.toLower());
    return found == m_parameters.end() ? nullptr : &found->second;
}

TParameter& TParameters::ParamByName(const QString& name) {
    if (TParameter* parameter = FindParam(name))
        return *parameter;
    throw DatabaseError(QStringLiteral("Parameter '%1' not found").arg(name));
}

int TParameters::Count() {
    refresh();
    return static_cast<int>(m_parameters.size());
}

} // namespace kelvora
