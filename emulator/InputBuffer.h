#pragma once

#include "emulator/PedalEmulator.h"
#include "midi/MidiPorts.h"
#include "virtualmidi/Scheduler.h"

#include <memory>
#include <mutex>
#include <vector>

namespace emulator
{
    /** The pedal's input buffer, in front of the devices of a port system: what is sent to a
        device waits here, up to `capacity` messages, and goes on no faster than the pedal
        takes it: after the update begin it erases its flash (eraseTimeMs), after each update
        data message and the end it writes it (minDataGapMs). A message that finds the buffer
        full is lost, as on the pedal.

        On a computer's MIDI stack a message reaches the program that reads it when that
        program's input thread gets the processor: two messages sent 40 ms apart can be read
        2 ms apart. Judged as they are read, an update paced well would seem too fast; judged
        through this buffer, the pedal sees the pace its flash would, and an updater that is
        really too fast still overruns it. Listing and inputs pass through unchanged. */
    class InputBuffer final : public midi::PortSystem
    {
    public:
        /** `devices` and `scheduler` must outlive the buffer and every port opened through it. */
        InputBuffer (midi::PortSystem& devices, virtualmidi::Scheduler& scheduler, int capacity, const PedalConfig& pace);

        juce::Array<midi::PortInfo> getInputs() override;
        juce::Array<midi::PortInfo> getOutputs() override;
        std::unique_ptr<midi::InputPort> openInput (const juce::String& identifier, juce::MidiInputCallback* callback) override;

        /** The output to the device, behind a buffer of its own; destroying it drops what waits. */
        std::unique_ptr<midi::OutputPort> openOutput (const juce::String& identifier) override;

        /** Every message that reached the buffer, lost or not, with the scheduler's time. */
        std::vector<PedalEmulator::Arrival> arrivals() const;

        /** Messages lost to a full buffer. */
        int lost() const;

        /** The most messages that ever waited at once. */
        int peak() const;

    private:
        class Port;

        struct Stats
        {
            mutable std::mutex lock;
            std::vector<PedalEmulator::Arrival> arrivals;
            int lost = 0, peak = 0;
        };

        midi::PortSystem& devices;
        virtualmidi::Scheduler& scheduler;
        const int capacity;
        const double eraseTimeMs, writeTimeMs;
        std::shared_ptr<Stats> stats;
    };
}
