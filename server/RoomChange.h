#pragma once
// The steps every change a member asks of the room takes, in one place: the asker's rank, the
// request's own checks and the change itself, the answer, and the announcement the whole room
// hears of it. Each handler brings only its own rules.

#include "protocol/Refusal.h"
#include "server/RoomServer.h"

#include <functional>
#include <optional>

// Who may ask for a change: the least rank (0: anyone inside the room), and what a visitor
// below it hears; a registered member below it hears "操作被禁止".
struct tagChangeRule {
    int rank = 0;
    int visitorRefusal = REFUSE_FORBIDDEN;
};

inline constexpr tagChangeRule kAnyoneInside{};

// The request's checks and then the change: 0 once it is made, otherwise the refusal, and
// nothing has changed.
using ChangeStep = std::function<int()>;
// Runs after the answer: what the room hears of the change. Empty when the change announced
// itself on the way (a microphone taken announces its holder); it may first end what the
// change replaces (the holder's turn, before the room hears who hands the microphone on).
using AnnounceStep = std::function<std::optional<CKParam>()>;

// Takes the request through the steps; a step left empty is skipped. True when the change was
// made and answered, for what the handler does after it.
bool AnnounceChange(tagRoomRequest& r, const tagChangeRule& rule, const ChangeStep& change,
                    const AnnounceStep& announce);
