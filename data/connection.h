#pragma once

#include "data/database.h"

#include <QString>
#include <memory>

// The program's shared connection to velmora.mdb. Record sets opened on it keep their own
// reference, so replacing it never pulls a connection from under an open record set.
extern std::shared_ptr<data::Database> Connexion;

// A fresh connection to velmora.mdb in the program's folder replaces Connexion.
// Throws data::OpenError when the file is missing, locked or not a Velmora file.
void OuvrirConnexion();
