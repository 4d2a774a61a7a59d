#include "audio/RecordSource.h"

#include "platform/Profile.h"
#include "platform/audio/AudioMixer.h"
#include "platform/audio/WaveSystem.h"

#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Main");

}  // namespace

tagMixSettings tagMixSettings::Load() {
    tagMixSettings s;
    s.mixName = CAppProfile::GetProfileString(kSection, QStringLiteral("MixName"));
    s.isOpenMix = CAppProfile::GetProfileInt(kSection, QStringLiteral("IsOpenMix"), 1);
    s.isMicMute = CAppProfile::GetProfileInt(kSection, QStringLiteral("IsMicMute"), 0);
    return s;
}

void tagMixSettings::Save() const {
    CAppProfile::WriteProfileString(kSection, QStringLiteral("MixName"), mixName);
    CAppProfile::WriteProfileInt(kSection, QStringLiteral("IsOpenMix"), isOpenMix);
    CAppProfile::WriteProfileInt(kSection, QStringLiteral("IsMicMute"), isMicMute);
}

CRecordSource& CRecordSource::Get() {
    static CRecordSource source;
    return source;
}

IAudioMixer& CRecordSource::Mixer() {
    return m_pMixer != nullptr ? *m_pMixer : CurrentMixer();
}

bool CRecordSource::IsStereoMixName(const QString& name) const {
    static const char* const kNames[] = {
        "Stereo Mix", "Stereo Mixer", "你听到的声音", "您听到的声音", "what you hear", "Sum",
        "立体声",     "立體聲",       "混音",         "混合",         "wave",          "波形",
        "output",     "输出",         "輸出",         "Wave Out Mix",
    };
    const QString own = m_mixName.isEmpty() ? QStringLiteral("无") : m_mixName;
    if (name.contains(own, Qt::CaseSensitive))
        return true;
    for (const char* candidate : kNames)
        if (name.contains(QString::fromUtf8(candidate), Qt::CaseSensitive))
            return true;
    return false;
}

bool CRecordSource::IsMixNamed(const tagMixerItem& item) const {
    return !m_mixName.isEmpty() && (m_mixName == item.id || m_mixName == item.name);
}

bool CRecordSource::IsMixLine(const tagMixerItem& item) const {
    // A monitor records what the machine plays, whatever its label says.
    return IsStereoMixName(item.name) || item.monitor || IsMixNamed(item);
}

bool CRecordSource::SelectRecordSource(int mode, bool apply) {
    IAudioMixer& mixer = Mixer();
    if (!mixer.IsAvailable())
        return false;
    tagListControl control;
    if (!mixer.GetListControl(control) || control.items.empty())
        return false;
    if (!apply) {
        m_candidates.clear();
        m_candidateIds.clear();
    }
    bool set = false;
    for (tagMixerItem& item : control.items) {
        if (mode == RECORD_SOURCE_MIC) {
            if (item.componentType == MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE) {
                item.value = true;
                set = true;
            } else if (control.singleSelect) {
                item.value = false;
            }
        } else if (IsMixLine(item)) {
            if (apply) {
                item.value = m_mixName.isEmpty() || IsMixNamed(item);
                set = set || item.value;
            }
            if (m_mixName.isEmpty())
                m_mixName = item.id;
        } else if (control.singleSelect) {
            item.value = false;
        }
        if (!apply) {
            m_candidates << item.name;
            m_candidateIds << item.id;
        }
    }
    // A scan only looks: the selection the user has stays as it is.
    if (!apply)
        return false;
    // Of several matching items a single-select control can take one: the first.
    if (control.singleSelect) {
        bool first = true;
        for (tagMixerItem& item : control.items) {
            if (item.value && !first)
                item.value = false;
            if (item.value)
                first = false;
        }
    }
    if (!set || !mixer.SetListControl(control))
        return false;
    if (mode != RECORD_SOURCE_MIC) {
        const auto chosen = std::find_if(control.items.begin(), control.items.end(),
                                         [](const tagMixerItem& i) { return i.value; });
        m_mixName = chosen->id;
    }
    return true;
}

QString CRecordSource::LineLabel(const QString& line) const {
    const qsizetype at = m_candidateIds.indexOf(line);
    return at >= 0 ? m_candidates.at(at) : line;
}

QString CRecordSource::LineId(const QString& line) const {
    const qsizetype at = m_candidates.indexOf(line);
    return at >= 0 ? m_candidateIds.at(at) : line;
}

void CRecordSource::Release() {
    Mixer().Release();
}

bool CRecordSource::SetMicLineMute(bool mute) {
    return Mixer().SetMicMute(mute);
}

int CRecordSource::GetMicVolume() {
    std::vector<unsigned> channels;
    if (!Mixer().GetMicVolume(channels) || channels.empty())
        return -1;
    return static_cast<int>(channels.front());
}

void CRecordSource::SetMicVolume(int volume) {
    Mixer().SetMicVolume(static_cast<unsigned>(std::max(volume, 0)));
}

bool CRecordSource::MicVolumeRange(int& minimum, int& maximum) {
    unsigned lo = 0;
    unsigned hi = 0;
    if (!Mixer().MicVolumeRange(lo, hi))
        return false;
    minimum = static_cast<int>(lo);
    maximum = static_cast<int>(hi);
    return true;
}

bool SelectRecordSource(int mode, bool apply) {
    return CRecordSource::Get().SelectRecordSource(mode, apply);
}
bool IsStereoMixName(const QString& name) {
    return CRecordSource::Get().IsStereoMixName(name);
}
bool SetMicLineMute(bool mute) {
    return CRecordSource::Get().SetMicLineMute(mute);
}
int GetMicVolume() {
    return CRecordSource::Get().GetMicVolume();
}
void SetMicVolume(int volume) {
    CRecordSource::Get().SetMicVolume(volume);
}
void OpenMixers() {
    CRecordSource::Get().Mixer().IsAvailable();
}
void CloseMixers() {
    CRecordSource::Get().Release();
}

CVolumeControl::CVolumeControl(unsigned componentType, int selector, unsigned* minimum,
                               unsigned* maximum)
    : m_nComponentType(componentType), m_nSelector(selector) {
    // The playback mixer's speakers, or the recording mixer's microphone: the lines our
    // mixers have volumes for.
    const bool speakers = selector == SELECTOR_PLAYBACK;
    if (!speakers &&
        (selector != SELECTOR_RECORDING || componentType != MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE))
        return;
    IAudioMixer& mixer = Mixer();
    unsigned lo = 0;
    unsigned hi = 65535;
    std::vector<unsigned> channels;
    const bool ok = speakers ? mixer.GetSpeakerVolume(channels)
                             : mixer.MicVolumeRange(lo, hi) && mixer.GetMicVolume(channels);
    if (!ok)
        return;
    m_nChannels = static_cast<int>(channels.size());
    m_bValid = m_nChannels > 0;
    if (minimum != nullptr)
        *minimum = lo;
    if (maximum != nullptr)
        *maximum = hi;
}

IAudioMixer& CVolumeControl::Mixer() const {
    return CRecordSource::Get().Mixer();
}

unsigned CVolumeControl::GetValue() const {
    std::vector<unsigned> channels;
    if (!m_bValid)
        return 0;
    const bool ok = m_nSelector == SELECTOR_PLAYBACK ? Mixer().GetSpeakerVolume(channels)
                                                     : Mixer().GetMicVolume(channels);
    return ok && !channels.empty() ? channels.front() : 0;
}

bool CVolumeControl::SetValue(unsigned value) {
    if (!m_bValid)
        return false;
    return m_nSelector == SELECTOR_PLAYBACK ? Mixer().SetSpeakerVolume(value)
                                            : Mixer().SetMicVolume(value);
}
