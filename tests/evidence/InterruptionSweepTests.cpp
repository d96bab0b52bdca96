// An update cut short at every step: the cable pulled, or the window closed, right after each
// message the pedal receives, and the pedal coming back at each search after its restart.
// Each run is a whole update in virtual time; the loops stay inside a few test cases.

#include "evidence/UpdateRig.h"

#include <gtest/gtest.h>

using namespace evidence;
using namespace message;

namespace
{
    const char* modeName (bool unattended) { return unattended ? "unattended" : "interactive"; }

    /** The first `count` messages of the image, as one byte run. */
    juce::Array<juce::uint8> imageStart (const UpdateRig& s, int count)
    {
        const auto whole = s.image();
        int end = 0;

        for (int seen = 0; seen < count && end < whole.size(); ++end)
            if (whole[end] == 0xF7)
                ++seen;

        return { whole.getRawDataPointer(), end };
    }

    /** Searches for the restarted pedal that failed: the retry steps the view was shown. */
    int failedSearches (const UpdateRig& s)
    {
        const auto values = s.progress();
        return (int)std::count_if (values.begin(), values.end(), [] (double v) { return v > 0.6 + 1e-9 && v != 1.0; });
    }

    /** Runs `action` right after the pedal received its k-th message; for k = 0, at once,
        before it received anything. */
    void onMessage (UpdateRig& s, int k, std::function<void()> action)
    {
        if (k == 0)
            action();
        else
            s.pedal->afterMessage (k, std::move (action));
    }

    bool onWorkerThread()
    {
        auto* thread = juce::Thread::getCurrentThread();
        return thread != nullptr && thread->getThreadName() == "Downloader";
    }

    // The healthy run has 383 messages; the sweeps go one past it, to where nothing is left to cut.
    constexpr int lastMessage = revisionQueryMessage + 1;

    std::vector<int> range (int from, int to)
    {
        std::vector<int> r;

        for (int k = from; k <= to; ++k)
            r.push_back (k);

        return r;
    }

    /** Interactive runs differ from unattended ones only in the wait after the update begin
        and the pacing, so they are cut at each step of the run rather than after every message. */
    const std::vector<int> eachStep { 0, 1, 2, 3, 4, 191, 379, 380, 381, 382, 383, lastMessage };

    void pullThePedalAfter (bool unattended, const std::vector<int>& messages)
    {
        for (const int k : messages)
        {
            SCOPED_TRACE (juce::String (modeName (unattended)) + ", unplugged after message " + juce::String (k));
            UpdateRig s (unattended);
            onMessage (s, k, [&s] { s.pedal->unplug(); });
            s.start();

            if (k >= firstStreamMessage && ! unattended)
            {
                ASSERT_TRUE (s.pressUpdateWhenEnabled());
            }

            ASSERT_TRUE (s.runToEnd()) << "the run hangs";
            testsupport::drain (2);

            if (k == lastMessage)
            {
                // Nothing is cut: the healthy run, to show the sweep reached past its end.
                EXPECT_EQ (s.verdicts(), juce::StringArray { success });
                continue;
            }

            EXPECT_TRUE (s.streamIsImageOrItsStart());
            EXPECT_FALSE (s.verdicts().contains (success));

            if (k < firstStreamMessage)
            {
                // Gone before it answered the first identify request: no pedal, no update.
                EXPECT_EQ (s.received (MessageType::deviceNotFound), 1);
                EXPECT_EQ (s.verdicts().size(), 0);
                EXPECT_FALSE (s.updateButtonEnabled());
                EXPECT_EQ (s.controller.getResult(), unattended ? -1 : 0);
                EXPECT_EQ (s.pedal->received().size(), (size_t)k);
                continue;
            }

            EXPECT_EQ (s.verdicts(), juce::StringArray { failure });
            EXPECT_EQ (s.controller.getResult(), -1);
            EXPECT_EQ (s.quits > 0, unattended);
            EXPECT_EQ (s.pedal->streamBytes(), imageStart (s, juce::jmin (k, lastStreamMessage) - 1))
                << "the pedal took every message up to the one it vanished after";

            // Before the revision query the pedal is missing at every search; after it, the
            // query goes unanswered.
            EXPECT_EQ (failedSearches (s), k < revisionQueryMessage ? 8 : 0);
        }
    }

    void closeTheWindowAfter (bool unattended, const std::vector<int>& messages)
    {
        for (const int k : messages)
        {
            SCOPED_TRACE (juce::String (modeName (unattended)) + ", closed after message " + juce::String (k));
            UpdateRig s (unattended);

            // On the worker the close is held right where message k left it, until the shutdown
            // asks the worker to end, so the close lands exactly there in every run.
            onMessage (s, k, [&s] {
                s.controller.sendMessage (new CloseRequest()); // what closing the window posts

                if (onWorkerThread())
                    for (int ms = 0; ms < 10000 && ! juce::Thread::currentThreadShouldExit(); ++ms)
                        juce::Thread::sleep (1);
            });
            s.start();

            if (k >= firstStreamMessage && ! unattended)
            {
                ASSERT_TRUE (s.pressUpdateWhenEnabled());
            }

            if (k == lastMessage)
            {
                // The close comes after the end: the verdict stands.
                ASSERT_TRUE (s.runToEnd());
                s.controller.sendMessage (new CloseRequest());
                ASSERT_TRUE (s.shutDownAfterQuit());
                EXPECT_EQ (s.verdicts(), juce::StringArray { success });
                EXPECT_EQ (s.controller.getResult(), 0);
                continue;
            }

            ASSERT_TRUE (s.shutDownAfterQuit()) << "the worker outlived the shutdown's time-out";

            EXPECT_EQ (s.verdicts().size(), 0) << "no verdict after the window was closed";
            EXPECT_EQ (s.controller.getResult(), unattended ? -1 : 0) << "a script never reads an interrupted run as a success";
            EXPECT_TRUE (s.streamIsImageOrItsStart());
            EXPECT_EQ (s.pedal->received().size(), (size_t)k) << "nothing went out after the close";
        }
    }
}

// Unattended, every message of the run is swept, in parts that stay short under the sanitizers.
TEST (PedalPulled, AfterMessages0To47) { pullThePedalAfter (true, range (0, 47)); }
TEST (PedalPulled, AfterMessages48To95) { pullThePedalAfter (true, range (48, 95)); }
TEST (PedalPulled, AfterMessages96To143) { pullThePedalAfter (true, range (96, 143)); }
TEST (PedalPulled, AfterMessages144To191) { pullThePedalAfter (true, range (144, 191)); }
TEST (PedalPulled, AfterMessages192To239) { pullThePedalAfter (true, range (192, 239)); }
TEST (PedalPulled, AfterMessages240To287) { pullThePedalAfter (true, range (240, 287)); }
TEST (PedalPulled, AfterMessages288To335) { pullThePedalAfter (true, range (288, 335)); }
TEST (PedalPulled, AfterMessages336To384) { pullThePedalAfter (true, range (336, lastMessage)); }
TEST (PedalPulled, AfterEachStepOfAnInteractiveRun) { pullThePedalAfter (false, eachStep); }

TEST (WindowClosed, AfterMessages0To47) { closeTheWindowAfter (true, range (0, 47)); }
TEST (WindowClosed, AfterMessages48To95) { closeTheWindowAfter (true, range (48, 95)); }
TEST (WindowClosed, AfterMessages96To143) { closeTheWindowAfter (true, range (96, 143)); }
TEST (WindowClosed, AfterMessages144To191) { closeTheWindowAfter (true, range (144, 191)); }
TEST (WindowClosed, AfterMessages192To239) { closeTheWindowAfter (true, range (192, 239)); }
TEST (WindowClosed, AfterMessages240To287) { closeTheWindowAfter (true, range (240, 287)); }
TEST (WindowClosed, AfterMessages288To335) { closeTheWindowAfter (true, range (288, 335)); }
TEST (WindowClosed, AfterMessages336To384) { closeTheWindowAfter (true, range (336, lastMessage)); }
TEST (WindowClosed, AfterEachStepOfAnInteractiveRun) { closeTheWindowAfter (false, eachStep); }

TEST (InterruptedUpdate, APedalBackAtAnyOfTheEightSearchesIsASuccess)
{
    constexpr double restartPauseMs = 2500;

    for (const bool unattended : { true, false })
    {
        // The n-th search comes one pacing step and n restart pauses after the update end.
        const double pacingMs = unattended ? 40 : 50;

        for (int n = 1; n <= 8; ++n)
        {
            // Back at the very moment of the n-th search, and a millisecond after it.
            for (const double late : { 0.0, 1.0 })
            {
                SCOPED_TRACE (juce::String (modeName (unattended)) + ", back at search " + juce::String (n) + " + " + juce::String (late) + " ms");
                emulator::PedalConfig config;
                config.restartMs = pacingMs + n * restartPauseMs + late;
                UpdateRig s (unattended, config);
                s.start();

                if (! unattended)
                {
                    ASSERT_TRUE (s.pressUpdateWhenEnabled());
                }

                ASSERT_TRUE (s.runToEnd());
                testsupport::drain (2);

                const int foundAt = late > 0 ? n + 1 : n;
                EXPECT_EQ (s.pedal->streamBytes(), s.image());
                EXPECT_TRUE (s.pedal->verdict().complete);
                EXPECT_TRUE (s.pedal->verdict().paced);
                EXPECT_EQ (failedSearches (s), foundAt - 1);

                if (foundAt <= 8)
                {
                    EXPECT_EQ (s.verdicts(), juce::StringArray { success });
                    EXPECT_EQ (s.controller.getResult(), 0);
                    EXPECT_EQ (s.revisionQueries().size(), 1u);
                }
                else
                {
                    EXPECT_EQ (s.verdicts(), juce::StringArray { failure }) << "the worker gave up after eight searches";
                    EXPECT_EQ (s.controller.getResult(), -1);
                    EXPECT_EQ (s.revisionQueries().size(), 0u);
                }
            }
        }
    }
}
