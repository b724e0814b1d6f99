#pragma once
// How long the windows stop answering: the longest gap between two ticks of
// a 10 ms timer while it runs (the start and the stop count as ticks).
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace discdbtest {

class GapProbe {
public:
    GapProbe()
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        max_ = 0;
        last_ = Clock::now();
        timer_.start();
    }
    // The longest gap in milliseconds.
    double stop()
    {
        tick();
        timer_.stop();
        return max_;
    }

private:
    using Clock = std::chrono::steady_clock;
    void tick()
    {
        const auto now = Clock::now();
        max_ = std::max(max_, std::chrono::duration<double, std::milli>(now - last_).count());
        last_ = now;
    }
    QTimer timer_;
    Clock::time_point last_;
    double max_ = 0;
};

} // namespace discdbtest
