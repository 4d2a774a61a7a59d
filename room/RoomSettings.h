#pragma once
// The room's settings as the settings reply (210) carries them.

#include <QString>

class CKParam;

struct tagRoomSettings {
    QString name;    // 30 (also "$某某房间$")
    QString topic;   // 40
    QString text41;  // 41: a process-wide text
    int number50 = 0;
    int number60 = 0;
    int lockState = 0;         // 70: 0 unlocked, 401 locked
    QString mainHolder;        // 80
    QString secondHolder;      // 90
    int micMode = 0;           // 100: 0 grab, 1 queue, 2 operator
    bool forcedQueue = false;  // 101 = 1, read in queue mode
    int micTime = 0;           // 110: seconds
    bool publicText = true;    // 120
    bool videoAllowed = true;  // 130
    bool dualMic = false;  // 135
    int number140 = 0;
    int frameRates[3] = {0, 0, 0};  // 150, 160, 170
    bool showTime = false;          // 180
    bool flag190 = false;
    int numbers200[9] = {};      // 200 to 280, every 10
    QString forbiddenNicknames;  // 290
    QString forbiddenTexts;      // 300
    int number310 = 0;
    bool flag330 = false;
    bool flag340 = false;
    int scoreCost = 0;   // 350: hundredths of the currency per scoring round
    int guardQuota = 0;  // 360: three times it is the mic guards allowed
    QString floorHolder;  // 370

    static tagRoomSettings FromReply(const CKParam& reply);
};

// The process-wide text of key 41, kept from the last settings reply.
QString RoomProcessText();
