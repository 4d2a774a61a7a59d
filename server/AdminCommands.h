#pragma once
// The admin command line: create and seed the database, add accounts, areas and rooms, set
// passwords, room settings and ranks, ban, and queue work for a running service (notices,
// settings reloads, telling clients to quit or to go to a room). The running service reads
// the queue from the same database.

#include <QStringList>
#include <QTextStream>

class CStore;

// Runs one command (the words after "admin"). 0 done, 1 failed, 2 not understood.
int RunAdminCommand(CStore& store, const QStringList& args, QTextStream& out);
QString AdminUsage();
