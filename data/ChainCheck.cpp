#include "data/ChainCheck.h"

#include "data/DatabaseError.h"
#include "data/RecordChain.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <openssl/evp.h>

namespace kelvora {

// Whether `stored` is the link of `previous` and `encoded`: RecordChain::linkOf, computed with OpenSSL's
// SHA-256 on a context fetched once, for speed.
class ChainCheck::Hash {
public:
    Hash() : m_sha256(EVP_MD_fetch(nullptr, "SHA256", nullptr)), m_context(EVP_MD_CTX_new()) {
        if (!m_sha256 || !m_context)
            throw DatabaseError(QStringLiteral("SHA-256 is not available"));
    }
    ~Hash() {
        EVP_MD_CTX_free(m_context);
        EVP_MD_free(m_sha256);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;

    bool follows(const std::string& previous, const QByteArray& encoded, const std::string& stored) {
        if (stored.size() != 64)
            return false;
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestInit_ex2(m_context, m_sha256, nullptr) != 1 ||
            EVP_DigestUpdate(m_context, previous.data(), previous.size()) != 1 ||
            EVP_DigestUpdate(m_context, "\n", 1) != 1 ||
            EVP_DigestUpdate(m_context, encoded.constData(), static_cast<size_t>(encoded.size())) != 1 ||
            EVP_DigestFinal_ex(m_context, digest, &length) != 1)
            throw DatabaseError(QStringLiteral("SHA-256 failed"));
        static constexpr char kHex[] = "0123456789abcdef";
        for (unsigned int i = 0; i < length; ++i)
            if (stored[2 * i] != kHex[digest[i] >> 4] || stored[2 * i + 1] != kHex[digest[i] & 15])
                return false;
        return true;
    }

private:
    EVP_MD* m_sha256;
    EVP_MD_CTX* m_context;
};

// The fields of a row as RecordChain::encodeFields encodes them. A number's text is kept per column: the
// limits repeat from row to row, and writing a double's shortest form is the dearest step of the encoding.
class ChainCheck::Encoder {
public:
    const QByteArray& encode(const LinkedRow& row) {
        m_encoded.resize(0);
        m_numbers.resize(row.values.size());
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            const LinkedRow::Value& value = row.values[i];
            switch (value.kind) {
            case LinkedRow::Value::Kind::Null:
                RecordChain::appendNull(m_encoded);
                break;
            case LinkedRow::Value::Kind::Number: {
                NumberText& number = m_numbers[i];
                // Compared bit by bit: -0 and 0 are written differently.
                const auto bits = std::bit_cast<std::uint64_t>(value.number);
                if (!number.valid || number.bits != bits) {
                    number.text.resize(0);
                    RecordChain::appendNumber(number.text, value.number);
                    number.bits = bits;
                    number.valid = true;
                }
                const qsizetype at = m_encoded.size();
                m_encoded.resize(at + number.text.size());
                std::memcpy(m_encoded.data() + at, number.text.constData(), static_cast<size_t>(number.text.size()));
                break;
            }
            case LinkedRow::Value::Kind::Text:
                RecordChain::appendText(m_encoded, value.text.data(), static_cast<qsizetype>(value.text.size()));
            }
        }
        return m_encoded;
    }

private:
    struct NumberText {
        bool valid = false;
        std::uint64_t bits = 0;
        QByteArray text; ///< as appendNumber writes it, length included
    };
    QByteArray m_encoded;
    std::vector<NumberText> m_numbers;
};

// One station's rows.
class ChainCheck::Walk {
public:
    Walk(ChainVerifier::Report& report, Hash& check, QString table, QString station, std::string previousLink,
         std::optional<double> previousNumber)
        : m_report(report), m_check(check), m_table(std::move(table)), m_station(std::move(station)),
          m_previous(std::move(previousLink)), m_previousNumber(previousNumber) {}

    void add(const LinkedRow& row, const QByteArray& encoded) {
        ++m_report.checked;
        if (m_pending) {
            if (m_check.follows(m_beforePending, encoded, row.link)) {
                report(*m_pending, QStringLiteral("inserted (the next row follows the row before it)"));
                m_pending.reset();
                accept(row);
                return;
            }
            judgePending();
        }
        if (m_check.follows(m_previous, encoded, row.link)) {
            accept(row);
            return;
        }
        m_beforePending = m_previous;
        m_pendingGap = m_previousNumber && row.number > *m_previousNumber + 1;
        m_gapFrom = m_previousNumber.value_or(0) + 1;
        m_pending = Pending{row.id, row.number};
        accept(row);
    }

    void finish() {
        if (m_pending)
            judgePending();
    }

private:
    struct Pending {
        qlonglong id;
        double number;
    };

    void accept(const LinkedRow& row) {
        m_previous = row.link;
        m_previousNumber = row.number;
    }

    void judgePending() {
        const Pending& row = *m_pending;
        if (m_pendingGap)
            report(row, QStringLiteral("rows before it deleted (序号 %1 to %2 missing)")
                            .arg(QString::number(m_gapFrom, 'g', 15), QString::number(row.number - 1, 'g', 15)));
        else if (m_beforePending.empty() && row.number > 1)
            report(row, QStringLiteral("edited, or the rows before it deleted"));
        else
            report(row, QStringLiteral("edited (its fields or link do not match)"));
        m_pending.reset();
    }

    void report(const Pending& row, const QString& explanation) {
        m_report.breaks.push_back({m_table, m_station, row.id, row.number, explanation});
    }

    ChainVerifier::Report& m_report;
    Hash& m_check;
    QString m_table;
    QString m_station;
    std::string m_previous;
    std::optional<double> m_previousNumber;
    std::optional<Pending> m_pending;
    std::string m_beforePending;
    bool m_pendingGap = false;
    double m_gapFrom = 0;
};

ChainCheck::ChainCheck(ChainVerifier::Report& report, QString table)
    : m_report(report), m_table(std::move(table)), m_hash(std::make_unique<Hash>()),
      m_encoder(std::make_unique<Encoder>()) {}

ChainCheck::~ChainCheck() = default;

void ChainCheck::start(const QString& station, std::string previousLink, std::optional<double> previousNumber) {
    finish();
    m_walk = std::make_unique<Walk>(m_report, *m_hash, m_table, station, std::move(previousLink), previousNumber);
}

void ChainCheck::add(const LinkedRow& row) {
    m_walk->add(row, m_encoder->encode(row));
}

void ChainCheck::finish() {
    if (m_walk)
        m_walk->finish();
}

bool ChainCheck::follows(const std::string& previousLink, const LinkedRow& row) {
    return m_hash->follows(previousLink, m_encoder->encode(row), row.link);
}

} // namespace kelvora
