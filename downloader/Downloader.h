#pragma once

#include "message/DownloaderInterface.h"
#include "midi/Clock.h"
#include "midi/MidiIf.h"

#include <atomic>

namespace downloader
{
    /** Moves the firmware image into the pedal and reads back its revision.
        On the message thread it finds the pedal and gathers the image's packages into a
        locked queue; its worker thread then sends them at the pedal's pace, waits for the
        pedal to restart, finds it again and asks it for its revision. */
    class Downloader : public DownloaderInterface,
                       public juce::Thread
    {
    public:
        /** The worker's states. */
        enum State : int
        {
            sendFirst = 0,
            waitAfterFirst = 1,
            sendRest = 2,
            findAgain = 3,
            verify = 4
        };

        Downloader (controller::ControllerIF* controller, midi::MidiIf* link, bool unattended,
                    midi::Clock& clock = midi::Clock::system());
        ~Downloader() override;

        void processMessage (message::BaseMessage* message) override;
        void run() override;

        int getState() const { return state.load(); }

    private:
        void onUpdateRequest();
        void onPackage (juce::uint32 index, juce::uint32 count, const juce::Array<juce::uint8>& package);
        void onModelId (juce::uint8 id);

        void sendFirstPackage();
        void waitAfterFirstPackage();
        void sendNextPackage();
        bool findRestartedPedal();

        bool addRetryProgress();
        bool queryRevision();
        void postProgress();

        /** A wait of the worker; false when the worker is asked to exit meanwhile. */
        bool pause (int milliseconds);

        juce::Array<juce::Array<juce::uint8>, juce::CriticalSection> packageQueue;
        std::atomic<int> state { sendFirst };
        std::atomic<juce::uint8> modelId { 0 };
        std::atomic<juce::uint32> packageCount { 0 };
        midi::MidiIf* const link;
        double progress = 0.0;
        juce::uint32 waitRounds = 0;
        const bool unattended;
        midi::Clock& clock;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (Downloader)
    };
}
