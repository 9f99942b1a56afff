#pragma once

#include <QByteArray>
#include <QString>

// Small helpers shared by the tests that watch files.
namespace testfiles {

// SHA-256 of the file's bytes, or an empty array when it cannot be read: two equal hashes
// mean the file was left byte for byte as it was.
QByteArray hashOf(const QString& path);

} // namespace testfiles
