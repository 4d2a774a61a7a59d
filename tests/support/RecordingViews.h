#pragma once
// Views that keep what the hall and the room tell them to draw, as a person would see it: the
// lists, the lines of text, the microphone panel, the chat pages.

#include "hall/HallView.h"
#include "room/MemberList.h"
#include "room/RoomView.h"

#include <QStringList>

#include <map>
#include <utility>
#include <vector>

namespace tavotest {

// The hall. It measures text as a fixed-pitch font would (7 per ASCII character, 14 per other
// character).
class CRecordingView : public CNullHallView {
public:
    void SetAreaList(int list, const std::vector<tagListEntry>& entries) override {
        areas[list] = entries;
    }
    void SetRoomList(const std::vector<tagListEntry>& entries) override {
        rooms = entries;
        marks.clear();
    }
    void SetRoomMark(int index, EListMark mark) override { marks[index] = mark; }
    void SetInformation(const QString& text) override { information = text; }
    void SetTrayTip(const QString& tip) override { trayTip = tip; }
    void SetPanelAddress(EHallPanel panel, const QString& address) override {
        panels[panel] = address;
    }
    void RefreshAccount() override { ++accountRefreshes; }
    void ShowListWait(bool visible, const QString& waitTitle, const QString& status) override {
        listWaitVisible = visible;
        if (visible) {
            listWaitTitle = waitTitle;
        }
    }
    int TextWidth(const QString& text) const override {
        int width = 0;
        for (QChar c : text) {
            width += c.unicode() < 0x80 ? 7 : 14;
        }
        return width;
    }
    int RoomColumnWidth() const override { return 140; }
    int ScreenWidth() const override { return screenWidth; }
    int ScreenHeight() const override { return screenHeight; }

    std::map<int, std::vector<tagListEntry>> areas;
    std::vector<tagListEntry> rooms;
    std::map<int, EListMark> marks;
    QString information, trayTip, listWaitTitle;
    std::map<EHallPanel, QString> panels;
    int accountRefreshes = 0;
    bool listWaitVisible = false;
    int screenWidth = 1920;
    int screenHeight = 1080;
};

// One chat page. It has a first TD unless told otherwise.
class CRecordingChatView : public CNullChatView {
public:
    void LoadPage(const QString& name) override {
        page = name;
        fragments.clear();
    }
    bool InsertAtFirstTd(const QString& fragment) override {
        if (hasTd) {
            fragments << fragment;
        }
        return hasTd;
    }
    void Clear() override { fragments.clear(); }
    QString All() const { return fragments.join(QString()); }
    bool Has(const QString& part) const { return All().contains(part); }
    // How many fragments contain the text.
    int Count(const QString& part) const { return static_cast<int>(fragments.filter(part).size()); }

    QString page;
    QStringList fragments;
    bool hasTd = true;
};

// The rest of the room window.
class CRecordingRoomView : public CNullRoomView {
public:
    void ShowRoomWindow(bool show) override { shown = show; }
    void RedrawMembers(const CMemberList& members, const QString& count) override {
        ++redraws;
        countText = count;
    }
    void SetChatTargetLabel(const QString& text) override { targetLabel = text; }
    void SetMicMode(const QString& text) override { micMode = text; }
    void SetMainMic(const QString& holder, const QString& time) override {
        mainHolder = holder;
        mainTime = time;
    }
    void SetSecondMic(const QString& holder, const QString& time) override {
        secondHolder = holder;
        secondTime = time;
    }
    void RedrawQueue(const std::vector<const UserInfo*>& q) override {
        queue.clear();
        for (const UserInfo* m : q) {
            queue << m->id;
        }
    }
    void SetTimedNotices(const QStringList& n) override { notices = n; }
    void ShowTextNotice(const QString& text) override { textNotices << text; }
    void AddSideListEntry(const QString& entry) override { sideList << entry; }
    void SetMicTimeBar(int mic, int used, int total) override {
        (mic == 2 ? secondTimeBar : mainTimeBar) = {used, total};
    }
    void SetMicMeter(int mic, int value) override { (mic == 2 ? secondMeter : mainMeter) = value; }
    void SetSpeakButton(bool pressed) override { speak = pressed; }

    bool shown = false;
    int redraws = 0;
    QString countText, targetLabel, micMode, mainHolder, mainTime, secondHolder, secondTime;
    QStringList queue, notices, textNotices, sideList;
    std::pair<int, int> mainTimeBar{-1, -1}, secondTimeBar{-1, -1};  // used, total
    int mainMeter = -1;
    int secondMeter = -1;
    bool speak = false;
};

}  // namespace tavotest
