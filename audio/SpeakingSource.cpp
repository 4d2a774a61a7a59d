#include "audio/SpeakingSource.h"

#include "audio/RecordSource.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

void SelectSpeakingSource(ISpeakingRoom& room) {
    const tagMixSettings settings = tagMixSettings::Load();
    CRecordSource& source = CRecordSource::Get();
    if (settings.isOpenMix == 0) {
        source.SelectRecordSource(RECORD_SOURCE_MIC, true);
        source.SetMicLineMute(false);
        const int volume = room.StoredMicVolume();
        room.ShowMicVolume(volume);
        source.SetMicVolume(settings.isMicMute != 0 ? 0 : volume);
        return;
    }
    if (source.MixName().isEmpty())
        source.SetMixName(settings.mixName);
    if (!source.SelectRecordSource(RECORD_SOURCE_MIX, true)) {
        room.AddSystemLine(LoadString(IDS_MIX_FAILED));
        room.OpenSoundSettings();
        source.SelectRecordSource(RECORD_SOURCE_MIX, true);
    }
    tagMixSettings stored = tagMixSettings::Load();
    stored.mixName = source.MixName();
    stored.Save();
    // The dialog may have changed it meanwhile.
    source.SetMicLineMute(stored.isMicMute != 0);
}

void SelectDualMicSource() {
    SelectRecordSource(RECORD_SOURCE_MIC, true);
    SetMicLineMute(false);
}

void SelectSilentSource() {
    SelectRecordSource(RECORD_SOURCE_MIC, true);
    SetMicLineMute(true);
}
