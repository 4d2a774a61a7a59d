#pragma once
// How loud a captured block is, measured the way every client of the service measures it, so
// that meter values and the silence threshold mean the same on both ends: a 512-point real
// FFT over every second value of the first 1024, sixteen bins averaged.

#include <cstdint>

class CVoiceLevel {
public:
    CVoiceLevel();
    ~CVoiceLevel();
    CVoiceLevel(const CVoiceLevel&) = delete;
    CVoiceLevel& operator=(const CVoiceLevel&) = delete;

    static constexpr int kPoints = 512;
    static constexpr int kValuesRead = 2 * kPoints;

    // The level L of a block of count 16-bit values; a shorter block reads as zeros after
    // its end.
    int Level(const short* values, int count);

    // The meter value M of a level: 1 to 20.
    static int MeterValue(int level) { return level >= 190 ? 20 : level / 10 + 1; }

private:
    double* m_pIn;
    void* m_pOut;  // fftw_complex[kPoints / 2 + 1]
};
