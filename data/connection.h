#pragma once

#include "data/database.h"

#include <QString>
#include <memory>

// The program's shared connection to velmora.mdb. Record sets opened on it keep their own
// reference, so replacing it never pulls a connection from under an open record set.
extern std::shared_ptr<data::Database> Connexion;

// A fresh connection to velmora.mdb in the program's folder replaces Connexion, read-only
// when the one it replaces was: a file the program could not lock stays read-only in every
// window. Throws data::OpenError when the file is missing, locked or not a Velmora file.
void OuvrirConnexion();

// The first connection of a program that could not lock the file: the engine refuses every
// write, and nothing is added to an older file.
void OuvrirConnexionLectureSeule();

// Whether Connexion is open read-only: the windows then offer no write.
bool ConnexionLectureSeule();

// What a window says when a write is asked of it on a read-only connection.
QString MessageLectureSeule();
