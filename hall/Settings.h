#pragma once
// The settings every part of the client reads, in the profile of the edition (section "Main"),
// with their built-in defaults; and the small rules that settle values at start.

#include <QString>

class CProfileStore;
struct tagSettings;
struct tagProgramVersion;

// Gives ServerPort, ServerTcpPort, IsMicMute and IsOpenMix their defaults when they are
// missing or are not 32-bit numbers (a text left there by hand or by an older client).
void RepairIntegerSettings(CProfileStore& profile);

// Reads every profile setting with its default. defaultHallAddress stands for a ServerIP the
// profile does not have.
void LoadSettings(const CProfileStore& profile, const QString& defaultHallAddress,
                  tagSettings& settings);

// At most 32 characters; angle brackets become their full-width forms and "|#" becomes "| #",
// so a nickname cannot pass for markup or a face token in a chat line.
QString SanitizeVisitorNickname(const QString& nickname);

// The scheme and host part of an address: everything before the first "/" after the scheme.
QString SiteRoot(const QString& address);

// The four parts of the version written one after another in decimal and read back as one
// number: 1.8.2.8 gives 1828.
int ClientVersionNumber(const tagProgramVersion& version);

// The room to enter at start: the text after the first blank of the command line, as a
// decimal number; 0 when there is none.
int ParseStartRoom(const QString& commandLine);
