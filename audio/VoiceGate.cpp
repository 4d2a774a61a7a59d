#include "audio/VoiceGate.h"

#include "audio/VoiceLevel.h"

tagVoiceVerdict CVoiceGate::Judge(int level, int64_t now) {
    tagVoiceVerdict verdict;
    if (level >= kVoiceLevel)
        m_nLastVoice = now;
    else if (now - m_nLastVoice >= kSilenceSeconds)
        return verdict;
    verdict.send = true;
    verdict.meter = CVoiceLevel::MeterValue(level);
    if (verdict.meter >= kLoudMeter && now - m_nLastFlag >= kLoudEverySeconds) {
        verdict.loud = 1;
        m_nLastFlag = now;
    }
    return verdict;
}
