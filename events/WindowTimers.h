// Window timers keyed by id: each runs until it is killed and reports every
// expiry to one callback on the UI thread.
#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <memory>

namespace velmora {

class CWindowTimers {
  public:
    explicit CWindowTimers(std::function<void(int)> onExpiry);

    // Starts the timer `id`, or restarts it with the new period. Periods below
    // 10 ms, zero and negative ones included, are taken as 10 ms.
    void SetTimer(int id, int milliseconds);
    // False when no timer of that id was running.
    bool KillTimer(int id);
    bool IsRunning(int id) const;
    // Kills every timer.
    void KillAll();

  private:
    std::function<void(int)> m_onExpiry;
    std::map<int, std::unique_ptr<QTimer>> m_timers;
};

}  // namespace velmora
