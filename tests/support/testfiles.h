#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Small helpers shared by the tests that watch files.
namespace testfiles {

// SHA-256 of the file's bytes, or an empty array when it cannot be read: two equal hashes
// mean the file was left byte for byte as it was.
QByteArray hashOf(const QString& path);

// A command that runs a program with a folder it cannot write, even when the tests run as
// root (whom permissions do not stop).
struct ReadOnlyRun {
    QString program;
    QStringList arguments;
    QString how; // "bind mount", "non-root user" or "permissions", for the test's log
    // Gives the folder back its rights (after "permissions").
    std::function<void()> restore = [] {};
};

// `program arguments` with `folder` read-only to it: under a read-only bind mount in
// namespaces of its own (unshare), else, as root, as user 65534 (setpriv), who may read the
// folder but not write it; else, not root, with the folder's write rights removed. As user
// 65534 the program must be one that user can run. Nothing when none of these works here.
std::optional<ReadOnlyRun> readOnlyRun(const QString& folder, const QString& program,
                                       const QStringList& arguments = {});

} // namespace testfiles
