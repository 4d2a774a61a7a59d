#pragma once
// The sound the audio benchmarks feed their coders: a buzz with a wandering pitch under a
// syllable envelope, and some noise. Encoders work about as hard on it as on a voice, and it
// is the same in every run.

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

inline std::vector<short> SpeechLike(int rate, int channels, double seconds) {
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 300);
    const int frames = static_cast<int>(rate * seconds);
    std::vector<short> out(static_cast<size_t>(frames) * channels);
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        phase += 2 * M_PI * (140 + 40 * std::sin(2 * M_PI * 0.7 * t)) / rate;
        const double env = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        double v = 0;
        for (int h = 1; h <= 12; ++h) v += std::sin(h * phase) / h;
        const short s =
            static_cast<short>(std::clamp(6000 * env * v + noise(rng), -32768.0, 32767.0));
        for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i) * channels + c] = s;
    }
    return out;
}
