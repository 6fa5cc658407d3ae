#include "Trace.h"

#include <string>

namespace velmora::cli {

void ExchangeTrace::Sent(const ByteString& bytes, Clock::time_point at) {
    EndRun();
    Line(at, "sent", bytes);
}

void ExchangeTrace::Received(unsigned char byte, Clock::time_point at) {
    if (!m_runStart) m_runStart = at;
    m_run.push_back(static_cast<char>(byte));
}

void ExchangeTrace::EndRun() {
    if (!m_runStart) return;
    Line(*m_runStart, "recv", m_run);
    m_run.clear();
    m_runStart.reset();
}

void ExchangeTrace::Line(Clock::time_point at, const char* what, const ByteString& bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += ' ';
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0xF];
    }
    const std::chrono::duration<double, std::milli> ms = at - m_start;
    std::fprintf(m_out, "%s%9.1f ms  %s %2zu:%s\n", m_prefix.c_str(), ms.count(), what,
                 bytes.size(), hex.c_str());
    std::fflush(m_out);
}

}  // namespace velmora::cli
