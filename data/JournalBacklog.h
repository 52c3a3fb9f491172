#pragma once

#include <cstdint>

#include <QString>

namespace kelvora {

class TADOConnection;

/// The station's journal of the database at target: journal.db in the database's folder (an SQLite
/// file's folder, or the current directory for a server).
QString journalFileFor(const QString& target);

/// How many rows of the journal beside connection's database the database does not hold yet (rows still
/// waiting to go up); 0 when there is no journal. Reads only: a missing journal is not created. Throws
/// DatabaseError when the journal or the database cannot be read.
std::int64_t journalBacklog(TADOConnection& connection);

/// "另有 N 条记录在本地日志中等待上传，未计入本结果。" for a backlog, empty for none.
QString journalBacklogNotice(std::int64_t waiting);

} // namespace kelvora
