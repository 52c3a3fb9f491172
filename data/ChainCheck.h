#pragma once

#include "data/ChainVerifier.h"
#include "data/LinkedRowReader.h"

#include <memory>
#include <optional>
#include <string>

#include <QString>

namespace kelvora {

/// Checks the linked rows of one table handed in the order of (站点, 序号), each station's rows between
/// start() and the next start() or finish(), and adds what it finds to a ChainVerifier::Report. A row whose
/// link does not follow is judged when the next row is seen: a next row that follows the row before the
/// broken one shows the broken one was inserted; otherwise the broken row was edited, or rows before it
/// deleted (a gap in 序号).
///
/// Belongs to one thread. Throws DatabaseError when SHA-256 is not available.
class ChainCheck {
public:
    ChainCheck(ChainVerifier::Report& report, QString table);
    ~ChainCheck();
    ChainCheck(const ChainCheck&) = delete;
    ChainCheck& operator=(const ChainCheck&) = delete;

    /// The rows of `station` follow, the first one linked to `previousLink` (empty: the start of a chain)
    /// after the row numbered `previousNumber`. Ends the previous station's rows.
    void start(const QString& station, std::string previousLink, std::optional<double> previousNumber);
    void add(const LinkedRow& row);
    /// Judges a broken last row; call after the last row.
    void finish();

    /// Whether `row`'s link is the link of `previousLink` and its fields.
    bool follows(const std::string& previousLink, const LinkedRow& row);

private:
    class Hash;
    class Encoder;
    class Walk;

    ChainVerifier::Report& m_report;
    QString m_table;
    std::unique_ptr<Hash> m_hash;
    std::unique_ptr<Encoder> m_encoder;
    std::unique_ptr<Walk> m_walk;
};

} // namespace kelvora
