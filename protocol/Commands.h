#pragma once
// The one table of command codes (key 10 of every packet). Each row holds everything the
// client and the service know about a command: its name, its number, the feature that owns
// it, the code that answers it, the name its lines and dialogs show, the minimum interval
// between the user's attempts and how it travels. The constants, the room's request
// discipline, the reply routing of both connections and the private room's relay are all
// read from here; dispatchers register their handlers against it, so a test can find any
// code of a built feature that has no handler. Add new codes here, in the group of the
// feature that owns them.

#include "platform/StringIds.h"

#include <cstddef>

enum class EFeature {
    Connection,   // the TCP connection itself
    Center,       // hall (center) server requests and replies
    Entry,        // room connection and entry
    Dispatch,     // the room's own notices
    Members,      // members and ranks
    Mic,          // microphone order
    PrivateMic,   // the private microphones and the handle
    Chat,         // chat text
    Admin,        // room administration
    Gifts,        // gifts and stamps
    PrivateChat,  // private chat
    DirectLink,   // the direct link between a private pair and the files it carries
    MicGuard,     // mic-guard members
    Scoring,      // scoring activity
    Audio,        // voice transport
    Video,        // video sending and receiving
    Recording,    // recording and playing out video files
    Log,          // the remote trace channel
};

enum ECommandFlag : unsigned {
    CF_NONE = 0,
    // The room's generic reply answers the request: the pending flag, the timer and the
    // success or failure line.
    CF_GENERIC = 1u << 0,
    // The request carries the two configuration keys 101 and 102 after its own keys.
    CF_CONFIG_KEYS = 1u << 1,
    // Arriving on the private room's connection, the packet goes to the private room.
    CF_PRIVATE_ROOM = 1u << 2,
    // A reply that ends the dialog waiting for it: the hall's request dialog, the room's
    // waiting dialog.
    CF_DIALOG_REPLY = 1u << 3,
    // The owning feature, not the generic reply, ends the request when its reply comes.
    CF_OWNER_ENDS = 1u << 4,
    // The request's timer runs 40 s instead of 20 s.
    CF_LONG_WAIT = 1u << 5,
    // No waiting or success line: the user sees the result itself (a chat line).
    CF_QUIET = 1u << 6,
    // Sent without a pending flag or a timer: the feature keeps its own state of the request
    // (a scoring round), and its reply still writes the success or failure line.
    CF_UNTRACKED = 1u << 7,
};

constexpr ECommandFlag operator|(ECommandFlag a, ECommandFlag b) {
    return static_cast<ECommandFlag>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// X(name, code, feature, reply, title, interval, flags)
//   reply     the code that answers the request; 0 when nothing does
//   title     the string id of the operation's name in its lines and its dialog; 0 for none
//   interval  seconds the user must leave between two attempts; 0 when free
// clang-format off
#define TAVO_COMMANDS(X)                                                                                  \
    /* the connection */                                                                                  \
    X(KEEPALIVE,                  99,   Connection,  0,    0,                          0,  CF_NONE)        \
    /* hall server: requests and their replies */                                                        \
    X(VERSION_REPLY,              2,    Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(VERSION,                    3,    Center,      2,    IDS_GET_VERSION,            0,  CF_NONE)        \
    X(ROOM_ADDRESS_REPLY,         31,   Center,      0,    0,                          0,  CF_NONE)        \
    X(ROOM_ADDRESS,               32,   Center,      31,   0,                          0,  CF_NONE)        \
    X(VISITOR_REPLY,              36,   Center,      0,    0,                          0,  CF_NONE)        \
    X(VISITOR,                    37,   Center,      36,   0,                          0,  CF_NONE)        \
    X(LOGIN_REPLY,                41,   Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(LOGIN,                      42,   Center,      41,   IDS_LOGIN,                  5,  CF_NONE)        \
    X(LOGOUT_REPLY,               51,   Center,      0,    0,                          0,  CF_NONE)        \
    X(LOGOUT,                     52,   Center,      51,   0,                          0,  CF_NONE)        \
    X(QUIT,                       57,   Center,      0,    0,                          0,  CF_NONE)        \
    X(SERVER_QUIT,                58,   Center,      0,    0,                          0,  CF_NONE)        \
    X(USER_INFO_REPLY,            61,   Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(USER_INFO,                  62,   Center,      61,   IDS_GET_USER_INFO,          0,  CF_NONE)        \
    X(CENTER_REPLY_66,            66,   Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(PRESENCE_REPLY,             71,   Center,      0,    0,                          0,  CF_NONE)        \
    X(PRESENCE,                   72,   Center,      71,   0,                          0,  CF_NONE)        \
    X(ENTRY_INFO_REPLY,           76,   Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(ENTRY_INFO,                 77,   Center,      76,   IDS_SET_ENTRY_INFO,         0,  CF_NONE)        \
    X(ROOM_LIST_REPLY,            81,   Center,      0,    0,                          0,  CF_NONE)        \
    X(ROOM_LIST,                  82,   Center,      81,   0,                          0,  CF_NONE)        \
    X(OWN_ROOMS_REPLY,            86,   Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(OWN_ROOMS,                  87,   Center,      86,   IDS_GET_OWN_ROOMS,          0,  CF_NONE)        \
    X(ADD_FAVORITE_REPLY,         91,   Center,      0,    0,                          0,  CF_NONE)        \
    X(ADD_FAVORITE,               92,   Center,      91,   0,                          0,  CF_NONE)        \
    X(CONFIG_PAGE,                456,  Center,      0,    IDS_GET_CONFIG,             0,  CF_NONE)        \
    X(CREATE_ROOM_REPLY,          641,  Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(CREATE_ROOM,                642,  Center,      641,  IDS_CREATE_ROOM,            0,  CF_NONE)        \
    X(LOGGED_ELSEWHERE,           770,  Center,      0,    0,                          0,  CF_NONE)        \
    X(LOGGED_ELSEWHERE_ACK,       771,  Center,      0,    0,                          0,  CF_NONE)        \
    X(ROOM_FORMATS,               870,  Center,      871,  IDS_GET_ROOM_FORMATS,       0,  CF_NONE)        \
    X(ROOM_FORMATS_REPLY,         871,  Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    X(ROOM_ADDRESS_PUSH,          1101, Center,      0,    0,                          0,  CF_NONE)        \
    X(SERVER_INFO,                3100, Center,      3110, IDS_GET_SERVER_INFO,        0,  CF_NONE)        \
    X(SERVER_INFO_REPLY,          3110, Center,      0,    0,                          0,  CF_DIALOG_REPLY) \
    /* room entry */                                                                                      \
    X(ENTER,                      110,  Entry,       111,  IDS_OP_ENTER,               0,  CF_NONE)        \
    X(ENTER_REPLY,                111,  Entry,       0,    0,                          0,  CF_DIALOG_REPLY) \
    X(USER_VERIFIED,              120,  Entry,       0,    0,                          0,  CF_NONE)        \
    X(ROOM_LOGIN,                 122,  Entry,       123,  IDS_OP_ROOM_LOGIN,          0,  CF_NONE)        \
    X(ROOM_LOGIN_REPLY,           123,  Entry,       0,    0,                          0,  CF_DIALOG_REPLY) \
    X(ROOM_SETTINGS,              200,  Entry,       210,  IDS_OP_ROOM_SETTINGS,       0,  CF_NONE)        \
    X(ROOM_SETTINGS_REPLY,        210,  Entry,       0,    0,                          0,  CF_DIALOG_REPLY) \
    X(ATTACH,                     650,  Entry,       651,  0,                          0,  CF_NONE)        \
    X(ATTACH_REPLY,               651,  Entry,       0,    0,                          0,  CF_NONE)        \
    X(FORCED_EXIT,                670,  Entry,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* the room's own notices */                                                                          \
    X(TIMED_NOTICE,               614,  Dispatch,    0,    0,                          0,  CF_NONE)        \
    /* members and ranks */                                                                               \
    X(ARRIVAL,                    130,  Members,     0,    0,                          0,  CF_NONE)        \
    X(DEPARTURE,                  170,  Members,     0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(MEMBER_LIST,                180,  Members,     181,  IDS_OP_MEMBER_LIST,         0,  CF_NONE)        \
    X(MEMBER_LIST_REPLY,          181,  Members,     0,    0,                          0,  CF_DIALOG_REPLY) \
    X(RANK_CHANGED,               382,  Members,     0,    0,                          0,  CF_NONE)        \
    X(SIDE_LIST,                  1060, Members,     0,    0,                          0,  CF_NONE)        \
    /* microphone order */                                                                                \
    X(MIC_QUEUE,                  220,  Mic,         221,  0,                          0,  CF_NONE)        \
    X(MIC_QUEUE_REPLY,            221,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_TIME,                   270,  Mic,         271,  IDS_OP_MIC_TIME,            0,  CF_GENERIC)     \
    X(MIC_TIME_REPLY,             271,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_TIME_CHANGED,           272,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_MODE,                   290,  Mic,         291,  IDS_OP_MIC_MODE,            0,  CF_GENERIC)     \
    X(MIC_MODE_REPLY,             291,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_MODE_CHANGED,           292,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(QUEUE_CONTROL,              320,  Mic,         321,  IDS_OP_QUEUE_CONTROL,       0,  CF_GENERIC)     \
    X(QUEUE_CONTROL_REPLY,        321,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(QUEUE_CHANGED,              322,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(SECOND_MIC_CONTROL,         325,  Mic,         326,  IDS_OP_SECOND_MIC_CONTROL,  0,  CF_GENERIC)     \
    X(SECOND_MIC_CONTROL_REPLY,   326,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(SECOND_MIC_CONTROL_CHANGED, 327,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(HAND_MIC,                   400,  Mic,         401,  IDS_OP_HAND_MIC,            5,  CF_GENERIC)     \
    X(HAND_MIC_REPLY,             401,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_HANDED,                 402,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(TAKE_BACK_MIC,              403,  Mic,         404,  IDS_OP_TAKE_BACK_MIC,       0,  CF_GENERIC)     \
    X(TAKE_BACK_MIC_REPLY,        404,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_TAKEN_BACK,             405,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(HAND_SECOND_MIC,            410,  Mic,         411,  IDS_OP_HAND_SECOND_MIC,     5,  CF_GENERIC)     \
    X(HAND_SECOND_MIC_REPLY,      411,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(SECOND_MIC_HANDED,          412,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(GRAB_MIC,                   420,  Mic,         421,  IDS_OP_GRAB_MIC,            10, CF_GENERIC)     \
    X(GRAB_MIC_REPLY,             421,  Mic,         0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(QUEUE_JOINED,               422,  Mic,         0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(MIC_TAKEN,                  430,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(RELEASE_MIC,                440,  Mic,         441,  IDS_OP_RELEASE_MIC,         0,  CF_GENERIC)     \
    X(RELEASE_MIC_REPLY,          441,  Mic,         0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(MIC_RELEASED,               442,  Mic,         0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(RELEASE_SECOND_MIC,         530,  Mic,         531,  IDS_OP_RELEASE_SECOND_MIC,  0,  CF_GENERIC)     \
    X(RELEASE_SECOND_MIC_REPLY,   531,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(SECOND_MIC_RELEASED,        532,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(EXTEND_MIC,                 600,  Mic,         601,  IDS_OP_EXTEND_MIC,          0,  CF_GENERIC)     \
    X(EXTEND_MIC_REPLY,           601,  Mic,         0,    0,                          0,  CF_NONE)        \
    X(MIC_EXTENDED,               602,  Mic,         0,    0,                          0,  CF_NONE)        \
    /* private microphones and the handle */                                                              \
    X(PRIVATE_MIC,                1010, PrivateMic,  1011, IDS_OP_PRIVATE_MIC,         10, CF_GENERIC)     \
    X(PRIVATE_MIC_REPLY,          1011, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_MIC_CHANGED,        1012, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(VISIT_PRIVATE_MIC,          1020, PrivateMic,  1021, 0,                          0,  CF_GENERIC)     \
    X(VISIT_PRIVATE_MIC_REPLY,    1021, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_MIC_VISITED,        1022, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_MIC_NOTICE,         1031, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(RELEASE_PRIVATE_MIC,        1040, PrivateMic,  1041, IDS_OP_RELEASE_PRIVATE_MIC, 0,  CF_GENERIC)     \
    X(RELEASE_PRIVATE_MIC_REPLY,  1041, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_MIC_RELEASED,       1042, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(SEND_OFF_PRIVATE_MIC,       1050, PrivateMic,  1051, 0,                          0,  CF_GENERIC)     \
    X(SEND_OFF_PRIVATE_MIC_REPLY, 1051, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(SENT_OFF_PRIVATE_MIC,       1052, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(HAND_HANDLE,                1070, PrivateMic,  1071, IDS_OP_HAND_HANDLE,         0,  CF_GENERIC)     \
    X(HAND_HANDLE_REPLY,          1071, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    X(HANDLE_HANDED,              1072, PrivateMic,  0,    0,                          0,  CF_NONE)        \
    /* chat text */                                                                                       \
    X(TEXT,                       450,  Chat,        451,  IDS_OP_TEXT,                2,  CF_GENERIC | CF_QUIET) \
    X(TEXT_REPLY,                 451,  Chat,        0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(TEXT_LINE,                  452,  Chat,        0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(TEXT_NOTICE,                780,  Chat,        0,    0,                          0,  CF_NONE)        \
    /* administration */                                                                                  \
    X(NICKNAME,                   250,  Admin,       251,  IDS_OP_NICKNAME,            20, CF_GENERIC | CF_CONFIG_KEYS) \
    X(NICKNAME_REPLY,             251,  Admin,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(NICKNAME_CHANGED,           252,  Admin,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(ROOM_FAVORITE,              260,  Admin,       261,  IDS_ADD_FAVORITE,           0,  CF_GENERIC | CF_CONFIG_KEYS) \
    X(ROOM_FAVORITE_REPLY,        261,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(TOPIC,                      280,  Admin,       281,  IDS_OP_TOPIC,               20, CF_GENERIC | CF_CONFIG_KEYS) \
    X(TOPIC_REPLY,                281,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(TOPIC_CHANGED,              282,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(PUBLIC_TEXT_CONTROL,        300,  Admin,       301,  IDS_OP_PUBLIC_TEXT,         0,  CF_GENERIC)     \
    X(PUBLIC_TEXT_CONTROL_REPLY,  301,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(PUBLIC_TEXT_CHANGED,        302,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(LOCK_ROOM,                  310,  Admin,       311,  IDS_OP_LOCK_ROOM,           0,  CF_GENERIC | CF_CONFIG_KEYS) \
    X(LOCK_ROOM_REPLY,            311,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(ROOM_LOCK_CHANGED,          312,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_CONTROL,              315,  Admin,       316,  IDS_OP_VIDEO_CONTROL,       0,  CF_GENERIC)     \
    X(VIDEO_CONTROL_REPLY,        316,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_CONTROL_CHANGED,      317,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(KICK,                       330,  Admin,       331,  IDS_OP_KICK,                4,  CF_GENERIC)     \
    X(KICK_REPLY,                 331,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(KICKED,                     332,  Admin,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(TYPE_CONTROL,               340,  Admin,       341,  IDS_OP_TYPE_CONTROL,        0,  CF_GENERIC)     \
    X(TYPE_CONTROL_REPLY,         341,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(TYPE_CONTROL_CHANGED,       342,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(GRAB_CONTROL,               350,  Admin,       351,  IDS_OP_GRAB_CONTROL,        0,  CF_GENERIC)     \
    X(GRAB_CONTROL_REPLY,         351,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(GRAB_CONTROL_CHANGED,       352,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(FORCE_NICKNAME,             360,  Admin,       361,  IDS_OP_FORCE_NICKNAME,      0,  CF_GENERIC | CF_CONFIG_KEYS) \
    X(FORCE_NICKNAME_REPLY,       361,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(NICKNAME_FORCED,            362,  Admin,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(BAN,                        370,  Admin,       371,  IDS_OP_BAN,                 0,  CF_GENERIC)     \
    X(BAN_REPLY,                  371,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(BANNED,                     372,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(OP_CONTROL,                 380,  Admin,       381,  IDS_OP_OP_CONTROL,          0,  CF_GENERIC)     \
    X(OP_CONTROL_REPLY,           381,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(REPORT,                     560,  Admin,       561,  IDS_OP_REPORT,              0,  CF_GENERIC)     \
    X(REPORT_REPLY,               561,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(REPORT_INFO,                680,  Admin,       681,  IDS_OP_REPORT_INFO,         0,  CF_NONE)        \
    X(REPORT_INFO_REPLY,          681,  Admin,       0,    0,                          0,  CF_DIALOG_REPLY) \
    X(ROOM_NAME_CHANGED,          820,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_PERMISSION_CHANGED,   830,  Admin,       0,    0,                          0,  CF_NONE)        \
    X(ROOM_DISABLED,              840,  Admin,       0,    0,                          0,  CF_NONE)        \
    /* gifts */                                                                                           \
    X(GIFT,                       390,  Gifts,       391,  IDS_OP_GIFT,                0,  CF_GENERIC | CF_CONFIG_KEYS) \
    X(GIFT_REPLY,                 391,  Gifts,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(GIFT_GIVEN,                 392,  Gifts,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(STAMP,                      393,  Gifts,       394,  IDS_OP_STAMP,               0,  CF_GENERIC)     \
    X(STAMP_REPLY,                394,  Gifts,       0,    0,                          0,  CF_NONE)        \
    X(GIFT_INFO,                  395,  Gifts,       396,  IDS_OP_GIFT_INFO,           0,  CF_GENERIC)     \
    X(GIFT_INFO_REPLY,            396,  Gifts,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* private chat */                                                                                    \
    X(PEER_IN_PRIVATE_ROOM,       131,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(ENTER_PRIVATE,              150,  PrivateChat, 151,  IDS_OP_ENTER_PRIVATE,       0,  CF_NONE)        \
    X(ENTER_PRIVATE_REPLY,        151,  PrivateChat, 0,    0,                          0,  CF_DIALOG_REPLY) \
    X(LEAVE_PRIVATE,              160,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PEER_INFO,                  190,  PrivateChat, 191,  IDS_OP_PEER_INFO,           0,  CF_NONE)        \
    X(PEER_INFO_REPLY,            191,  PrivateChat, 0,    0,                          0,  CF_DIALOG_REPLY) \
    X(BANDWIDTH,                  510,  PrivateChat, 511,  IDS_OP_BANDWIDTH,           0,  CF_GENERIC)     \
    X(BANDWIDTH_REPLY,            511,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(BANDWIDTH_CHANGED,          512,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(PRIVATE_REQUEST,            520,  PrivateChat, 521,  0,                          0,  CF_OWNER_ENDS | CF_LONG_WAIT) \
    X(PRIVATE_REQUEST_REPLY,      521,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_REQUESTED,          522,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_ANSWER,             550,  PrivateChat, 551,  0,                          0,  CF_OWNER_ENDS)  \
    X(PRIVATE_ANSWER_REPLY,       551,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_ANSWERED,           552,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(MOVE_TO_PRIVATE,            553,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_GIVE_UP,            554,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_FAILED,             555,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_TICK,               850,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_TOCK,               860,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(FILE_OFFER,                 633,  PrivateChat, 634,  0,                          0,  CF_NONE)        \
    X(FILE_OFFER_REPLY,           634,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_OFFERED,               635,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_ANSWER,                636,  PrivateChat, 0,    0,                          0,  CF_NONE)        \
    X(PRIVATE_SPEAK,              660,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(SNAPSHOT_CONTROL,           480,  PrivateChat, 481,  IDS_OP_SNAPSHOT_CONTROL,    0,  CF_GENERIC)     \
    X(SNAPSHOT_CONTROL_REPLY,     481,  PrivateChat, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* the direct link between a private pair, and the file transfer that runs on it or, without */  \
    /* it, through the service; the file commands are ours */                                       \
    X(P2P_CLOSE,                  97,   DirectLink,  0,    0,                          0,  CF_NONE)        \
    X(P2P_CONFIRM,                876,  DirectLink,  0,    0,                          0,  CF_NONE)        \
    X(FILE_BEGIN,                 16330, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_DATA,                  16331, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_ACK,                   16332, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_END,                   16333, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_DONE,                  16334, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(FILE_CANCEL,                16335, DirectLink, 0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* mic guards: a connection of its own that enters and stays silent; nothing answers */        \
    X(GUARD_ENTER,                10131, MicGuard,   0,    0,                          0,  CF_NONE)        \
    /* scoring activity */                                                                                \
    X(ACTIVITY,                   900,  Scoring,     901,  IDS_OP_ACTIVITY,            0,  CF_GENERIC | CF_CONFIG_KEYS | CF_UNTRACKED) \
    X(ACTIVITY_REPLY,             901,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(ACTIVITY_ORGANISED,         902,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(ACTIVITY_ENDED,             920,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(SCORE_REQUEST,              930,  Scoring,     931,  IDS_OP_SCORE_REQUEST,       0,  CF_GENERIC | CF_CONFIG_KEYS | CF_UNTRACKED) \
    X(SCORE_REQUEST_REPLY,        931,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(SCORING_MEMBER,             935,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(SCORE_SUBMIT,               937,  Scoring,     938,  IDS_OP_SCORE_SUBMIT,        0,  CF_GENERIC)     \
    X(SCORE_SUBMIT_REPLY,         938,  Scoring,     0,    0,                          0,  CF_NONE)        \
    X(SCORING_RESULT,             950,  Scoring,     0,    0,                          0,  CF_NONE)        \
    /* audio */                                                                                           \
    X(AUDIO_CONTROL,              230,  Audio,       231,  IDS_OP_AUDIO_CONTROL,       0,  CF_GENERIC)     \
    X(AUDIO_CONTROL_REPLY,        231,  Audio,       0,    0,                          0,  CF_NONE)        \
    X(AUDIO_CONTROL_CHANGED,      232,  Audio,       0,    0,                          0,  CF_NONE)        \
    X(AUDIO,                      460,  Audio,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(QUALITY,                    500,  Audio,       501,  IDS_OP_QUALITY,             0,  CF_GENERIC)     \
    X(QUALITY_REPLY,              501,  Audio,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(QUALITY_CHANGED,            502,  Audio,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* video */                                                                                           \
    X(VIDEO_OFF_UNATTENDED,       140,  Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_FRAME,                80,   Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_REQUEST,              240,  Video,       241,  0,                          0,  CF_OWNER_ENDS)  \
    X(VIDEO_REQUEST_REPLY,        241,  Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO,                      470,  Video,       0,    0,                          0,  CF_PRIVATE_ROOM) \
    X(WATCH,                      610,  Video,       611,  IDS_OP_WATCH,               0,  CF_GENERIC | CF_OWNER_ENDS) \
    X(WATCH_REPLY,                611,  Video,       0,    0,                          0,  CF_NONE)        \
    X(WATCH_ASKED,                612,  Video,       0,    0,                          0,  CF_NONE)        \
    X(WATCH_ANSWER,               613,  Video,       0,    0,                          0,  CF_CONFIG_KEYS) \
    X(WATCH_ENDED,                615,  Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_STATE,                620,  Video,       621,  IDS_OP_VIDEO_STATE,         20, CF_GENERIC)     \
    X(VIDEO_STATE_REPLY,          621,  Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_STATE_CHANGED,        622,  Video,       0,    0,                          0,  CF_NONE)        \
    X(VIDEO_PARAMS,               -263, Video,       0,    0,                          0,  CF_NONE)        \
    /* recording and file play-out */                                                                     \
    X(RECORD_CONTROL,             490,  Recording,   491,  0,                          0,  CF_CONFIG_KEYS) \
    X(RECORD_CONTROL_REPLY,       491,  Recording,   0,    0,                          0,  CF_PRIVATE_ROOM) \
    /* the remote trace channel */                                                                        \
    X(LOG_LINE,                   1100, Log,         0,    0,                          0,  CF_NONE)
// clang-format on

enum ECommand : short {
#define TAVO_COMMAND_ENUM(name, code, ...) CMD_##name = code,
    TAVO_COMMANDS(TAVO_COMMAND_ENUM)
#undef TAVO_COMMAND_ENUM
};

struct tagCommandInfo {
    short code;
    const char* name;
    EFeature feature;
    short reply;   // 0: nothing answers it
    int title;     // string id; 0: no name shown
    int interval;  // seconds between attempts; 0: free
    unsigned flags;

    constexpr bool Has(ECommandFlag flag) const { return (flags & flag) != 0; }
};

inline constexpr tagCommandInfo kCommandTable[] = {
#define TAVO_COMMAND_INFO(name, code, feature, reply, title, interval, flags) \
    {code, #name, EFeature::feature, reply, title, interval, flags},
    TAVO_COMMANDS(TAVO_COMMAND_INFO)
#undef TAVO_COMMAND_INFO
};
inline constexpr std::size_t kCommandCount = sizeof kCommandTable / sizeof kCommandTable[0];

// The row of a code, or nullptr for a code the table does not know.
const tagCommandInfo* FindCommand(short code);

// The code that answers a request; 0 when nothing does or the code is unknown.
short ReplyOf(short request);
// Whether the row of a code carries a flag; false for an unknown code.
bool CommandHas(short code, ECommandFlag flag);
