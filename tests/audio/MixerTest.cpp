// Choosing the recorded input, the microphone line, and the sound settings dialog, on the
// file devices' mixer (a microphone and the lines it is given).

#include "audio/RecordSource.h"
#include "audio/SoundConfigDlg.h"
#include "audio/SpeakingSource.h"
#include "platform/Profile.h"
#include "platform/audio/WaveSystem.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace tavotest;

namespace {

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        CRecordSource::Get().SetMixer(nullptr);
        CRecordSource::Get().SetMixName(QString());
    }
    void Lines(const QString& lines) { ASSERT_TRUE(CWaveSystem::Select("wav:lines=" + lines)); }
    // The selected items' names.
    QStringList Selected() {
        tagListControl c;
        CurrentMixer().GetListControl(c);
        QStringList names;
        for (const tagMixerItem& i : c.items)
            if (i.value)
                names << i.name;
        return names;
    }
    CTempConfig m_config;
};

}  // namespace

// Without a mix name the first stereo-mix line is taken and kept; selecting it clears the
// microphone. A mix that is not there selects nothing, and a scan lists and changes nothing.
TEST_F(Mixer, TheStereoMixIsFoundByNameSelectedAloneOrNotAtAll) {
    Lines("Line In|Wave Out Mix|CD Audio");
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    EXPECT_TRUE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_EQ(CRecordSource::Get().MixName(), "Wave Out Mix");
    EXPECT_EQ(Selected(), QStringList{"Wave Out Mix"}) << "single select: the mic is cleared";
    EXPECT_TRUE(SelectRecordSource(RECORD_SOURCE_MIC, true));
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    EXPECT_EQ(CRecordSource::Get().MixName(), "Wave Out Mix") << "kept once found";

    CRecordSource::Get().SetMixName(QString());
    Lines("Line In");
    EXPECT_FALSE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_TRUE(CRecordSource::Get().MixName().isEmpty());
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    // A mix name that no longer exists: nothing written when nothing is set.
    Lines("Stereo Mix");
    CRecordSource::Get().SetMixName("Old Card Loopback");
    EXPECT_FALSE(SelectRecordSource(RECORD_SOURCE_MIX, true));
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    EXPECT_EQ(CRecordSource::Get().MixName(), "Old Card Loopback");

    CRecordSource::Get().SetMixName(QString());
    Lines("Line In|What you hear|what you hear");
    EXPECT_FALSE(SelectRecordSource(RECORD_SOURCE_MIX, false));
    EXPECT_EQ(CRecordSource::Get().Candidates(),
              (QStringList{"Microphone", "Line In", "What you hear", "what you hear"}));
    EXPECT_EQ(CRecordSource::Get().MixName(), "what you hear");
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
}

TEST_F(Mixer, NamesAreMatchedCaseSensitively) {
    EXPECT_TRUE(IsStereoMixName("Stereo Mix"));
    EXPECT_FALSE(IsStereoMixName("stereo mix"));
    EXPECT_TRUE(IsStereoMixName("stereo mix (wave)"));
    EXPECT_TRUE(IsStereoMixName("Monitor of Built-in Audio Analog Stereo output"));
    EXPECT_FALSE(IsStereoMixName("WAVE"));
    EXPECT_TRUE(IsStereoMixName(QStringLiteral("立體聲混音")));
    // While MixName is empty, "无" stands in for it.
    EXPECT_TRUE(IsStereoMixName(QStringLiteral("无线麦克风")));
    CRecordSource::Get().SetMixName("Loopback");
    EXPECT_FALSE(IsStereoMixName(QStringLiteral("无线麦克风")));
    EXPECT_TRUE(IsStereoMixName("My Loopback Device"));
}

// The volume controls find their line by its kind: the microphone's recording volume is the
// one the mic volume functions move, the speakers are a control of their own.
TEST_F(Mixer, VolumeControlsOfTheMicrophoneAndTheSpeakers) {
    Lines("");
    unsigned lo = 1, hi = 0;
    CVolumeControl mic(MIXERLINE_COMPONENTTYPE_SRC_MICROPHONE, CVolumeControl::SELECTOR_RECORDING,
                       &lo, &hi);
    ASSERT_TRUE(mic.IsValid());
    EXPECT_EQ(lo, 0u);
    EXPECT_EQ(hi, 65535u);
    EXPECT_TRUE(mic.SetValue(40000));
    EXPECT_EQ(mic.GetValue(), 40000u);
    EXPECT_EQ(GetMicVolume(), 40000);
    CVolumeControl line(MIXERLINE_COMPONENTTYPE_SRC_LINE, CVolumeControl::SELECTOR_RECORDING,
                        nullptr, nullptr);
    EXPECT_FALSE(line.IsValid());
    EXPECT_FALSE(line.SetValue(1));
    CVolumeControl speakers(0, CVolumeControl::SELECTOR_PLAYBACK, &lo, &hi);
    ASSERT_TRUE(speakers.IsValid());
    EXPECT_EQ(speakers.Channels(), 2);
    EXPECT_TRUE(speakers.SetValue(5000));
    EXPECT_EQ(speakers.GetValue(), 5000u);
    EXPECT_EQ(mic.GetValue(), 40000u);
}

TEST_F(Mixer, SettingsDialogShowsAndStoresTheChoices) {
    Lines("Line In|Stereo Mix");
    CScriptedUi ui;
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 0);
    CAppProfile::WriteProfileInt("Main", "IsMicMute", 1);
    SetMicVolume(30000);
    CSoundConfigDlg* seen = nullptr;
    ui.dialogs.Script(CSoundConfigDlg::IDD, [&](CDialogModel& model) {
        auto& d = static_cast<CSoundConfigDlg&>(model);
        seen = &d;
        EXPECT_EQ(d.StatusText(), QStringLiteral("您目前内放选项为:Stereo Mix"));
        EXPECT_EQ(d.MixItems(), (QStringList{"Microphone", "Line In", "Stereo Mix"}));
        EXPECT_EQ(d.SelectedMix(), "Stereo Mix");
        EXPECT_FALSE(d.IsOpenMixChecked());
        EXPECT_FALSE(d.IsMicOnChecked()) << "checked means the microphone is not muted";
        EXPECT_TRUE(d.IsVolumeVisible());
        EXPECT_EQ(d.Volume(), 30000);
        d.SetVolume(70000);
        EXPECT_EQ(d.Volume(), 65535) << "held to the range";
        d.SelectMix("Line In");
        d.SetOpenMixChecked(true);
        d.SetMicOnChecked(true);
        d.OnOK();
    });
    CSoundConfigDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(GetMicVolume(), 65535) << "the slider sets the volume as it moves";
    EXPECT_EQ(CAppProfile::GetProfileString("Main", "MixName"), "Line In");
    EXPECT_EQ(CAppProfile::GetProfileInt("Main", "IsOpenMix", -1), 1);
    EXPECT_EQ(CAppProfile::GetProfileInt("Main", "IsMicMute", -1), 0);
    EXPECT_EQ(CRecordSource::Get().MixName(), "Line In");
}

TEST_F(Mixer, SettingsDialogWithoutAnyMixItsResetButtonAndReadOnly) {
    Lines("Line In");
    CScriptedUi ui;
    CAppProfile::WriteProfileString("Main", "MixName", "");
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 0);
    CAppProfile::WriteProfileInt("Main", "IsMicMute", 1);
    ui.dialogs.Script(CSoundConfigDlg::IDD, [&](CDialogModel& model) {
        auto& d = static_cast<CSoundConfigDlg&>(model);
        EXPECT_EQ(d.StatusText(), QStringLiteral("没有找到内放选项,请手动选择."));
        EXPECT_TRUE(d.SelectedMix().isEmpty());
        d.OnReset();
    });
    CSoundConfigDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(CAppProfile::Store().Kind("Main", "MixName"), CProfileStore::EKind::Text);
    EXPECT_EQ(CAppProfile::GetProfileString("Main", "MixName", "x"), "");
    EXPECT_EQ(CAppProfile::GetProfileInt("Main", "IsOpenMix", -1), 1);
    EXPECT_EQ(CAppProfile::GetProfileInt("Main", "IsMicMute", -1), 0);

    // Read-only, the dialog changes nothing.
    Lines("Stereo Mix");
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 1);
    ui.dialogs.Script(CSoundConfigDlg::IDD, [&](CDialogModel& model) {
        auto& d = static_cast<CSoundConfigDlg&>(model);
        for (int id : {int(CSoundConfigDlg::IDC_OPEN_MIX), int(CSoundConfigDlg::IDC_MIC_ON),
                       int(IDOK), int(CSoundConfigDlg::IDC_RESET)})
            EXPECT_FALSE(d.IsControlEnabled(id)) << id;
        EXPECT_TRUE(d.IsControlEnabled(CSoundConfigDlg::IDC_MIX_LIST));
        d.SetOpenMixChecked(false);
        EXPECT_TRUE(d.IsOpenMixChecked());
        d.OnOK();
        d.OnReset();
        EXPECT_TRUE(d.IsOpen());
        d.OnCancel();
    });
    CSoundConfigDlg readOnly(true);
    EXPECT_EQ(readOnly.DoModal(), IDCANCEL);
    EXPECT_EQ(CAppProfile::GetProfileInt("Main", "IsOpenMix", -1), 1);
}

namespace {

// A room as the speaking logic sees it; its settings dialog is the real one, answered by a
// script.
class CTestRoom : public ISpeakingRoom {
public:
    void AddSystemLine(const QString& text) override { lines << text; }
    int StoredMicVolume() const override { return 20000; }
    void ShowMicVolume(int volume) override { shown = volume; }
    bool OpenSoundSettings() override {
        ++dialogs;
        CSoundConfigDlg dlg;
        return dlg.DoModal() == IDOK;
    }
    QStringList lines;
    int shown = -1;
    int dialogs = 0;
};

bool MicMuted() {
    bool mute = false;
    CurrentMixer().GetMicMute(mute);
    return mute;
}

}  // namespace

TEST_F(Mixer, SpeakingOnTheMicrophoneAtTheStoredVolumeOrOnTheStereoMixStoringItsName) {
    Lines("Line In|Stereo Mix");
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 0);
    CAppProfile::WriteProfileInt("Main", "IsMicMute", 0);
    SelectRecordSource(RECORD_SOURCE_MIX, true);
    SetMicLineMute(true);
    CTestRoom room;
    SelectSpeakingSource(room);
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    EXPECT_FALSE(MicMuted());
    EXPECT_EQ(room.shown, 20000);
    EXPECT_EQ(GetMicVolume(), 20000);
    CAppProfile::WriteProfileInt("Main", "IsMicMute", 1);
    SelectSpeakingSource(room);
    EXPECT_EQ(GetMicVolume(), 0) << "IsMicMute keeps the volume at 0 in microphone mode";
    EXPECT_FALSE(MicMuted());
    SelectSilentSource();
    EXPECT_TRUE(MicMuted());

    CRecordSource::Get().SetMixName(QString());
    CAppProfile::WriteProfileString("Main", "MixName", "");
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 1);
    SelectSpeakingSource(room);
    EXPECT_EQ(Selected(), QStringList{"Stereo Mix"});
    EXPECT_EQ(CAppProfile::GetProfileString("Main", "MixName"), "Stereo Mix");
    EXPECT_TRUE(MicMuted());
    SelectDualMicSource();
    EXPECT_EQ(Selected(), QStringList{"Microphone"});
    EXPECT_FALSE(MicMuted());
    EXPECT_TRUE(room.lines.isEmpty());
    EXPECT_EQ(room.dialogs, 0);
}

TEST_F(Mixer, NoStereoMixAsksTheUserAndTriesOnceMore) {
    Lines("Line In");
    CScriptedUi ui;
    CAppProfile::WriteProfileInt("Main", "IsOpenMix", 1);
    CAppProfile::WriteProfileInt("Main", "IsMicMute", 0);
    // The user picks the line in by hand and unticks the microphone.
    ui.dialogs.Script(CSoundConfigDlg::IDD, [](CDialogModel& model) {
        auto& d = static_cast<CSoundConfigDlg&>(model);
        d.SelectMix("Line In");
        d.SetMicOnChecked(false);
        d.OnOK();
    });
    CTestRoom room;
    SelectSpeakingSource(room);
    EXPECT_EQ(room.lines, QStringList{QStringLiteral("打开内放失败,请手动打开.")});
    EXPECT_EQ(room.dialogs, 1);
    EXPECT_EQ(Selected(), QStringList{"Line In"}) << "the second try takes the user's choice";
    EXPECT_EQ(CAppProfile::GetProfileString("Main", "MixName"), "Line In");
    EXPECT_TRUE(MicMuted()) << "the dialog's IsMicMute counts";
}
