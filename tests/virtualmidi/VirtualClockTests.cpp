#include "virtualmidi/RealTimeScheduler.h"
#include "virtualmidi/VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using virtualmidi::VirtualClock;

namespace
{
    /** What ran, and when the clock said it was. */
    struct Log
    {
        void add (const juce::String& what, double at)
        {
            const std::lock_guard<std::mutex> l (lock);
            entries.add (what + "@" + juce::String (at));
        }

        juce::String text() const
        {
            const std::lock_guard<std::mutex> l (lock);
            return entries.joinIntoString (" ");
        }

        mutable std::mutex lock;
        juce::StringArray entries;
    };

    class NamedThread final : public juce::Thread
    {
    public:
        NamedThread (const juce::String& name, std::function<void()> body) : juce::Thread (name), work (std::move (body)) {}
        ~NamedThread() override { stopThread (5000); }

        void run() override { work(); }

    private:
        std::function<void()> work;
    };
}

TEST (VirtualClock, ASleepRunsTheEventsDueWithinItInTimeOrderAtTheirTimes)
{
    VirtualClock clock;
    Log log;
    int settles = 0;
    clock.setSettle ([&] { ++settles; });

    auto at = [&] (const char* name) { return [&, name] { log.add (name, clock.now()); }; };

    clock.schedule (30, at ("a"));
    clock.schedule (10, at ("b"));
    clock.schedule (10, at ("c")); // same time: in the order scheduled
    clock.schedule (50, at ("d"));
    clock.schedule (20, [&] {
        log.add ("e", clock.now());
        clock.schedule (0, at ("f"));   // due at once: runs within this sleep
        clock.schedule (100, at ("g")); // due at 120
    });

    EXPECT_EQ (clock.now(), 0.0);
    clock.sleep (30);
    EXPECT_EQ (log.text(), "b@10 c@10 e@20 f@20 a@30");
    EXPECT_EQ (clock.now(), 30.0);
    EXPECT_EQ (settles, 6) << "one after each event, one as the sleep ends";

    clock.sleep (19);
    EXPECT_EQ (log.text(), "b@10 c@10 e@20 f@20 a@30") << "d is due at 50, after this sleep";
    EXPECT_EQ (clock.now(), 49.0);

    clock.advance (100);
    EXPECT_EQ (log.text(), "b@10 c@10 e@20 f@20 a@30 d@50 g@120");
    EXPECT_EQ (clock.now(), 149.0);
    EXPECT_EQ (clock.pendingEvents(), 0);

    // Advancing moves time without a sleeper, so the timeline holds only the two sleeps.
    const auto timeline = clock.timeline();
    ASSERT_EQ (timeline.size(), 2u);
    EXPECT_EQ (timeline[0].start, 0.0);
    EXPECT_EQ (timeline[0].length, 30);
    EXPECT_EQ (timeline[1].start, 30.0);
    EXPECT_EQ (timeline[1].length, 19);
}

TEST (VirtualClock, TheTimelineNamesTheThreadThatSlept)
{
    VirtualClock clock;
    clock.sleep (10);

    NamedThread worker ("Downloader", [&] { clock.sleep (20); });
    worker.startThread();
    ASSERT_TRUE (worker.waitForThreadToExit (5000));

    std::thread plain ([&] { clock.sleep (30); });
    plain.join();

    const auto timeline = clock.timeline();
    ASSERT_EQ (timeline.size(), 3u);
    EXPECT_EQ (timeline[0].thread, "message thread");
    EXPECT_EQ (timeline[1].thread, "Downloader");
    EXPECT_EQ (timeline[1].start, 10.0);
    EXPECT_EQ (timeline[2].thread, "");
    EXPECT_EQ (clock.now(), 60.0);
}

TEST (VirtualClock, SleepUnlessExitReturnsAtOnceForAThreadAskedToExit)
{
    VirtualClock clock;
    NamedThread worker ("Downloader", [] {});

    EXPECT_TRUE (clock.sleepUnlessExit (100, worker));
    EXPECT_EQ (clock.now(), 100.0);

    // Asked during the sleep: the sleep runs its length, then tells the thread to stop.
    clock.schedule (50, [&] { worker.signalThreadShouldExit(); });
    EXPECT_FALSE (clock.sleepUnlessExit (100, worker));
    EXPECT_EQ (clock.now(), 200.0);

    // Asked before: no time passes and no sleep is recorded.
    EXPECT_FALSE (clock.sleepUnlessExit (2500, worker));
    EXPECT_EQ (clock.now(), 200.0);
    EXPECT_EQ (clock.sleepLengths(), (std::vector<int> { 100, 100 }));
}

TEST (VirtualClock, ThreadsMaySleepAndScheduleAtOnce)
{
    VirtualClock clock;
    std::atomic<int> ran { 0 };
    std::atomic<bool> wentBack { false };

    auto body = [&] {
        double last = clock.now();

        for (int i = 0; i < 200; ++i)
        {
            clock.schedule (5, [&] { ++ran; });
            clock.sleep (10);
            const double now = clock.now();
            wentBack = wentBack || now < last;
            last = now;
        }
    };

    NamedThread a ("a", body), b ("b", body);
    a.startThread();
    b.startThread();
    ASSERT_TRUE (a.waitForThreadToExit (10000));
    ASSERT_TRUE (b.waitForThreadToExit (10000));

    clock.advance (10);
    EXPECT_EQ (ran.load(), 400);
    EXPECT_FALSE (wentBack.load());
    EXPECT_EQ (clock.timeline().size(), 400u);
}

TEST (RealTimeScheduler, RunsEventsWhenDueInOrderOnItsOwnThread)
{
    virtualmidi::RealTimeScheduler scheduler;
    Log log;
    std::atomic<int> ran { 0 };
    std::atomic<bool> onCaller { false };
    const auto caller = std::this_thread::get_id();

    for (auto [name, delay] : { std::pair { "c", 30.0 }, { "a", 10.0 }, { "b", 20.0 } })
    {
        scheduler.schedule (delay, [&, name = juce::String (name), delay = delay] {
            onCaller = onCaller || std::this_thread::get_id() == caller;
            log.add (name, scheduler.now() >= delay ? 1 : 0); // never early
            ++ran;
        });
    }

    for (int i = 0; i < 1000 && ran < 3; ++i)
        juce::Thread::sleep (5);

    EXPECT_EQ (log.text(), "a@1 b@1 c@1");
    EXPECT_FALSE (onCaller.load());
}

TEST (RealTimeScheduler, DropsWhatIsStillPendingWhenDestroyed)
{
    std::atomic<bool> ran { false };

    {
        virtualmidi::RealTimeScheduler scheduler;
        scheduler.schedule (60000, [&] { ran = true; });
    }

    EXPECT_FALSE (ran.load());
}
