#pragma once

#include <QString>
#include <stdexcept>

namespace data {

// An error of the database engine (or of the record set over it): the engine's result
// code and its own description. Windows word it in French for the user.
class DbError : public std::runtime_error {
public:
    DbError(int code, const QString& engineText)
        : std::runtime_error(engineText.toStdString()), m_code(code), m_text(engineText) {}
    // The engine's primary result code (SQLITE_BUSY, SQLITE_FULL...).
    int code() const { return m_code > 0 ? (m_code & 0xff) : m_code; }
    const QString& engineText() const { return m_text; }

private:
    int m_code;
    QString m_text;
};

// Why a database file could not be taken into use at start-up.
class OpenError : public DbError {
public:
    enum class Kind {
        Missing,       // no file
        NotDatabase,   // not an SQLite file, or damaged beyond reading
        JetFile,       // an old Access/Jet file
        ForeignFile,   // an SQLite file of another application
        NewerSchema,   // made by a newer version of this program
        MissingTables, // lacks some of the six tables
        Busy,          // locked by another program
        Other
    };
    OpenError(Kind kind, int code, const QString& engineText, const QString& explanation)
        : DbError(code, engineText), m_kind(kind), m_explanation(explanation) {}
    Kind kind() const { return m_kind; }
    // Plain French sentence naming the problem.
    const QString& explanation() const { return m_explanation; }

private:
    Kind m_kind;
    QString m_explanation;
};

// SQLite primary result codes the program words specially.
namespace sqlite_code {
constexpr int Error = 1;
constexpr int Permission = 3;
constexpr int Busy = 5;
constexpr int Locked = 6;
constexpr int ReadOnly = 8;
constexpr int IoError = 10;
constexpr int Corrupt = 11;
constexpr int Full = 13;
constexpr int CantOpen = 14;
constexpr int Constraint = 19;
constexpr int Mismatch = 20;
constexpr int NotADatabase = 26;
} // namespace sqlite_code

} // namespace data
