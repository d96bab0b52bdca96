#include "virtualmidi/VirtualClock.h"

#include <juce_events/juce_events.h>

namespace virtualmidi
{
    double VirtualClock::now()
    {
        const std::lock_guard<std::mutex> l (lock);
        return current;
    }

    void VirtualClock::sleep (int milliseconds)
    {
        double target;

        {
            const std::lock_guard<std::mutex> l (lock);
            sleeps.push_back ({ current, milliseconds, currentThreadName() });
            target = current + juce::jmax (0, milliseconds);
        }

        runUntil (target);
    }

    bool VirtualClock::sleepUnlessExit (int milliseconds, juce::Thread& thread)
    {
        if (thread.threadShouldExit())
            return false;

        sleep (milliseconds);
        return ! thread.threadShouldExit();
    }

    void VirtualClock::schedule (double delayMs, std::function<void()> event)
    {
        const std::lock_guard<std::mutex> l (lock);
        events.emplace (std::make_pair (current + juce::jmax (0.0, delayMs), nextSequence++), std::move (event));
    }

    void VirtualClock::advance (double milliseconds)
    {
        double target;

        {
            const std::lock_guard<std::mutex> l (lock);
            target = current + juce::jmax (0.0, milliseconds);
        }

        runUntil (target);
    }

    void VirtualClock::setSettle (std::function<void()> settle)
    {
        const std::lock_guard<std::mutex> l (lock);
        settleHook = std::move (settle);
    }

    std::vector<VirtualClock::Sleep> VirtualClock::timeline() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return sleeps;
    }

    std::vector<int> VirtualClock::sleepLengths() const
    {
        const std::lock_guard<std::mutex> l (lock);
        std::vector<int> lengths;

        for (const auto& s : sleeps)
            lengths.push_back (s.length);

        return lengths;
    }

    int VirtualClock::pendingEvents() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return (int)events.size();
    }

    void VirtualClock::runUntil (double target)
    {
        for (;;)
        {
            std::function<void()> event, settle;

            {
                const std::lock_guard<std::mutex> l (lock);
                settle = settleHook;

                if (events.empty() || events.begin()->first.first > target)
                {
                    // Time never goes back, also when two threads sleep at once.
                    current = juce::jmax (current, target);
                    event = nullptr;
                }
                else
                {
                    auto first = events.begin();
                    current = juce::jmax (current, first->first.first);
                    event = std::move (first->second);
                    events.erase (first);
                }
            }

            // Outside the lock: an event may schedule more, and the settle waits for other threads.
            if (event)
                event();

            if (settle)
                settle();

            if (! event)
                return;
        }
    }

    juce::String VirtualClock::currentThreadName()
    {
        if (auto* thread = juce::Thread::getCurrentThread())
            return thread->getThreadName();

        if (auto* mm = juce::MessageManager::getInstanceWithoutCreating())
            if (mm->isThisTheMessageThread())
                return "message thread";

        return {};
    }
}
