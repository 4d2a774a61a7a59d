#include "audio/VoiceLevel.h"

#include <fftw3.h>

#include <cmath>
#include <mutex>

namespace {

// The planner is not thread-safe; one plan is made once and executed on per-object arrays,
// which FFTW allows from any thread.
fftw_plan SharedPlan() {
    static std::once_flag once;
    static fftw_plan plan = nullptr;
    std::call_once(once, [] {
        double* in = fftw_alloc_real(CVoiceLevel::kPoints);
        fftw_complex* out = fftw_alloc_complex(CVoiceLevel::kPoints / 2 + 1);
        plan = fftw_plan_dft_r2c_1d(CVoiceLevel::kPoints, in, out, FFTW_ESTIMATE);
        fftw_free(in);
        fftw_free(out);
    });
    return plan;
}

}  // namespace

CVoiceLevel::CVoiceLevel()
    : m_pIn(fftw_alloc_real(kPoints)), m_pOut(fftw_alloc_complex(kPoints / 2 + 1)) {
    SharedPlan();
}

CVoiceLevel::~CVoiceLevel() {
    fftw_free(m_pIn);
    fftw_free(m_pOut);
}

int CVoiceLevel::Level(const short* values, int count) {
    for (int i = 0; i < kPoints; ++i) {
        const int at = 2 * i;
        m_pIn[i] = (values != nullptr && at < count) ? values[at] : 0.0;
    }
    auto* out = static_cast<fftw_complex*>(m_pOut);
    fftw_execute_dft_r2c(SharedPlan(), m_pIn, out);
    long sum = 0;
    for (int k = 0; k <= 240; k += 16) {
        const double magnitude = std::hypot(out[k][0], out[k][1]);
        sum += static_cast<long>(magnitude / kPoints) % 256;
    }
    return static_cast<int>(sum / 16);
}
