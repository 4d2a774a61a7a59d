#pragma once
// The sound settings dialog: which line is the stereo mix, whether speaking records it, and
// whether the microphone stays on, with the microphone volume. A model: the desktop binds it
// to widgets, tests and the console client answer it from a script.

#include "platform/DialogHost.h"

#include <QString>
#include <QStringList>

class CSoundConfigDlg : public CDialogModel {
public:
    enum : int {
        IDD = 199,
        IDC_OPEN_MIX = 1294,  // record the stereo mix while speaking
        IDC_MIC_ON = 1295,    // keep the microphone on (checked: IsMicMute 0)
        IDC_RESET = 1293,
        IDC_MIX_LIST = 1317,
        IDC_MIC_VOLUME = 1495,
        IDC_MIC_VOLUME_LABEL = 1496,
    };

    explicit CSoundConfigDlg(bool readOnly = false);

    // What the view shows.
    QStringList MixItems() const { return m_items; }
    QString SelectedMix() const { return m_selected; }
    bool IsOpenMixChecked() const { return m_bOpenMix; }
    bool IsMicOnChecked() const { return m_bMicOn; }
    bool IsVolumeVisible() const { return m_bVolumeVisible; }
    int VolumeMinimum() const { return m_nVolumeMin; }
    int VolumeMaximum() const { return m_nVolumeMax; }
    int Volume() const { return m_nVolume; }
    bool IsReadOnly() const { return m_bReadOnly; }
    bool IsControlEnabled(int id) const;

    // What the user does.
    void SelectMix(const QString& text);
    void SetOpenMixChecked(bool checked);
    void SetMicOnChecked(bool checked);
    // Moving the slider sets the microphone volume at once.
    void SetVolume(int volume);
    void OnOK() override;
    // Back to the defaults, written, and the dialog closes as cancelled.
    void OnReset();

protected:
    void OnInitDialog() override;

private:
    bool m_bReadOnly;
    QStringList m_items;
    QString m_selected;
    bool m_bOpenMix = true;
    bool m_bMicOn = true;
    bool m_bVolumeVisible = false;
    int m_nVolumeMin = 0;
    int m_nVolumeMax = 0;
    int m_nVolume = 0;
};
