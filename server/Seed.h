#pragma once
// The demo data: a few areas and rooms, a handful of accounts with known passwords, room
// formats. Listed in server/README.md.

class CStore;

// False when any of it could not be written (for instance because it is there already).
bool SeedDemoData(CStore& store);
