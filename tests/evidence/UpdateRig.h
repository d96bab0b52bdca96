#pragma once

#include "controller/Controller.h"
#include "downloader/Downloader.h"
#include "emulator/PedalEmulator.h"
#include "firmware/FirmwareClass.h"
#include "message/Messages.h"
#include "midi/Midi.h"
#include "midi/SysexProtocol.h"
#include "model/Model.h"
#include "support/MessagePump.h"
#include "virtualmidi/VirtualClock.h"
#include "virtualmidi/VirtualMidiBus.h"

#include <algorithm>
#include <atomic>

namespace evidence
{
    /** The real controller in a program that ends as the application does: once it has asked
        to quit, later posts to it are refused, while those already queued still arrive. */
    class QuittingController final : public controller::Controller
    {
    public:
        QuittingController()
        {
            requestQuit = [this] { ++quits; };
        }

        void sendMessage (message::BaseMessage* m) override
        {
            if (quits > 0)
                juce::Message::Ptr refused (m);
            else
                Controller::sendMessage (m);
        }

        std::atomic<int> quits { 0 };
    };

    /** The program's components wired as the application wires them, on virtual MIDI ports in
        virtual time, against the emulated pedal: a whole update, interrupted or disturbed at
        any point, runs in a few milliseconds and always the same way. */
    struct UpdateRig
    {
        explicit UpdateRig (bool runsUnattended, emulator::PedalConfig config = {})
            : unattended (runsUnattended)
        {
            clock.setSettle ([this] { bus.waitUntilIdle(); });
            pedal = std::make_unique<emulator::PedalEmulator> (bus, clock, config);
            downloader = std::make_unique<downloader::Downloader> (&controller, &link, unattended, clock);
            model = std::make_unique<model::Model> (&controller, &firmware);
            controller.model = model.get();
            controller.view = &view;
            controller.downloader = downloader.get();
        }

        ~UpdateRig()
        {
            downloader.reset(); // the worker stops before the link and the pedal go
        }

        void start() { controller.start (unattended ? 0 : 1); }

        /** Interactive runs: waits for the update button, then presses it. */
        bool pressUpdateWhenEnabled()
        {
            if (! testsupport::pumpUntil ([this] { return updateButtonEnabled(); }))
                return false;

            controller.sendMessage (new message::UpdateRequest());
            return true;
        }

        /** Pumps until `n` verdicts have been shown and the worker has ended. */
        bool runToVerdicts (int n = 1)
        {
            return testsupport::pumpUntil ([this, n] { return verdicts().size() >= n; }, 30000) && testsupport::pumpUntil ([this] { return ! downloader->isThreadRunning(); });
        }

        /** Pumps until the outcome is settled: unattended, the program asked to end; interactive,
            a verdict is shown or the search came back empty. */
        bool runToEnd()
        {
            const bool settled = testsupport::pumpUntil ([this] {
                if (unattended)
                    return quits > 0;

                return verdicts().size() > 0 || received (message::MessageType::deviceNotFound) > 0;
            },
                                                         30000);

            return settled && testsupport::pumpUntil ([this] { return ! downloader->isThreadRunning(); });
        }

        /** What the application does once its window is closed: the quit ends the loop, and
            its destructor stops the worker by deleting the downloader. True when the worker
            ended within the destructor's time-out rather than being left to be killed. */
        bool shutDownAfterQuit()
        {
            if (! testsupport::pumpUntil ([this] { return quits > 0; }))
                return false;

            const bool stopped = downloader->stopThread (2500);
            downloader.reset();
            testsupport::drain (2);
            return stopped;
        }

        int received (int type) const
        {
            return (int)std::count_if (view.received.begin(), view.received.end(), [type] (auto& r) { return r.type == type; });
        }

        juce::StringArray verdicts() const
        {
            juce::StringArray texts;

            for (auto& r : view.received)
                if (r.type == message::MessageType::textMessage)
                    if (auto& text = static_cast<const message::TextMessage*> (r.object.get())->text; text.isNotEmpty())
                        texts.add (text);

            return texts;
        }

        bool updateButtonEnabled() const
        {
            bool enabled = true;

            for (auto& r : view.received)
                if (r.type == message::MessageType::updateButtonEnable || r.type == message::MessageType::updateButtonDisable)
                    enabled = r.type == message::MessageType::updateButtonEnable;

            return enabled;
        }

        /** The progress values the view was shown, in order. */
        std::vector<double> progress() const
        {
            std::vector<double> values;

            for (auto& r : view.received)
                if (r.type == message::MessageType::progressUpdate)
                    values.push_back (static_cast<const message::ProgressUpdate*> (r.object.get())->value);

            return values;
        }

        juce::Array<juce::uint8> image() const { return { firmware.getData(), (int)firmware.getSize() }; }

        /** What the pedal took as update stream is the image, or a true beginning of it. */
        bool streamIsImageOrItsStart() const
        {
            const auto stream = pedal->streamBytes();
            const auto whole = image();
            return stream.size() <= whole.size() && std::equal (stream.begin(), stream.end(), whole.begin());
        }

        /** The 1-based numbers of the messages the pedal received that were revision queries. */
        std::vector<int> revisionQueries() const
        {
            const auto query = midi::protocol::frame (midi::protocol::revisionQuery (0x1A));
            const auto arrivals = pedal->received();
            std::vector<int> numbers;

            for (size_t i = 0; i < arrivals.size(); ++i)
                if (arrivals[i].bytes == query)
                    numbers.push_back ((int)i + 1);

            return numbers;
        }

        const bool unattended;
        virtualmidi::VirtualClock clock;
        virtualmidi::VirtualMidiBus bus;
        std::unique_ptr<emulator::PedalEmulator> pedal;
        midi::Midi link { bus, clock };
        FirmwareClass firmware;
        QuittingController controller;
        testsupport::Recorder<view::ViewInterface> view { nullptr };
        std::unique_ptr<downloader::Downloader> downloader;
        std::unique_ptr<model::Model> model;
        std::atomic<int>& quits = controller.quits;
    };

    inline const juce::String success = "Firmware upgrade successful";
    inline const juce::String failure = "Firmware upgrade failed. Please try again";

    /** Message numbers at the pedal in a healthy run: the identify request, the 380 messages of
        the image, then the identify request and the revision query after the restart. */
    constexpr int firstStreamMessage = 2;
    constexpr int lastStreamMessage = 381;
    constexpr int revisionQueryMessage = 383;
}
