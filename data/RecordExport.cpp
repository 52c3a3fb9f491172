#include "data/RecordExport.h"

#include "data/DatabaseError.h"
#include "data/TADOQuery.h"

#include <QSaveFile>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

void appendField(QString& line, const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r')) {
        line += text;
        return;
    }
    line += u'"';
    line += QString(text).replace(u'"', u"\"\""_s);
    line += u'"';
}

} // namespace

QStringList RecordExport::columns(const TADOQuery& query) {
    QStringList names = query.fieldNames();
    names.removeIf([](const QString& name) { return name.compare(u"id"_s, Qt::CaseInsensitive) == 0; });
    return names;
}

int RecordExport::writeCsv(const TADOQuery& query, const QString& path) {
    const int rows = query.RecordCount();
    const QStringList names = columns(query);
    std::vector<int> indexes;
    for (const QString& name : names)
        indexes.push_back(static_cast<int>(query.fieldNames().indexOf(name)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw DatabaseError(u"无法写入文件 %1：%2"_s.arg(path, file.errorString()));
    QString text = QChar(0xFEFF) + names.join(u',') + u"\r\n"_s;
    // Written in blocks: a large result never stands whole twice in memory.
    const auto flush = [&] {
        const QByteArray bytes = text.toUtf8();
        if (file.write(bytes) != bytes.size())
            throw DatabaseError(u"无法写入文件 %1：%2"_s.arg(path, file.errorString()));
        text.clear();
    };
    for (int row = 0; row < rows; ++row) {
        for (size_t c = 0; c < indexes.size(); ++c) {
            if (c > 0)
                text += u',';
            appendField(text, query.field(row, indexes[c]).AsString());
        }
        text += u"\r\n"_s;
        if (text.size() > 1 << 16)
            flush();
    }
    flush();
    if (!file.commit())
        throw DatabaseError(u"无法写入文件 %1：%2"_s.arg(path, file.errorString()));
    return rows;
}

} // namespace kelvora
