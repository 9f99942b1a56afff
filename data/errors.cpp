#include "data/errors.h"

namespace errors {

QString engineWords(int code, const QString& engineText) {
    if (engineText.trimmed().isEmpty())
        return QStringLiteral("Erreur n° %1").arg(code);
    return QStringLiteral("Erreur n° %1 : %2").arg(code).arg(engineText);
}

QString describe(const data::DbError& error) {
    namespace code = data::sqlite_code;
    const QString engine = engineWords(error.code(), error.engineText());
    // The opening already said, naming the file, what the sentences below would guess.
    if (const auto* open = dynamic_cast<const data::OpenError*>(&error);
        open && !open->explanation().isEmpty())
        return open->explanation() + QStringLiteral("\n\n") + engine;
    QString plain;
    switch (error.code()) {
    case code::Busy:
    case code::Locked:
        plain = QStringLiteral("Le fichier de données est utilisé par un autre programme. "
                               "Rien n'a été enregistré ; réessayez dans un instant.");
        break;
    case code::Full:
        plain = QStringLiteral("Le disque est plein. Rien n'a été enregistré ; libérez de la "
                               "place puis recommencez.");
        break;
    case code::ReadOnly:
    case code::Permission:
        plain = QStringLiteral("Le fichier de données (ou son dossier) est en lecture seule. "
                               "Rien n'a été enregistré.");
        break;
    case code::CantOpen:
        // During a write this is the journal beside the file that cannot be created.
        plain = QStringLiteral("Le fichier de données ou son dossier n'est pas accessible en "
                               "écriture. Rien n'a été enregistré.");
        break;
    case code::IoError:
        plain = QStringLiteral("Erreur de lecture ou d'écriture du disque. Rien n'a été "
                               "enregistré.");
        break;
    case code::Corrupt:
    case code::NotADatabase:
        plain = QStringLiteral("Le fichier de données est endommagé.");
        break;
    case code::Mismatch:
        plain = QStringLiteral("Une valeur n'a pas le type attendu. Rien n'a été enregistré.");
        break;
    default:
        break;
    }
    return plain.isEmpty() ? engine : plain + QStringLiteral("\n\n") + engine;
}

} // namespace errors
