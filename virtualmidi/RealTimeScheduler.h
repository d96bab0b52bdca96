#pragma once

#include "virtualmidi/Scheduler.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>

namespace virtualmidi
{
    /** Runs a stand-in device in real time: events run on a thread of the scheduler's own
        when they fall due. Events still waiting at destruction are dropped. */
    class RealTimeScheduler final : public Scheduler
    {
    public:
        RealTimeScheduler();
        ~RealTimeScheduler() override;

        double now() override;
        void schedule (double delayMs, std::function<void()> event) override;

    private:
        void run();

        const double start;
        std::mutex lock;
        std::condition_variable changed;
        bool stopping = false;
        std::uint64_t nextSequence = 0;
        std::map<std::pair<double, std::uint64_t>, std::function<void()>> events;
        std::thread thread;
    };
}
