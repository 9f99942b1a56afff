#pragma once

#include <QLockFile>
#include <QString>

namespace data {

// Why nothing can be written in `folder`, or why it cannot be made when it does not exist
// yet, as a French sentence naming the folder the refusal comes from: a medium mounted
// read-only, no right to write, a full disk, a file in the way.
QString folderRefusal(const QString& folder);

// The lock beside a database file ("velmora.mdb.verrou") that keeps one program at a time
// on it: the program holds it while its window shows the file, velmora-db close-year while
// it closes the year. A lock left by a program that is gone is taken over. Released when
// this is destroyed.
class FileLock {
public:
    enum class State {
        Taken,         // ours until released
        HeldElsewhere, // a running program holds it
        CannotLock     // it cannot be made where the file is: reason() says why
    };

    explicit FileLock(const QString& databaseFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Tries once, without waiting.
    State tryLock();
    void unlock();

    // After CannotLock: why, in French, naming the folder. After HeldElsewhere: the program
    // holding it ("velmora, n° 1234, sur poste-1") when the lock tells, else empty.
    const QString& reason() const { return m_reason; }

    // databaseFile + ".verrou"
    static QString pathFor(const QString& databaseFile);

private:
    QString m_path;
    QLockFile m_lock;
    QString m_reason;
};

} // namespace data
