#pragma once

#include <QStringList>
#include <QTextStream>

// velmora-db: the command-line companion that creates and looks after velmora.mdb.
// args excludes the program name; returns the exit status.
int runDbTool(const QStringList& args, QTextStream& out, QTextStream& err);
