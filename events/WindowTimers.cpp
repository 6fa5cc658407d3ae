#include "WindowTimers.h"

#include <algorithm>
#include <utility>

namespace velmora {
namespace {
constexpr int kMinimumPeriodMs = 10;
}

CWindowTimers::CWindowTimers(std::function<void(int)> onExpiry) : m_onExpiry(std::move(onExpiry)) {}

void CWindowTimers::SetTimer(int id, int milliseconds) {
    std::unique_ptr<QTimer>& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { m_onExpiry(id); });
    }
    timer->start(std::max(milliseconds, kMinimumPeriodMs));
}

bool CWindowTimers::KillTimer(int id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive()) return false;
    it->second->stop();
    return true;
}

bool CWindowTimers::IsRunning(int id) const {
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}

void CWindowTimers::KillAll() {
    for (auto& [id, timer] : m_timers) timer->stop();
}

}  // namespace velmora
