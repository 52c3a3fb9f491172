#pragma once

#include <stdexcept>
#include <string>

#include <QString>

namespace kelvora {

/// Every failure of the database layer (engine, statement, file) reaches callers as this exception; its
/// text is meant for the operator's error box.
class DatabaseError : public std::runtime_error {
public:
    explicit DatabaseError(const QString& message) : std::runtime_error(message.toStdString()) {}

    QString message() const { return QString::fromStdString(what()); }
};

} // namespace kelvora
