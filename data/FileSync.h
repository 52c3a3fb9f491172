#pragma once

#include <QString>

namespace kelvora {

/// The file calls that must reach the disk, behind one small interface per platform.
namespace file_sync {

/// Writes the file's data through to the disk. Throws DatabaseError.
void syncFile(const QString& path);

/// Writes a folder's entries (a file renamed into it) through to the disk. Throws DatabaseError.
void syncDirectory(const QString& path);

/// Puts `from` in the place of `to` in one step (an existing `to` is replaced). Throws DatabaseError.
void replaceFile(const QString& from, const QString& to);

} // namespace file_sync
} // namespace kelvora
