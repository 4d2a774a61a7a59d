#pragma once
// The players of a window and the routing of received audio to them. The room keeps five
// (hi-fi of either mic; singing of the main and the second mic; speech of the main and of any
// other mic), the private chat three (one per quality). Speech is decoded here, with the
// window's own G.729 decoder, before it reaches its player.

#include "audio/AudioPacket.h"
#include "audio/WaveCompress729.h"
#include "audio/WaveOut.h"

#include <QByteArray>

#include <array>
#include <memory>

class CPlayerSet {
public:
    // Opens every player in order; at the first failure stops (players opened stay open)
    // and returns false. Succeeds at once when already open.
    bool OpenPlayers();
    void ClosePlayers();
    bool IsOpen() const { return m_bOpen; }
    // Opening at the window's initialisation: on failure the user is told "该机器缺少音频解码!".
    bool OpenAtInit();

    CWaveOut& Player(int index) { return *m_players[static_cast<size_t>(index)]; }
    int Count() const { return static_cast<int>(m_players.size()); }

    // Which player plays a packet of this quality and mic index, -1 for none.
    virtual int PlayerFor(int quality, int micIndex) const = 0;
    // Plays one payload on its player: MP3 through the player's decoder, speech (exactly
    // 250 bytes) decoded first. False when the packet was dropped or produced nothing.
    bool PlayPayload(int quality, int micIndex, const QByteArray& payload);

protected:
    CPlayerSet(std::vector<int> formats);
    virtual ~CPlayerSet();

private:
    std::vector<std::unique_ptr<CWaveOut>> m_players;
    std::vector<int> m_formats;
    CWaveCompress729 m_speechDecoder;
    bool m_bOpen = false;
};

class CRoomPlayers : public CPlayerSet {
public:
    CRoomPlayers() : CPlayerSet({1, 2, 2, 3, 3}) {}
    int PlayerFor(int quality, int micIndex) const override;
};

class CPrivatePlayers : public CPlayerSet {
public:
    // Players 1 to 3 of the private chat are indexes 0 to 2 here.
    CPrivatePlayers() : CPlayerSet({1, 2, 3}) {}
    int PlayerFor(int quality, int micIndex) const override;
};
