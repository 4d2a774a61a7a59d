#pragma once
// The windows of the core's dialog models: login, create room, microphone time, unlock and
// payment, and the hall window itself. Each draws its model's fields, copies what the person
// typed back before OK, and leaves every check to the model.

class CHallWindow;
class CQtDialogHost;

// Registers every window with the host; the hall window serves the hall's model when given.
void RegisterCoreDialogs(CQtDialogHost& host, CHallWindow* hallWindow);
