#include "data/MdbReader.h"

#include "data/DatabaseError.h"

#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

namespace kelvora {

namespace {

// Reads a quoted field starting at the opening quote; returns the position after the closing quote.
qsizetype readQuotedField(const QString& csv, qsizetype i, QString& text) {
    for (++i;; ++i) {
        if (i >= csv.size())
            throw DatabaseError(QStringLiteral("mdb-export wrote an unterminated quoted field"));
        if (csv[i] == u'"') {
            if (i + 1 < csv.size() && csv[i + 1] == u'"') {
                text += u'"';
                ++i;
                continue;
            }
            return i + 1;
        }
        text += csv[i];
    }
}

MdbReader::Table toTable(std::vector<std::vector<MdbReader::Field>> lines) {
    MdbReader::Table table;
    if (lines.empty())
        return table;
    for (const MdbReader::Field& header : lines.front())
        table.columns << header.text;
    for (size_t r = 1; r < lines.size(); ++r) {
        if (lines[r].size() != static_cast<size_t>(table.columns.size()))
            throw DatabaseError(QStringLiteral("mdb-export wrote a row with %1 fields for %2 columns")
                                    .arg(lines[r].size())
                                    .arg(table.columns.size()));
        table.rows.push_back(std::move(lines[r]));
    }
    return table;
}

} // namespace

MdbReader::MdbReader(QString file) : m_file(std::move(file)) {
    if (!QFileInfo(m_file).isFile())
        throw DatabaseError(QStringLiteral("Could not find file '%1'.").arg(m_file));
}

QString MdbReader::run(const QString& program, const QStringList& arguments) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MDB_JET3_CHARSET"), QStringLiteral("CP936")); // Jet 3 text is GBK
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForStarted())
        throw DatabaseError(QStringLiteral("Cannot run %1 (install mdbtools): %2").arg(program, process.errorString()));
    process.closeWriteChannel();
    QByteArray output;
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(60000);
        output += process.readAllStandardOutput();
    }
    output += process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw DatabaseError(QStringLiteral("%1 could not read '%2': %3")
                                .arg(program, m_file, QString::fromUtf8(process.readAllStandardError()).trimmed()));
    return QString::fromUtf8(output);
}

QStringList MdbReader::tableNames() const {
    return run(QStringLiteral("mdb-tables"), {QStringLiteral("-1"), m_file}).split(u'\n', Qt::SkipEmptyParts);
}

MdbReader::Table MdbReader::readTable(const QString& name) const {
    return parseCsv(
        run(QStringLiteral("mdb-export"), {QStringLiteral("-D"), QStringLiteral("%Y-%m-%d"), QStringLiteral("-T"),
                                           QStringLiteral("%Y-%m-%d %H:%M:%S"), m_file, name}));
}

int MdbReader::rowCount(const QString& name) const {
    const QString output = run(QStringLiteral("mdb-count"), {m_file, name}).trimmed();
    bool ok = false;
    const int count = output.toInt(&ok);
    if (!ok || count < 0)
        throw DatabaseError(QStringLiteral("mdb-count could not tell the rows of table %1 in '%2'").arg(name, m_file));
    return count;
}

MdbReader::Table MdbReader::parseCsv(const QString& csv) {
    std::vector<std::vector<Field>> lines;
    std::vector<Field> line;
    Field field;
    bool fieldStarted = false;
    qsizetype i = 0;
    const auto endField = [&] {
        line.push_back(field);
        field = {};
        fieldStarted = false;
    };
    while (i < csv.size()) {
        const QChar c = csv[i];
        if (c == u'"' && !fieldStarted) {
            field.quoted = fieldStarted = true;
            i = readQuotedField(csv, i, field.text);
        } else if (c == u',') {
            endField();
            ++i;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && i + 1 < csv.size() && csv[i + 1] == u'\n')
                ++i;
            ++i;
            if (!fieldStarted && line.empty())
                continue; // a blank line
            endField();
            lines.push_back(std::move(line));
            line.clear();
        } else {
            field.text += c;
            fieldStarted = true;
            ++i;
        }
    }
    if (fieldStarted || !line.empty()) {
        endField();
        lines.push_back(std::move(line));
    }
    return toTable(std::move(lines));
}

} // namespace kelvora
