#pragma once
// Numbers of the texts the windows show (res/strings/ui.txt). The system's own numbered
// texts keep their numbers and are used by number where they appear.

enum : int {
    IDS_UI_OK = 43000,
    IDS_UI_CANCEL = 43001,
    IDS_UI_YES = 43002,
    IDS_UI_NO = 43003,
};
