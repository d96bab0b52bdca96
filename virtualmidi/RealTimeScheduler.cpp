#include "virtualmidi/RealTimeScheduler.h"

#include <juce_core/juce_core.h>

namespace virtualmidi
{
    RealTimeScheduler::RealTimeScheduler()
        : start (juce::Time::getMillisecondCounterHiRes()),
          thread ([this] { run(); })
    {
    }

    RealTimeScheduler::~RealTimeScheduler()
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            stopping = true;
        }

        changed.notify_all();
        thread.join();
    }

    double RealTimeScheduler::now() { return juce::Time::getMillisecondCounterHiRes() - start; }

    void RealTimeScheduler::schedule (double delayMs, std::function<void()> event)
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            events.emplace (std::make_pair (now() + juce::jmax (0.0, delayMs), nextSequence++), std::move (event));
        }

        changed.notify_all();
    }

    void RealTimeScheduler::run()
    {
        std::unique_lock<std::mutex> l (lock);

        while (! stopping)
        {
            if (events.empty())
            {
                changed.wait (l);
                continue;
            }

            const double due = events.begin()->first.first;
            const double wait = due - now();

            if (wait > 0)
            {
                changed.wait_for (l, std::chrono::microseconds ((std::int64_t) (wait * 1000.0) + 1));
                continue;
            }

            auto event = std::move (events.begin()->second);
            events.erase (events.begin());

            l.unlock();
            event();
            l.lock();
        }
    }
}
