#include "data/connection.h"

#include "data/paths.h"
#include "data/schema.h"

std::shared_ptr<data::Database> Connexion;

void OuvrirConnexion() {
    if (ConnexionLectureSeule())
        OuvrirConnexionLectureSeule();
    else
        Connexion = data::schema::openFile(paths::databaseFile());
}

void OuvrirConnexionLectureSeule() {
    Connexion = data::schema::openReadOnly(paths::databaseFile());
}

bool ConnexionLectureSeule() {
    return Connexion && Connexion->readOnly();
}

QString MessageLectureSeule() {
    return QStringLiteral("Le fichier de données est ouvert en lecture seule : rien ne peut y "
                          "être enregistré.");
}
