// Whole updates through the real controller, model, downloader and MIDI link, against the
// emulated pedal on virtual ports, in virtual time: a 42-second update runs in milliseconds
// and every wait lands on an exact virtual millisecond.

#include "controller/Controller.h"
#include "downloader/Downloader.h"
#include "emulator/PedalEmulator.h"
#include "firmware/FirmwareClass.h"
#include "message/Messages.h"
#include "midi/Midi.h"
#include "model/Model.h"
#include "support/MessagePump.h"
#include "virtualmidi/VirtualClock.h"
#include "virtualmidi/VirtualMidiBus.h"

#include <gtest/gtest.h>

#include <mutex>

using namespace message;

namespace
{
    /** The real controller, with every post it receives logged at the virtual time it was made. */
    class TimedController final : public controller::Controller
    {
    public:
        explicit TimedController (midi::Clock& c) : clock (c) {}

        struct Post
        {
            double time;
            int type;
            double value;
            bool fromWorker;
        };

        void sendMessage (BaseMessage* m) override
        {
            double value = 0;
            if (m->type == MessageType::progressUpdate)
                value = static_cast<ProgressUpdate*> (m)->value;
            else if (m->type == MessageType::svnUpdate)
                value = static_cast<SVNUpdate*> (m)->revision;
            else if (m->type == MessageType::updateStatus)
                value = static_cast<UpdateStatus*> (m)->failed;

            const bool fromWorker = juce::Thread::getCurrentThread() != nullptr && juce::Thread::getCurrentThread()->getThreadName() == "Downloader";
            {
                std::lock_guard<std::mutex> lock (mutex);
                posts.push_back ({ clock.now(), m->type, value, fromWorker });
            }
            Controller::sendMessage (m);
        }

        std::vector<Post> workerPosts (int type)
        {
            std::lock_guard<std::mutex> lock (mutex);
            std::vector<Post> r;
            for (auto& p : posts)
                if (p.fromWorker && p.type == type)
                    r.push_back (p);
            return r;
        }

    private:
        midi::Clock& clock;
        std::mutex mutex;
        std::vector<Post> posts;
    };

    /** The program's components, wired as the application wires them, on virtual hardware. */
    struct System
    {
        explicit System (bool unattended, emulator::PedalConfig config = {})
        {
            clock.setSettle ([this] { bus.waitUntilIdle(); });
            pedal = std::make_unique<emulator::PedalEmulator> (bus, clock, config);
            downloader = std::make_unique<downloader::Downloader> (&controller, &link, unattended, clock);
            model = std::make_unique<model::Model> (&controller, &firmware);
            controller.model = model.get();
            controller.view = &view;
            controller.downloader = downloader.get();
            controller.requestQuit = [this] { ++quits; };
            controller.start (unattended ? 0 : 1);
        }

        ~System()
        {
            downloader.reset(); // stops the worker before the link and the pedal go
        }

        /** Pumps the message loop until the controller has shown a verdict. */
        bool runToVerdict()
        {
            return testsupport::pumpUntil ([this] { return verdicts().size() > 0; }, 30000) && testsupport::pumpUntil ([this] { return ! downloader->isThreadRunning(); });
        }

        juce::StringArray verdicts() const
        {
            juce::StringArray texts;
            for (auto& r : view.received)
                if (r.type == MessageType::textMessage)
                    if (auto& text = static_cast<const TextMessage*> (r.object.get())->text; text.isNotEmpty())
                        texts.add (text);
            return texts;
        }

        bool updateButtonEnabled() const
        {
            bool enabled = true;
            for (auto& r : view.received)
                if (r.type == MessageType::updateButtonEnable || r.type == MessageType::updateButtonDisable)
                    enabled = r.type == MessageType::updateButtonEnable;
            return enabled;
        }

        std::vector<int> workerSleeps() const
        {
            std::vector<int> lengths;
            for (auto& s : clock.timeline())
                if (s.thread == "Downloader")
                    lengths.push_back (s.length);
            return lengths;
        }

        juce::Array<juce::uint8> image() const
        {
            return juce::Array<juce::uint8> (firmware.getData(), (int)firmware.getSize());
        }

        virtualmidi::VirtualClock clock;
        virtualmidi::VirtualMidiBus bus;
        std::unique_ptr<emulator::PedalEmulator> pedal;
        midi::Midi link { bus, clock };
        FirmwareClass firmware;
        TimedController controller { clock };
        testsupport::Recorder<view::ViewInterface> view { nullptr };
        std::unique_ptr<downloader::Downloader> downloader;
        std::unique_ptr<model::Model> model;
        int quits = 0;
    };

    const juce::String success = "Firmware upgrade successful";
    const juce::String failure = "Firmware upgrade failed. Please try again";

    std::vector<int> repeated (int length, int times) { return std::vector<int> ((size_t)times, length); }

    std::vector<int> concat (std::initializer_list<std::vector<int>> parts)
    {
        std::vector<int> all;
        for (auto& p : parts)
            all.insert (all.end(), p.begin(), p.end());
        return all;
    }
}

TEST (UpdateRun, InteractiveSuccessFollowsTheFullTimeline)
{
    System s (false);
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return s.updateButtonEnabled(); }));
    s.controller.sendMessage (new UpdateRequest()); // the "update" button
    ASSERT_TRUE (s.runToVerdict());

    // The pedal got the image byte for byte, begin first, the 20 s erase, then 50 ms apart.
    EXPECT_EQ (s.pedal->streamBytes(), s.image());
    auto arrivals = s.pedal->received();
    ASSERT_GE (arrivals.size(), 380u);
    EXPECT_EQ (arrivals[1].bytes.size(), 9) << "the first message is the update begin";
    const double begin = arrivals[1].time;
    EXPECT_EQ (arrivals[2].time - begin, 20000.0);
    for (size_t i = 3; i <= 380; ++i)
        ASSERT_EQ (arrivals[i].time - arrivals[i - 1].time, 50.0) << "message " << i;
    EXPECT_TRUE (s.pedal->verdict().complete);
    EXPECT_TRUE (s.pedal->verdict().paced);

    auto progress = s.controller.workerPosts (MessageType::progressUpdate);
    ASSERT_EQ (progress.size(), 40u + 379u);
    for (size_t round = 0; round < 40; ++round)
    {
        EXPECT_NEAR (progress[round].value, 0.0025 * (double)(round + 1), 1e-12);
        EXPECT_EQ (progress[round].time, begin + 500.0 * (double)round);
    }
    EXPECT_NEAR (progress[40].value, 0.1026, 0.0001);
    EXPECT_EQ (progress.back().value, 0.6);

    // 40 rounds, 379 paces, the restart pause, one identify wait, then the revision polls.
    auto sleeps = s.workerSleeps();
    ASSERT_GE (sleeps.size(), 40u + 379u + 2u);
    EXPECT_EQ (std::vector<int> (sleeps.begin(), sleeps.begin() + 421),
               concat ({ repeated (500, 40), repeated (50, 379), { 2500, 300 } }));

    auto revision = s.controller.workerPosts (MessageType::svnUpdate);
    ASSERT_EQ (revision.size(), 1u);
    EXPECT_EQ (revision[0].value, 739);

    EXPECT_EQ (s.verdicts(), juce::StringArray { success });
    EXPECT_TRUE (s.updateButtonEnabled());
    EXPECT_EQ (s.controller.getResult(), 0);
    EXPECT_EQ (s.quits, 0);
}

TEST (UpdateRun, UnattendedSuccessStartsByItselfAndEnds)
{
    System s (true);
    ASSERT_TRUE (s.runToVerdict());

    EXPECT_EQ (s.pedal->streamBytes(), s.image());
    auto arrivals = s.pedal->received();
    ASSERT_GE (arrivals.size(), 381u);
    EXPECT_EQ (arrivals[2].time, arrivals[1].time) << "no erase wait when unattended";
    for (size_t i = 3; i <= 380; ++i)
        ASSERT_EQ (arrivals[i].time - arrivals[i - 1].time, 40.0) << "message " << i;

    auto sleeps = s.workerSleeps();
    EXPECT_EQ (std::count (sleeps.begin(), sleeps.end(), 500), 0) << "no waiting rounds";
    EXPECT_EQ (s.controller.workerPosts (MessageType::progressUpdate).size(), 379u);

    testsupport::drain();
    EXPECT_EQ (s.verdicts(), juce::StringArray { success });
    EXPECT_EQ (s.controller.getResult(), 0);
    EXPECT_EQ (s.quits, 2) << "the full bar and the verdict each ask to end the program";
}

TEST (UpdateRun, APedalThatFailsAfterTheStreamIsAFailure)
{
    struct Case
    {
        const char* what;
        std::function<void (emulator::PedalFaults&)> fault;
        int searches;      // failed searches for the restarted pedal
        bool polledTwenty; // the revision query waited its 20 polls
    };

    const std::vector<Case> cases {
        { "never comes back", [] (auto& f) { f.neverComesBack = true; }, 8, false },
        { "comes back but never answers", [] (auto& f) { f.ignoresRevisionQuery = true; }, 0, true },
        { "reports another revision", [] (auto& f) { f.wrongRevision = 738; }, 0, false },
        { "answers too short", [] (auto& f) { f.shortRevisionReply = true; }, 0, false },
    };

    for (auto& c : cases)
    {
        emulator::PedalConfig config;
        c.fault (config.faults);
        System s (true, config);
        ASSERT_TRUE (s.runToVerdict()) << c.what;
        testsupport::drain();

        EXPECT_EQ (s.pedal->streamBytes(), s.image()) << c.what;
        EXPECT_EQ (s.verdicts(), juce::StringArray { failure }) << c.what;
        EXPECT_EQ (s.controller.getResult(), -1) << c.what;

        auto progress = s.controller.workerPosts (MessageType::progressUpdate);
        ASSERT_EQ (progress.size(), 379u + (size_t)c.searches) << c.what;
        if (c.searches > 0)
        {
            for (int i = 0; i < c.searches - 1; ++i)
                EXPECT_NEAR (progress[379 + (size_t)i].value, 0.65 + 0.05 * i, 1e-9) << c.what;
            EXPECT_GE (progress.back().value, 1.0);
            EXPECT_LT (progress.back().value, 1.0 + 1e-9);
            EXPECT_EQ (progress.back().time - progress[378].time, 40.0 + 8 * 2500.0) << c.what;
        }

        if (c.polledTwenty)
        {
            auto sleeps = s.workerSleeps();
            EXPECT_EQ (std::count (sleeps.begin(), sleeps.end(), 10), 20) << c.what;
            EXPECT_EQ (sleeps.back(), 10) << c.what << ": the failure comes right after the polls";
        }
    }
}

TEST (UpdateRun, ASecondUpdateAfterAFailedOneStartsFromTheFirstMessage)
{
    emulator::PedalConfig config;
    config.faults.ignoresRevisionQuery = true;
    System s (false, config);
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return s.updateButtonEnabled(); }));

    s.controller.sendMessage (new UpdateRequest());
    ASSERT_TRUE (s.runToVerdict());
    EXPECT_EQ (s.verdicts(), juce::StringArray { failure });
    ASSERT_TRUE (s.updateButtonEnabled()) << "the user may try again";

    const auto before = s.pedal->received().size();
    s.controller.sendMessage (new UpdateRequest());
    ASSERT_TRUE (testsupport::pumpUntil ([&] { return s.verdicts().size() == 2; }, 30000));

    auto arrivals = s.pedal->received();
    ASSERT_GE (arrivals.size(), before + 380);
    const auto image = s.image();
    juce::Array<juce::uint8> second;
    for (size_t i = before; i < arrivals.size() && second.size() < image.size(); ++i)
        if (arrivals[i].bytes.size() >= 9) // the stream's messages; requests are 8 bytes
            second.addArray (arrivals[i].bytes);
    EXPECT_EQ (second, image) << "the second stream is the whole image again";
}
