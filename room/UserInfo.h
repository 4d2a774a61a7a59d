#pragma once
// One member of the room, as the arrival command and the member list carry it.

#include <QString>

#include <cstdint>

class CKParam;

// Rank codes: 10 visitor, 20 registered member, 30 operator, 60 the room owner.
enum : int {
    RANK_VISITOR = 10,
    RANK_MEMBER = 20,
    RANK_OPERATOR = 30,
    RANK_40 = 40,
    RANK_50 = 50,
    RANK_OWNER = 60,
    RANK_70 = 70,
    RANK_80 = 80,
};

struct UserInfo {
    QString id;               // 20: account identifier
    QString nickname;         // 30
    QString text3;            // not carried by the arrival command
    int rank = 0;             // 40
    bool registered = false;  // 50
    bool flagB = false;       // 60: listed before the others of its list
    bool flag70 = false;
    QString entryText;  // 80: personal entry text ("$某某人$", "$某某房间$")
    bool flag90 = false;
    QString text100;
    int number110 = 0;
    bool hidden = false;  // 120: no arrival or departure line
    QString text130;
    int number150 = 0;
    int number140 = 0;
    int number160 = 0;
    int numbers170[3] = {0, 0, 0};  // 170, 180, 190
    int seniorOperator = 0;         // 200: non-zero = senior operator
    int number210 = 0;
    int number220 = 0;
    int enterPicture = 0;  // 230: entry picture number
    int number240 = 0;
    short shorts250[3] = {0, 0, 0};  // 250, 260, 270
    int64_t time280 = 0;             // seconds since 1970
    short short290 = 0;
    short short300 = 2;
    short vipPicture = 0;       // 310: VIP entry picture number
    bool onPrivateMic = false;  // 320: the member holds a private microphone
    // Member-list fields without an arrival key.
    int listNumber23 = 0;
    bool listFlag33 = false;
    // Set by gifts: the stamp put on the member.
    int stamp = 0;
    // Set by the end of a scoring activity: the winner's mark and when it goes (seconds since
    // 1970).
    QString mark;
    int64_t markEndTime = 0;
    // The mark while it lasts, empty once its time is over.
    QString ShownMark(int64_t now) const { return now < markEndTime ? mark : QString(); }
    // Set by gifts: the mark of the last big gift given or received, until giftMarkEnd
    // (seconds since 1970).
    int giftMark = 0;
    int64_t giftMarkEnd = 0;

    bool IsVip() const { return vipPicture != 0; }
    int CurrentGiftMark(int64_t now) const { return now < giftMarkEnd ? giftMark : 0; }
    // A 64-bit time after which the member may no longer use faces; members of the list
    // carry it in field 28 (the arrival key 280), in every edition.
    int64_t FaceEndTime() const { return time280; }

    // Reads an arrival command. Keys 240 to 270 and 290 only in editions 50 and 70.
    static UserInfo FromArrival(const CKParam& packet, int edition, int64_t now);
    // Reads one member text of the member list. False when it has fewer than 23 fields.
    // zeroText replaces fields 7 and 8 when they are "0"; listed tells whether field 7 was not
    // "0" (the member belongs to the full member list).
    static bool FromMemberText(const QString& text, int edition, const QString& zeroText,
                               UserInfo& out, bool& listed);
};
