#pragma once
// The room's three video receivers (the private viewer, video 1 and video 2): the receive
// routine that vets every room video packet (470) and routes it to the receiver of its slot,
// the loss rule per slot, opening and closing the windows with their toggles and pictures,
// and the pop-out windows.

#include "room/FrameTaps.h"
#include "room/VideoLoss.h"
#include "video/VideoClientH264.h"

#include <QString>

#include <array>

class CKParam;
class CRoomDlg;

// The user's own choices about whose pictures to see.
struct tagVideoFilter {
    // Public pictures only from a holder who is a known member of rank 30 or more.
    bool rankedVideo = false;
};

class CVideoReceiving {
public:
    // Clients newer than this check the room number (key 70) of every video packet.
    static constexpr int kRoomKeyVersion = 1410;
    static constexpr int kMinRankedVideo = 30;

    explicit CVideoReceiving(CRoomDlg& room);

    // A new stay: every receiver closed, the loss state and the counters forgotten.
    void Reset();
    // The stay ends: every window closed, leaving the public buttons as they are.
    void CloseAll();

    // Command 470.
    void OnVideo(CKParam& packet);

    // Video 1 or 2.
    void OpenVideo(int slot);
    void CloseVideo(int slot, bool leaving);
    bool IsOpen(int slot) const;
    // The private viewer, for the member the server let the user watch.
    void OpenPrivateViewer(const QString& member);
    void ClosePrivateViewer();
    QString Watched() const { return m_watched; }

    // The pop-out window of video 1 or 2 (the private viewer always has one).
    void PopOut(int slot);
    void PopIn(int slot);
    bool IsPoppedOut(int window) const;

    // Saves the picture of video 1 or 2 as a BMP file; 0 or -1.
    int CapturePicture(int slot, const QString& path);
    // The member whose picture a window shows: the holder of the slot, or the watched member.
    QString Holder(int window) const;

    tagVideoFilter& Filter() { return m_filter; }
    void SetFrameTap(IReceivedFrameTap* tap) { m_tap = tap; }
    CVideoClientH264& Receiver(int window) { return m_receivers[Index(window)]; }
    const tagVideoLoss& Loss(int window) const { return m_loss[Index(window)]; }

    // What happened to received packets, for the console client.
    struct tagCounters {
        int received = 0;
        int decoded = 0;
        int dropped = 0;
    };
    tagCounters Counters() const { return m_counters; }
    // The number of the frame last handed to a window's decoder (also while it draws).
    int LastDecoded(int window) const { return m_lastDecoded[Index(window)]; }

private:
    static size_t Index(int window) { return window >= 0 && window <= 2 ? size_t(window) : 0; }
    bool Vetted(int slot, const QString& sender) const;
    // A private frame is shown when its viewers name the user and it comes from the member
    // the user watches.
    bool ForMe(const QString& viewers, const QString& sender) const;
    void Decode(int window, int number, const char* data, int length);
    void CreateReceiver(int window);

    CRoomDlg& m_room;
    std::array<CVideoClientH264, 3> m_receivers;
    std::array<bool, 3> m_open{};
    std::array<bool, 3> m_poppedOut{};
    std::array<tagVideoLoss, 3> m_loss{};
    std::array<int, 3> m_lastDecoded{};
    QString m_watched;
    tagVideoFilter m_filter;
    tagCounters m_counters;
    IReceivedFrameTap* m_tap = nullptr;
};
