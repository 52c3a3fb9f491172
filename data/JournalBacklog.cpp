#include "data/JournalBacklog.h"

#include "data/RecordForwarder.h"
#include "data/RecordJournal.h"
#include "data/TADOConnection.h"

#include <QDir>
#include <QFileInfo>

namespace kelvora {

QString journalFileFor(const QString& target) {
    const QString where = target.trimmed().isEmpty() ? mainDatabase() : target;
    return QDir(parseConnectionTarget(where).companionDirectory()).filePath(QStringLiteral("journal.db"));
}

std::int64_t journalBacklog(TADOConnection& connection) {
    const QString path = journalFileFor(connection.ConnectionString());
    if (!QFileInfo::exists(path))
        return 0;
    const RecordJournal journal(path);
    const auto last = journal.rowsAfter(journal.lastSeq() - 1, 1);
    if (last.empty())
        return 0;
    connection.Open();
    RecordForwarder::ensureRecordColumns(connection);
    return journal.countAfter(RecordForwarder::lastStored(connection, last.front().station).first);
}

QString journalBacklogNotice(std::int64_t waiting) {
    if (waiting <= 0)
        return {};
    return QStringLiteral("另有 %1 条记录在本地日志中等待上传，未计入本结果。").arg(waiting);
}

} // namespace kelvora
