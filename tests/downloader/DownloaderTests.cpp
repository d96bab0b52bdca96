#include "downloader/Downloader.h"
#include "message/Messages.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <mutex>

using namespace message;
using downloader::Downloader;

namespace
{
    /** Time that passes only when someone sleeps; sleeps listed in `blockOn` block until the
        sleeping thread is asked to exit, so a test can hold the worker in one of its states. */
    class InstantClock final : public midi::Clock
    {
    public:
        double now() override
        {
            std::lock_guard<std::mutex> lock (mutex);
            return t;
        }

        void sleep (int ms) override
        {
            std::lock_guard<std::mutex> lock (mutex);
            sleeps.push_back (ms);
            t += ms;
        }

        bool sleepUnlessExit (int ms, juce::Thread& thread) override
        {
            if (thread.threadShouldExit())
                return false;

            if (ms == blockOn)
            {
                blocked = true;
                while (! thread.threadShouldExit())
                    thread.wait (50);
                return false;
            }

            sleep (ms);
            return ! thread.threadShouldExit();
        }

        std::vector<int> sleepsSoFar()
        {
            std::lock_guard<std::mutex> lock (mutex);
            return sleeps;
        }

        int blockOn = -1;
        std::atomic<bool> blocked { false };

    private:
        std::mutex mutex;
        double t = 0;
        std::vector<int> sleeps;
    };

    /** A device link that plays a script and logs every call with the clock's time. */
    class ScriptedLink final : public midi::MidiIf
    {
    public:
        explicit ScriptedLink (midi::Clock& c) : clock (c) {}

        struct Call
        {
            double time;
            juce::String what;
            juce::Array<juce::uint8> bytes;
        };

        bool findDevice (int modelId) override
        {
            log ("find " + juce::String (modelId));
            return ! findResults.empty() && take (findResults);
        }

        void close() override { log ("close"); }

        void getDeviceName (juce::String& name) override { name = deviceName; }

        bool sendAndReceive (const juce::Array<juce::uint8>& request, juce::Array<juce::uint8>& reply, int polls) override
        {
            log ("query " + juce::String (polls), request);
            for (int i = 0; i < polls && ! answerQuery; ++i)
                clock.sleep (10);
            if (! answerQuery)
                return false;
            reply = queryReply;
            return true;
        }

        bool send (const juce::Array<juce::uint8>& bytes) override
        {
            log ("send", bytes);
            return true;
        }

        std::vector<Call> callsSoFar()
        {
            std::lock_guard<std::mutex> lock (mutex);
            return calls;
        }

        std::vector<bool> findResults;
        juce::String deviceName { "Bramblet boot" };
        bool answerQuery = true;
        juce::Array<juce::uint8> queryReply { 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x04, 0x40, 0x63, 0x02, 0x00, 0x00 }; // 739

    private:
        static bool take (std::vector<bool>& v)
        {
            const bool b = v.front();
            v.erase (v.begin());
            return b;
        }

        void log (const juce::String& what, const juce::Array<juce::uint8>& bytes = {})
        {
            std::lock_guard<std::mutex> lock (mutex);
            calls.push_back ({ clock.now(), what, bytes });
        }

        midi::Clock& clock;
        std::mutex mutex;
        std::vector<Call> calls;
    };

    /** Stands in for the controller and the model: logs what the downloader reports, with the
        clock's time at the post, and answers package requests from a small image. */
    class ControllerAndModel final : public controller::ControllerIF
    {
    public:
        explicit ControllerAndModel (midi::Clock& c) : clock (c)
        {
            for (int i = 0; i < 380; ++i)
                image.add ({ 0xf0, (juce::uint8) (i & 0x7f), (juce::uint8) (i >> 7), 0xf7 });
        }

        struct Post
        {
            double time;
            int type;
            double value;
        };

        void sendMessage (BaseMessage* m) override
        {
            {
                std::lock_guard<std::mutex> lock (mutex);
                double value = 0;
                if (m->type == MessageType::progressUpdate)
                    value = static_cast<ProgressUpdate*> (m)->value;
                else if (m->type == MessageType::svnUpdate)
                    value = static_cast<SVNUpdate*> (m)->revision;
                else if (m->type == MessageType::updateStatus)
                    value = static_cast<UpdateStatus*> (m)->failed;
                posts.push_back ({ clock.now(), m->type, value });
            }
            ControllerIF::sendMessage (m);
        }

        void processMessage (BaseMessage* m) override
        {
            if (m->type == MessageType::nextPackageRequest && downloader != nullptr)
            {
                if (nextIndex == rewindAt)
                {
                    rewindAt = -1;
                    nextIndex = 0; // the model got a second update request
                }

                const int i = nextIndex++;
                downloader->sendMessage (new NextPackageResponse ((juce::uint32)i, (juce::uint32)image.size(),
                                                                  i < image.size() ? image[i] : juce::Array<juce::uint8>()));
            }
            else if (m->type == MessageType::deviceFound)
            {
                foundName = static_cast<DeviceFound*> (m)->name;
            }
        }

        int getResult() override { return 0; }

        std::vector<Post> postsOf (int type)
        {
            std::lock_guard<std::mutex> lock (mutex);
            std::vector<Post> r;
            for (auto& p : posts)
                if (p.type == type)
                    r.push_back (p);
            return r;
        }

        std::vector<int> types()
        {
            std::lock_guard<std::mutex> lock (mutex);
            std::vector<int> r;
            for (auto& p : posts)
                r.push_back (p.type);
            return r;
        }

        Downloader* downloader = nullptr;
        juce::Array<juce::Array<juce::uint8>> image;
        int nextIndex = 0;
        int rewindAt = -1;
        juce::String foundName;

    private:
        midi::Clock& clock;
        std::mutex mutex;
        std::vector<Post> posts;
    };

    struct Rig
    {
        explicit Rig (bool unattended) : link (clock), hub (clock), d (&hub, &link, unattended, clock)
        {
            hub.downloader = &d;
        }

        /** Runs an update until the worker has ended. */
        void update()
        {
            d.sendMessage (new UpdateRequest());
            ASSERT_TRUE (testsupport::pumpUntil ([this] { return hub.nextIndex > hub.image.size(); }));
            ASSERT_TRUE (testsupport::pumpUntil ([this] { return ! d.isThreadRunning(); }));
        }

        std::vector<ScriptedLink::Call> sends()
        {
            std::vector<ScriptedLink::Call> r;
            for (auto& c : link.callsSoFar())
                if (c.what == "send")
                    r.push_back (c);
            return r;
        }

        InstantClock clock;
        ScriptedLink link;
        ControllerAndModel hub;
        Downloader d;
    };

    double sendingProgress (int remaining) { return (60.0 - remaining * 50.0 / 380.0) / 100.0; }
}

TEST (DownloaderSearch, ReportsThePedalByItsPortNameOrThatThereIsNone)
{
    for (bool present : { true, false })
    {
        Rig rig (false);
        rig.link.findResults = { present };
        rig.d.sendMessage (new ModelIdResponse (0x1a));
        testsupport::drain();

        EXPECT_EQ (rig.link.callsSoFar().at (0).what, "find 26");
        EXPECT_EQ (rig.hub.types(), std::vector<int> { present ? 20 : 19 });
        EXPECT_EQ (rig.hub.foundName, present ? "Bramblet boot" : "");
    }
}

TEST (DownloaderTransfer, UnattendedSendsTheWholeImageInOrderFortyMillisecondsApart)
{
    Rig rig (true);
    rig.link.findResults = { true, true };
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.update();

    auto sends = rig.sends();
    ASSERT_EQ (sends.size(), 380u);
    for (int i = 0; i < 380; ++i)
        EXPECT_EQ (sends[(size_t)i].bytes, rig.hub.image[i]) << "message " << i;

    EXPECT_EQ (sends[1].time, sends[0].time) << "no wait after the update begin when unattended";
    for (size_t i = 2; i < sends.size(); ++i)
        EXPECT_EQ (sends[i].time - sends[i - 1].time, 40.0) << "message " << i;

    auto progress = rig.hub.postsOf (MessageType::progressUpdate);
    ASSERT_EQ (progress.size(), 379u);
    EXPECT_DOUBLE_EQ (progress.front().value, sendingProgress (378));
    EXPECT_NEAR (progress.front().value, 0.1026, 0.0001);
    EXPECT_EQ (progress.back().value, 0.6);

    // After the last message: 2.5 s, the pedal looked for again, its revision asked with 20 polls.
    auto calls = rig.link.callsSoFar();
    auto query = calls.back();
    EXPECT_EQ (query.what, "query 20");
    EXPECT_EQ (query.bytes, (juce::Array<juce::uint8> { 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x03 }));
    EXPECT_EQ (calls[calls.size() - 3].what, "close");
    EXPECT_EQ (calls[calls.size() - 2].what, "find 26");
    EXPECT_EQ (calls[calls.size() - 2].time - sends.back().time, 40.0 + 2500.0);

    auto revision = rig.hub.postsOf (MessageType::svnUpdate);
    ASSERT_EQ (revision.size(), 1u);
    EXPECT_EQ (revision[0].value, 739);
    EXPECT_TRUE (rig.hub.postsOf (MessageType::updateStatus).empty()) << "the controller judges, not the downloader";
}

TEST (DownloaderTransfer, InteractiveWaitsTwentySecondsAfterTheBeginThenPacesAtFifty)
{
    Rig rig (false);
    rig.link.findResults = { true, true };
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.update();

    auto sends = rig.sends();
    ASSERT_EQ (sends.size(), 380u);
    EXPECT_EQ (sends[1].time - sends[0].time, 20000.0);
    for (size_t i = 2; i < sends.size(); ++i)
        ASSERT_EQ (sends[i].time - sends[i - 1].time, 50.0) << "message " << i;

    auto progress = rig.hub.postsOf (MessageType::progressUpdate);
    ASSERT_EQ (progress.size(), 40u + 379u);
    for (int round = 0; round < 40; ++round)
    {
        EXPECT_NEAR (progress[(size_t)round].value, 0.0025 * (round + 1), 1e-12);
        EXPECT_EQ (progress[(size_t)round].time, 500.0 * round);
    }
    EXPECT_NEAR (progress[39].value, 0.1, 1e-12);
    EXPECT_EQ (progress.back().value, 0.6);
}

TEST (DownloaderTransfer, GivesUpAfterEightSearchesForAPedalThatNeverComesBack)
{
    Rig rig (true);
    rig.link.findResults = { true }; // found at start only
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.update();

    auto progress = rig.hub.postsOf (MessageType::progressUpdate);
    std::vector<double> retries;
    for (size_t i = 379; i < progress.size(); ++i)
        retries.push_back (progress[i].value);

    ASSERT_EQ (retries.size(), 8u);
    for (size_t i = 0; i < 7; ++i)
        EXPECT_NEAR (retries[i], 0.65 + 0.05 * (double)i, 1e-9);
    EXPECT_GE (retries[7], 1.0);
    EXPECT_LT (retries[7], 1.0 + 1e-9);

    int searches = 0;
    for (auto& c : rig.link.callsSoFar())
        searches += c.what.startsWith ("find") ? 1 : 0;
    EXPECT_EQ (searches, 1 + 8);

    auto status = rig.hub.postsOf (MessageType::updateStatus);
    ASSERT_EQ (status.size(), 1u);
    EXPECT_EQ (status[0].value, 1);
    EXPECT_EQ (rig.hub.types().back(), (int)MessageType::updateStatus);
}

TEST (DownloaderTransfer, AFailedOrUnreadableRevisionQueryIsAFailure)
{
    struct Case
    {
        const char* what;
        bool answers;
        juce::Array<juce::uint8> reply;
    };

    const std::vector<Case> cases {
        { "no answer within the polls", false, {} },
        { "a reply too short for four bytes", true, { 0x00, 0x4b, 0x6e, 0x00, 0x1a, 0x04, 0x40, 0x63, 0x02 } },
        { "a header alone", true, { 0x00, 0x4b, 0x6e, 0x00, 0x1a } },
    };

    for (auto& c : cases)
    {
        Rig rig (true);
        rig.link.findResults = { true, true };
        rig.link.answerQuery = c.answers;
        rig.link.queryReply = c.reply;
        rig.d.sendMessage (new ModelIdResponse (0x1a));
        rig.update();

        EXPECT_TRUE (rig.hub.postsOf (MessageType::svnUpdate).empty()) << c.what;
        auto status = rig.hub.postsOf (MessageType::updateStatus);
        ASSERT_EQ (status.size(), 1u) << c.what;
        EXPECT_EQ (status[0].value, 1) << c.what;
    }
}

TEST (DownloaderPackages, ASecondUpdateStartsFromTheFirstMessageAgain)
{
    Rig rig (true);
    rig.link.findResults = { true, false, false, false, false, false, false, false, false, true };
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.update();
    ASSERT_EQ (rig.hub.postsOf (MessageType::updateStatus).size(), 1u);

    rig.hub.nextIndex = 0; // the model rewinds on the update request
    rig.update();

    auto sends = rig.sends();
    ASSERT_EQ (sends.size(), 760u);
    for (int i = 0; i < 380; ++i)
        ASSERT_EQ (sends[380 + (size_t)i].bytes, rig.hub.image[i]) << "second run, message " << i;
    EXPECT_EQ (rig.hub.postsOf (MessageType::svnUpdate).size(), 1u);
}

TEST (DownloaderPackages, AModelRewoundMidChainRefillsTheQueueFromTheStart)
{
    Rig rig (true);
    rig.link.findResults = { true, true };
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.hub.rewindAt = 5; // a second update request reaches the model after five packages
    rig.d.sendMessage (new UpdateRequest());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return rig.hub.nextIndex > 380; }));
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return ! rig.d.isThreadRunning(); }));

    auto sends = rig.sends();
    ASSERT_EQ (sends.size(), 380u);
    for (int i = 0; i < 380; ++i)
        ASSERT_EQ (sends[(size_t)i].bytes, rig.hub.image[i]) << "message " << i;
}

TEST (DownloaderPackages, RequestsWhileTheWorkerRunsChangeNothing)
{
    Rig rig (true);
    rig.clock.blockOn = 2500; // hold the worker in its pause before the search
    rig.link.findResults = { true };
    rig.d.sendMessage (new ModelIdResponse (0x1a));
    rig.d.sendMessage (new UpdateRequest());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return rig.clock.blocked.load(); }));

    const auto postsBefore = rig.hub.types().size();
    rig.d.sendMessage (new UpdateRequest());
    rig.d.sendMessage (new NextPackageResponse (380, 380, {}));
    testsupport::drain();

    EXPECT_EQ (rig.hub.types().size(), postsBefore) << "no package request while a transfer runs";
    EXPECT_EQ (rig.d.getState(), Downloader::findAgain);
}

TEST (DownloaderLifetime, ClosingInAnyWaitingStateEndsTheWorkerPromptly)
{
    struct Case
    {
        bool unattended;
        int blockOn;
        int state;
    };

    for (auto c : { Case { false, 500, Downloader::waitAfterFirst }, Case { false, 50, Downloader::sendRest },
                    Case { true, 40, Downloader::sendRest }, Case { true, 2500, Downloader::findAgain } })
    {
        auto rig = std::make_unique<Rig> (c.unattended);
        rig->clock.blockOn = c.blockOn;
        rig->link.findResults = { true, true };
        rig->d.sendMessage (new ModelIdResponse (0x1a));
        rig->d.sendMessage (new UpdateRequest());
        ASSERT_TRUE (testsupport::pumpUntil ([&] { return rig->clock.blocked.load(); }));
        EXPECT_EQ (rig->d.getState(), c.state);

        const auto callsBefore = rig->link.callsSoFar().size();
        const auto started = juce::Time::getMillisecondCounterHiRes();
        rig->d.stopThread (2500); // what the destructor does
        const auto took = juce::Time::getMillisecondCounterHiRes() - started;

        EXPECT_LT (took, 1000.0) << "state " << c.state << ": the worker must not wait out its pause";
        EXPECT_FALSE (rig->d.isThreadRunning());
        EXPECT_EQ (rig->link.callsSoFar().size(), callsBefore) << "nothing is sent once asked to exit";
    }
}
