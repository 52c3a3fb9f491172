#pragma once

#include "data/TStrings.h"

#include <map>

#include <QString>
#include <QVariant>

namespace kelvora {

/// A named parameter of a statement.
struct TParameter {
    QString Name;
    QVariant Value; ///< invalid until set
};

/// The named parameters (`:name`) of a query's statement, found in its current text. Names compare
/// case-blind; a value set survives a change of the text when the new text names the parameter too.
class TParameters {
public:
    explicit TParameters(const TStrings& sql) : m_sql(sql) {}

    /// Throws DatabaseError "Parameter '%s' not found" for a name the statement does not hold.
    TParameter& ParamByName(const QString& name);
    /// The parameter or nullptr.
    TParameter* FindParam(const QString& name);
    int Count();

private:
    void refresh();

    const TStrings& m_sql;
    QString m_parsedText;
    bool m_parsed = false;
    std::map<QString, TParameter> m_parameters; // by lower-cased name
};

} // namespace kelvora
