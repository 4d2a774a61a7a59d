#pragma once
// The one table of command codes (key 10 of every packet): a name, the number and the feature
// that owns it. The named constants come from this table, and dispatchers register their
// handlers against it, so a test can find any code of a built feature that has no handler.
// Add new codes here, in the group of the feature that owns them.

enum class EFeature {
    Connection,   // the TCP connection itself
    Center,       // hall (center) server requests and replies
    Entry,        // room connection and entry
    Dispatch,     // the room's own notices
    Members,      // members and ranks
    Mic,          // microphone order
    Chat,         // chat text
    Admin,        // room administration
    Gifts,        // gifts and stamps
    PrivateChat,  // private chat and the direct link
    MicGuard,     // mic-guard members
    Scoring,      // scoring activity
    Audio,        // voice transport
    Video,        // video sending and receiving
    Log,          // the remote trace channel
};

// X(name, code, feature)
#define TAVO_COMMANDS(X)                          \
    /* the connection */                          \
    X(KEEPALIVE, 99, Connection)                  \
    /* hall server: requests and their replies */ \
    X(VERSION_REPLY, 2, Center)                   \
    X(VERSION, 3, Center)                         \
    X(ROOM_ADDRESS_REPLY, 31, Center)             \
    X(ROOM_ADDRESS, 32, Center)                   \
    X(VISITOR_REPLY, 36, Center)                  \
    X(VISITOR, 37, Center)                        \
    X(LOGIN_REPLY, 41, Center)                    \
    X(LOGIN, 42, Center)                          \
    X(LOGOUT_REPLY, 51, Center)                   \
    X(LOGOUT, 52, Center)                         \
    X(QUIT, 57, Center)                           \
    X(SERVER_QUIT, 58, Center)                    \
    X(USER_INFO_REPLY, 61, Center)                \
    X(USER_INFO, 62, Center)                      \
    X(CENTER_REPLY_66, 66, Center)                \
    X(PRESENCE_REPLY, 71, Center)                 \
    X(PRESENCE, 72, Center)                       \
    X(ENTRY_INFO_REPLY, 76, Center)               \
    X(ENTRY_INFO, 77, Center)                     \
    X(ROOM_LIST_REPLY, 81, Center)                \
    X(ROOM_LIST, 82, Center)                      \
    X(OWN_ROOMS_REPLY, 86, Center)                \
    X(OWN_ROOMS, 87, Center)                      \
    X(ADD_FAVORITE_REPLY, 91, Center)             \
    X(ADD_FAVORITE, 92, Center)                   \
    X(CONFIG_PAGE, 456, Center)                   \
    X(CREATE_ROOM_REPLY, 641, Center)             \
    X(CREATE_ROOM, 642, Center)                   \
    X(LOGGED_ELSEWHERE, 770, Center)              \
    X(LOGGED_ELSEWHERE_ACK, 771, Center)          \
    X(ROOM_FORMATS, 870, Center)                  \
    X(ROOM_FORMATS_REPLY, 871, Center)            \
    X(ROOM_ADDRESS_PUSH, 1101, Center)            \
    X(SERVER_INFO, 3100, Center)                  \
    X(SERVER_INFO_REPLY, 3110, Center)            \
    /* room entry */                              \
    X(ENTER, 110, Entry)                          \
    X(ENTER_REPLY, 111, Entry)                    \
    X(USER_VERIFIED, 120, Entry)                  \
    X(ROOM_LOGIN, 122, Entry)                     \
    X(ROOM_LOGIN_REPLY, 123, Entry)               \
    X(ENTER_PRIVATE, 150, PrivateChat)            \
    X(ENTER_PRIVATE_REPLY, 151, PrivateChat)      \
    X(LEAVE_PRIVATE, 160, PrivateChat)            \
    X(MEMBER_LIST, 180, Members)                  \
    X(MEMBER_LIST_REPLY, 181, Members)            \
    X(PEER_INFO, 190, PrivateChat)                \
    X(PEER_INFO_REPLY, 191, PrivateChat)          \
    X(ROOM_SETTINGS, 200, Entry)                  \
    X(ROOM_SETTINGS_REPLY, 210, Entry)            \
    X(ATTACH, 650, Entry)                         \
    X(ATTACH_REPLY, 651, Entry)                   \
    X(FORCED_EXIT, 670, Entry)                    \
    X(REPORT_INFO, 680, Admin)                    \
    X(REPORT_INFO_REPLY, 681, Admin)              \
    /* the room's own notices */                  \
    X(TIMED_NOTICE, 614, Dispatch)                \
    X(TEXT_NOTICE, 780, Chat)                     \
    /* members and ranks */                       \
    X(ARRIVAL, 130, Members)                      \
    X(PRIVATE_ROOM_131, 131, PrivateChat)         \
    X(DEPARTURE, 170, Members)                    \
    X(SIDE_LIST, 1060, Members)                   \
    /* microphone order */                        \
    X(MIC_QUEUE, 220, Mic)                        \
    X(MIC_QUEUE_REPLY, 221, Mic)                  \
    X(MIC_TIME, 270, Mic)                         \
    X(MIC_TIME_REPLY, 271, Mic)                   \
    X(MIC_TIME_CHANGED, 272, Mic)                 \
    X(MIC_MODE, 290, Mic)                         \
    X(MIC_MODE_REPLY, 291, Mic)                   \
    X(MIC_MODE_CHANGED, 292, Mic)                 \
    X(QUEUE_CONTROL, 320, Mic)                    \
    X(QUEUE_CONTROL_REPLY, 321, Mic)              \
    X(QUEUE_CHANGED, 322, Mic)                    \
    X(SECOND_MIC_CONTROL, 325, Mic)               \
    X(SECOND_MIC_CONTROL_REPLY, 326, Mic)         \
    X(SECOND_MIC_CONTROL_CHANGED, 327, Mic)       \
    X(HAND_MIC, 400, Mic)                         \
    X(HAND_MIC_REPLY, 401, Mic)                   \
    X(MIC_HANDED, 402, Mic)                       \
    X(TAKE_BACK_MIC, 403, Mic)                    \
    X(TAKE_BACK_MIC_REPLY, 404, Mic)              \
    X(MIC_TAKEN_BACK, 405, Mic)                   \
    X(HAND_SECOND_MIC, 410, Mic)                  \
    X(HAND_SECOND_MIC_REPLY, 411, Mic)            \
    X(SECOND_MIC_HANDED, 412, Mic)                \
    X(GRAB_MIC, 420, Mic)                         \
    X(GRAB_MIC_REPLY, 421, Mic)                   \
    X(QUEUE_JOINED, 422, Mic)                     \
    X(MIC_TAKEN, 430, Mic)                        \
    X(RELEASE_MIC, 440, Mic)                      \
    X(RELEASE_MIC_REPLY, 441, Mic)                \
    X(MIC_RELEASED, 442, Mic)                     \
    X(RELEASE_SECOND_MIC, 530, Mic)               \
    X(RELEASE_SECOND_MIC_REPLY, 531, Mic)         \
    X(SECOND_MIC_RELEASED, 532, Mic)              \
    X(EXTEND_MIC, 600, Mic)                       \
    X(EXTEND_MIC_REPLY, 601, Mic)                 \
    X(MIC_EXTENDED, 602, Mic)                     \
    X(PRIVATE_MIC, 1010, Mic)                     \
    X(PRIVATE_MIC_REPLY, 1011, Mic)               \
    X(PRIVATE_MIC_CHANGED, 1012, Mic)             \
    X(VISIT_PRIVATE_MIC, 1020, Mic)               \
    X(VISIT_PRIVATE_MIC_REPLY, 1021, Mic)         \
    X(PRIVATE_MIC_VISITED, 1022, Mic)             \
    X(PRIVATE_MIC_NOTICE, 1031, Mic)              \
    X(RELEASE_PRIVATE_MIC, 1040, Mic)             \
    X(RELEASE_PRIVATE_MIC_REPLY, 1041, Mic)       \
    X(PRIVATE_MIC_RELEASED, 1042, Mic)            \
    X(SEND_OFF_PRIVATE_MIC, 1050, Mic)            \
    X(SEND_OFF_PRIVATE_MIC_REPLY, 1051, Mic)      \
    X(SENT_OFF_PRIVATE_MIC, 1052, Mic)            \
    X(HAND_HANDLE, 1070, Mic)                     \
    X(HAND_HANDLE_REPLY, 1071, Mic)               \
    X(HANDLE_HANDED, 1072, Mic)                   \
    /* chat text */                               \
    X(TEXT, 450, Chat)                            \
    X(TEXT_REPLY, 451, Chat)                      \
    X(TEXT_LINE, 452, Chat)                       \
    /* administration */                          \
    X(NICKNAME, 250, Admin)                       \
    X(NICKNAME_REPLY, 251, Admin)                 \
    X(NICKNAME_CHANGED, 252, Admin)               \
    X(ROOM_FAVORITE, 260, Admin)                  \
    X(ROOM_FAVORITE_REPLY, 261, Admin)            \
    X(TOPIC, 280, Admin)                          \
    X(TOPIC_REPLY, 281, Admin)                    \
    X(TOPIC_CHANGED, 282, Admin)                  \
    X(PUBLIC_TEXT_CONTROL, 300, Admin)            \
    X(PUBLIC_TEXT_CONTROL_REPLY, 301, Admin)      \
    X(PUBLIC_TEXT_CHANGED, 302, Admin)            \
    X(LOCK_ROOM, 310, Admin)                      \
    X(LOCK_ROOM_REPLY, 311, Admin)                \
    X(ROOM_LOCK_CHANGED, 312, Admin)              \
    X(VIDEO_CONTROL, 315, Admin)                  \
    X(VIDEO_CONTROL_REPLY, 316, Admin)            \
    X(VIDEO_CONTROL_CHANGED, 317, Admin)          \
    X(KICK, 330, Admin)                           \
    X(KICK_REPLY, 331, Admin)                     \
    X(KICKED, 332, Admin)                         \
    X(TYPE_CONTROL, 340, Admin)                   \
    X(TYPE_CONTROL_REPLY, 341, Admin)             \
    X(TYPE_CONTROL_CHANGED, 342, Admin)           \
    X(GRAB_CONTROL, 350, Admin)                   \
    X(GRAB_CONTROL_REPLY, 351, Admin)             \
    X(GRAB_CONTROL_CHANGED, 352, Admin)           \
    X(FORCE_NICKNAME, 360, Admin)                 \
    X(FORCE_NICKNAME_REPLY, 361, Admin)           \
    X(NICKNAME_FORCED, 362, Admin)                \
    X(BAN, 370, Admin)                            \
    X(BAN_REPLY, 371, Admin)                      \
    X(BANNED, 372, Admin)                         \
    X(OP_CONTROL, 380, Admin)                     \
    X(OP_CONTROL_REPLY, 381, Admin)               \
    X(RANK_CHANGED, 382, Members)                 \
    X(REPORT, 560, Admin)                         \
    X(REPORT_REPLY, 561, Admin)                   \
    X(ROOM_NAME_CHANGED, 820, Admin)              \
    X(VIDEO_PERMISSION_CHANGED, 830, Admin)       \
    X(ROOM_DISABLED, 840, Admin)                  \
    /* gifts */                                   \
    X(GIFT, 390, Gifts)                           \
    X(GIFT_REPLY, 391, Gifts)                     \
    X(GIFT_GIVEN, 392, Gifts)                     \
    X(STAMP, 393, Gifts)                          \
    X(STAMP_REPLY, 394, Gifts)                    \
    X(GIFT_INFO, 395, Gifts)                      \
    X(GIFT_INFO_REPLY, 396, Gifts)                \
    /* private chat */                            \
    X(PRIVATE_REQUEST, 520, PrivateChat)          \
    X(PRIVATE_REQUEST_REPLY, 521, PrivateChat)    \
    X(PRIVATE_REQUESTED, 522, PrivateChat)        \
    X(PRIVATE_ANSWER, 550, PrivateChat)           \
    X(PRIVATE_ANSWER_REPLY, 551, PrivateChat)     \
    X(PRIVATE_ANSWERED, 552, PrivateChat)         \
    X(MOVE_TO_PRIVATE, 553, PrivateChat)          \
    X(PRIVATE_FAILED, 555, PrivateChat)           \
    /* scoring activity */                        \
    X(ACTIVITY, 900, Scoring)                     \
    X(ACTIVITY_REPLY, 901, Scoring)               \
    X(ACTIVITY_ORGANISED, 902, Scoring)           \
    X(ACTIVITY_ENDED, 920, Scoring)               \
    X(SCORE_REQUEST, 930, Scoring)                \
    X(SCORE_REQUEST_REPLY, 931, Scoring)          \
    X(SCORING_MEMBER, 935, Scoring)               \
    X(SCORE_SUBMIT, 937, Scoring)                 \
    X(SCORE_SUBMIT_REPLY, 938, Scoring)           \
    X(SCORING_RESULT, 950, Scoring)               \
    /* audio */                                   \
    X(AUDIO_CONTROL, 230, Audio)                  \
    X(AUDIO_CONTROL_REPLY, 231, Audio)            \
    X(AUDIO, 460, Audio)                          \
    X(QUALITY, 500, Audio)                        \
    X(QUALITY_REPLY, 501, Audio)                  \
    X(QUALITY_CHANGED, 502, Audio)                \
    /* video */                                   \
    X(VIDEO_OFF_UNATTENDED, 140, Video)           \
    X(VIDEO_REQUEST, 240, Video)                  \
    X(VIDEO_REQUEST_REPLY, 241, Video)            \
    X(VIDEO, 470, Video)                          \
    X(SNAPSHOT_CONTROL, 480, Video)               \
    X(SNAPSHOT_CONTROL_REPLY, 481, Video)         \
    X(RECORD_CONTROL, 490, Video)                 \
    X(RECORD_CONTROL_REPLY, 491, Video)           \
    X(WATCH, 610, Video)                          \
    X(WATCH_REPLY, 611, Video)                    \
    X(WATCH_ASKED, 612, Video)                    \
    X(WATCH_ANSWER, 613, Video)                   \
    X(WATCH_ENDED, 615, Video)                    \
    X(VIDEO_STATE, 620, Video)                    \
    X(VIDEO_STATE_REPLY, 621, Video)              \
    X(VIDEO_STATE_CHANGED, 622, Video)            \
    X(VIDEO_PARAMS, -263, Video)                  \
    /* the remote trace channel */                \
    X(LOG_LINE, 1100, Log)

enum ECommand : short {
#define TAVO_COMMAND_ENUM(name, code, feature) CMD_##name = code,
    TAVO_COMMANDS(TAVO_COMMAND_ENUM)
#undef TAVO_COMMAND_ENUM
};

struct tagCommandInfo {
    short code;
    const char* name;
    EFeature feature;
};

// Every command of the table, in table order.
const tagCommandInfo* CommandTable(int* count);
// The entry of a code, or nullptr.
const tagCommandInfo* FindCommand(short code);
