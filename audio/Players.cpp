#include "audio/Players.h"

#include "audio/AudioFormats.h"
#include "platform/Prompt.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

CPlayerSet::CPlayerSet(std::vector<int> formats) : m_formats(std::move(formats)) {
    for (size_t i = 0; i < m_formats.size(); ++i) m_players.push_back(std::make_unique<CWaveOut>());
}

CPlayerSet::~CPlayerSet() {
    ClosePlayers();
}

bool CPlayerSet::OpenPlayers() {
    if (m_bOpen)
        return true;
    for (size_t i = 0; i < m_players.size(); ++i) {
        m_players[i]->SetFormat(m_formats[i]);
        if (m_players[i]->Open() == 0) {
            m_bOpen = false;
            return false;
        }
    }
    m_bOpen = true;
    return true;
}

void CPlayerSet::ClosePlayers() {
    if (!m_bOpen)
        return;
    for (auto& player : m_players) player->Close();
    m_bOpen = false;
}

bool CPlayerSet::OpenAtInit() {
    if (OpenPlayers())
        return true;
    MessageBox(LoadString(IDS_NO_AUDIO_DECODER), QStringLiteral("Warning"),
               MB_OK | MB_ICONINFORMATION);
    return false;
}

bool CPlayerSet::PlayPayload(int quality, int micIndex, const QByteArray& payload) {
    const int index = PlayerFor(quality, micIndex);
    if (!m_bOpen || index < 0 || payload.isEmpty())
        return false;
    CWaveOut& player = Player(index);
    if (quality == AUDIO_QUALITY_SPEECH) {
        // Only a whole speech block decodes to whole samples; anything else is refused.
        if (payload.size() != kSpeechPayloadBytes)
            return false;
        short pcm[kSpeechBlockBytes / 2];
        int n = 0;
        m_speechDecoder.DeCompress(reinterpret_cast<const unsigned char*>(payload.constData()),
                                   payload.size(), pcm, &n);
        player.Play(reinterpret_cast<const char*>(pcm), n);
        return true;
    }
    return player.PlayMP3(payload.constData(), payload.size()) == 0;
}

int CRoomPlayers::PlayerFor(int quality, int micIndex) const {
    switch (quality) {
        case AUDIO_QUALITY_HIFI:
            return 0;
        case AUDIO_QUALITY_SINGING:
            return micIndex == 2 ? 2 : 1;
        case AUDIO_QUALITY_SPEECH:
            return micIndex == 1 ? 3 : 4;
        default:
            return -1;
    }
}

int CPrivatePlayers::PlayerFor(int quality, int /*micIndex*/) const {
    return IsAudioQuality(quality) ? quality - 1 : -1;
}
