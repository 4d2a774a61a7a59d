#include "room/MicVolume.h"

#include "audio/RecordSource.h"
#include "platform/audio/AudioMixer.h"
#include "room/RoomAudio.h"
#include "room/RoomDlg.h"

#include <algorithm>

bool CMicVolume::Range(int& minimum, int& maximum) const {
    return CRecordSource::Get().MicVolumeRange(minimum, maximum) && maximum > minimum;
}

bool CMicVolume::IsAvailable() const {
    int lo = 0;
    int hi = 0;
    return Range(lo, hi);
}

int CMicVolume::PositionOf(int mixerVolume) const {
    int lo = 0;
    int hi = 0;
    if (mixerVolume < 0 || !Range(lo, hi)) {
        return -1;
    }
    const long long v = std::clamp(mixerVolume, lo, hi) - lo;
    return static_cast<int>((v * kMaxPosition + (hi - lo) / 2) / (hi - lo));
}

int CMicVolume::Position() const {
    return PositionOf(CRecordSource::Get().GetMicVolume());
}

bool CMicVolume::SetPosition(int position) {
    int lo = 0;
    int hi = 0;
    if (!Range(lo, hi)) {
        return false;
    }
    const long long p = std::clamp(position, 0, kMaxPosition);
    const int volume = lo + static_cast<int>((p * (hi - lo) + kMaxPosition / 2) / kMaxPosition);
    if (!CRecordSource::Get().Mixer().SetMicVolume(static_cast<unsigned>(volume))) {
        return false;
    }
    // Speaking sets the line to the room's remembered volume; it must be this one now.
    if (auto* audio = dynamic_cast<CRoomAudio*>(m_room.VoiceSender())) {
        audio->SetStoredMicVolume(volume);
    }
    return true;
}

bool CMicVolume::IsMuted() const {
    bool mute = false;
    if (CRecordSource::Get().Mixer().GetMicMute(mute)) {
        return mute;
    }
    return tagMixSettings::Load().isMicMute != 0;
}

bool CMicVolume::SetMuted(bool mute) {
    tagMixSettings settings = tagMixSettings::Load();
    settings.isMicMute = mute ? 1 : 0;
    settings.Save();
    return CRecordSource::Get().SetMicLineMute(mute);
}
