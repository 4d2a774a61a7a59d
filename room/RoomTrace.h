#pragma once
// Trace lines of the room, written under the component name "TavoClient".

void RoomTrace(const char* text);
