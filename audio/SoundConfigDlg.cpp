#include "audio/SoundConfigDlg.h"

#include "audio/RecordSource.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

#include <algorithm>

CSoundConfigDlg::CSoundConfigDlg(bool readOnly) : CDialogModel(IDD), m_bReadOnly(readOnly) {}

void CSoundConfigDlg::OnInitDialog() {
    CRecordSource& source = CRecordSource::Get();
    const tagMixSettings settings = tagMixSettings::Load();
    if (source.MixName().isEmpty())
        source.SetMixName(settings.mixName);
    source.SelectRecordSource(RECORD_SOURCE_MIX, false);
    // The user sees the lines by their labels; MixName keeps the line's id.
    const QString mixName = source.LineLabel(source.MixName());
    SetStatusText(mixName.isEmpty() ? LoadString(IDS_MIX_NOT_FOUND)
                                    : LoadString(IDS_MIX_CURRENT) + mixName);
    m_items = source.Candidates();
    m_selected = m_items.contains(mixName) ? mixName : QString();
    m_bOpenMix = settings.isOpenMix != 0;
    m_bMicOn = settings.isMicMute == 0;
    int lo = 0;
    int hi = 0;
    m_bVolumeVisible = source.MicVolumeRange(lo, hi) && hi > lo;
    if (m_bVolumeVisible) {
        m_nVolumeMin = lo;
        m_nVolumeMax = hi;
        m_nVolume = std::clamp(source.GetMicVolume(), lo, hi);
    }
    Changed();
}

bool CSoundConfigDlg::IsControlEnabled(int id) const {
    if (!m_bReadOnly)
        return true;
    return id != IDC_OPEN_MIX && id != IDC_MIC_ON && id != IDOK && id != IDC_RESET;
}

void CSoundConfigDlg::SelectMix(const QString& text) {
    m_selected = text;
    Changed();
}

void CSoundConfigDlg::SetOpenMixChecked(bool checked) {
    if (!IsControlEnabled(IDC_OPEN_MIX))
        return;
    m_bOpenMix = checked;
    Changed();
}

void CSoundConfigDlg::SetMicOnChecked(bool checked) {
    if (!IsControlEnabled(IDC_MIC_ON))
        return;
    m_bMicOn = checked;
    Changed();
}

void CSoundConfigDlg::SetVolume(int volume) {
    if (!m_bVolumeVisible)
        return;
    m_nVolume = std::clamp(volume, m_nVolumeMin, m_nVolumeMax);
    CRecordSource::Get().SetMicVolume(m_nVolume);
    Changed();
}

void CSoundConfigDlg::OnOK() {
    if (!IsControlEnabled(IDOK))
        return;
    tagMixSettings settings;
    settings.mixName = CRecordSource::Get().LineId(m_selected);
    settings.isOpenMix = m_bOpenMix ? 1 : 0;
    settings.isMicMute = m_bMicOn ? 0 : 1;
    settings.Save();
    CRecordSource::Get().SetMixName(settings.mixName);
    EndDialog(IDOK);
}

void CSoundConfigDlg::OnReset() {
    if (!IsControlEnabled(IDC_RESET))
        return;
    tagMixSettings defaults;
    defaults.Save();
    CRecordSource::Get().SetMixName(QString());
    EndDialog(IDCANCEL);
}
