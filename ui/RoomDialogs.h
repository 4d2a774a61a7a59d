#pragma once
// The windows of the room's dialog models that run the room: the nickname, the topic, the
// lock, kicking, banning and the report. Each draws its model, copies what the person typed
// back before OK and leaves every check to the model.

class CQtDialogHost;

void RegisterRoomDialogs(CQtDialogHost& host);
