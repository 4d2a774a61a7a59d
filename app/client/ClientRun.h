#pragma once
// Running a client from its start to its end, the same way in both programs.

#include "hall/TavoClientApp.h"

class CPrivateLink;

// Runs the start-up and the hall window until the user quits (or the start ends early). The
// end of the hall's loop is the application's quit: from then on no capture thread sends
// voice, although the room and its capture object outlive the loop while the program takes
// itself apart and a block may still complete.
EStartResult RunClient(CTavoClientApp& app, const tagAppStart& start);

// Several clients on one machine each take an address of their own for the private chat's
// direct link (TAVO_P2P_ADDRESS), and report it as theirs so that the peer connects there.
void UseOwnLinkAddress(CPrivateLink& link);
