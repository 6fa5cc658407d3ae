#include "Progress.h"

#include <algorithm>
#include <string>

namespace velmora::cli {

void ProgressReporter::Show(int answered, int total) {
    const int frame = std::min(answered + 1, total);
    if (m_bar) {
        constexpr int kWidth = 30;
        const int filled = total > 0 ? answered * kWidth / total : 0;
        const std::string bar = std::string(filled, '#') + std::string(kWidth - filled, ' ');
        std::fprintf(m_out, "\r%s[%s] frame %d/%d", m_prefix.c_str(), bar.c_str(), frame, total);
        m_barDrawn = true;
    } else if (frame != m_lastFrame) {
        // A failed frame is shown again with the same number; one line is enough.
        std::fprintf(m_out, "%sframe %d/%d\n", m_prefix.c_str(), frame, total);
    }
    m_lastFrame = frame;
    std::fflush(m_out);
}

void ProgressReporter::Finish() {
    if (m_barDrawn) std::fputc('\n', m_out);
    m_barDrawn = false;
    std::fflush(m_out);
}

}  // namespace velmora::cli
