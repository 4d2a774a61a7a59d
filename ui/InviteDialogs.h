#pragma once
// The windows of a private-chat invitation: the inviter's reason and greeting, and the
// invitee's question with its countdown.

class CQtDialogHost;

void RegisterInviteDialogs(CQtDialogHost& host);
