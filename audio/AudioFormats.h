#pragma once
// The three audio qualities: what each captures, how big a block is and what a receiver plays.

#include "platform/StringIds.h"
#include "platform/audio/WaveTypes.h"

enum : int {
    AUDIO_QUALITY_NONE = 0,
    AUDIO_QUALITY_HIFI = 1,     // "音响音质": MP3 64 kbit/s
    AUDIO_QUALITY_SINGING = 2,  // "唱歌音质": MP3 32 kbit/s, played at 16000 Hz
    AUDIO_QUALITY_SPEECH = 3,   // "说话音质": echo filter and G.729
};

// One MP3 block is ten MPEG-2 frames of 576 stereo samples; one speech block is 25 G.729 frames.
constexpr int kMp3BlockBytes = 23040;
constexpr int kSpeechBlockBytes = 4000;
constexpr int kSpeechPayloadBytes = 250;
constexpr int kHifiPayloadBuffer = 5000;
constexpr int kSingingPayloadBuffer = 3500;
constexpr int kSpeechPayloadBuffer = 1000;

inline bool IsAudioQuality(int quality) {
    return quality >= AUDIO_QUALITY_HIFI && quality <= AUDIO_QUALITY_SPEECH;
}

// The string-table name of a quality; 0 for no quality.
inline int QualityNameId(int quality) {
    switch (quality) {
        case AUDIO_QUALITY_HIFI:
            return IDS_QUALITY_HIFI;
        case AUDIO_QUALITY_SINGING:
            return IDS_QUALITY_SINGING;
        case AUDIO_QUALITY_SPEECH:
            return IDS_QUALITY_SPEECH;
        default:
            return 0;
    }
}

// The capture format of a quality; qualities 1 and 2 both record 22050 Hz stereo.
inline tagWaveFormat CaptureFormat(int quality) {
    return quality == AUDIO_QUALITY_SPEECH ? tagWaveFormat::Pcm16(8000, 1)
                                           : tagWaveFormat::Pcm16(22050, 2);
}
inline int CaptureBlockBytes(int quality) {
    return quality == AUDIO_QUALITY_SPEECH ? kSpeechBlockBytes : kMp3BlockBytes;
}

// The playback format of a player's format number (the quality it plays).
inline tagWaveFormat PlaybackFormat(int format) {
    switch (format) {
        case 1:
            return tagWaveFormat::Pcm16(22050, 2);
        case 2:
            return tagWaveFormat::Pcm16(16000, 2);
        default:
            return tagWaveFormat::Pcm16(8000, 1);
    }
}
inline int PlaybackBufferBytes(int format) {
    return format == 3 ? kSpeechBlockBytes : kMp3BlockBytes;
}
