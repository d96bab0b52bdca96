#pragma once

#include "midi/MidiPorts.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace virtualmidi
{
    /** MIDI ports inside the process, for the link to run over without hardware. Devices
        (endpoints) appear, vanish and are renamed while the link runs, as USB devices do.
        What the link sends to an endpoint reaches that endpoint's receiver at once, on the
        sender's thread; what a device sends reaches the link's open, started inputs later, on
        the bus's own delivery thread, in the order sent, as from a real MIDI input thread.
        The bus must outlive every port opened on it. */
    class VirtualMidiBus final : public midi::PortSystem
    {
    public:
        using EndpointId = int;

        /** Which ports a device shows, as the computer sees them: it reads the device's
            input, writes to its output. */
        enum class Sides
        {
            inputOnly,
            outputOnly,
            duplex // one name on both sides, as a USB MIDI device shows it
        };

        /** What a device does with each message the link sends it. */
        using Receiver = std::function<void (const juce::MidiMessage&)>;

        VirtualMidiBus();
        ~VirtualMidiBus() override;

        /** Adds a device, listed after those already there. */
        EndpointId addEndpoint (const juce::String& name, Sides sides = Sides::duplex);

        /** A duplex port that sends back whatever it is sent, like ALSA's "Midi Through". */
        EndpointId addLoopback (const juce::String& name);

        /** The device is unplugged: it leaves the lists and its open ports go dead (sends are
            dropped, nothing is delivered), also if a device of the same name comes later. */
        void removeEndpoint (EndpointId endpoint);

        void renameEndpoint (EndpointId endpoint, const juce::String& name);

        /** Opening the given sides of the device fails from now on, as when another program
            holds it. */
        void setOpenFails (EndpointId endpoint, Sides sides = Sides::duplex);

        void setReceiver (EndpointId endpoint, Receiver receiver);

        /** The device sends a message: it is queued for delivery to the link's open, started
            inputs of this device. Dropped when the device is gone or has no input side. */
        void sendFromDevice (EndpointId endpoint, const juce::MidiMessage& message);

        /** Returns once every message queued so far has been delivered. Not to be called
            from an input callback. */
        void waitUntilIdle();

        /** What the link did to the ports, in order: "open in 3", "start in 3",
            "open out 3", "send out 3", "close in 3", "close out 3", "open in 3 failed". */
        std::vector<juce::String> portLog() const;

        /** How many ports are open now. */
        int openPorts() const;

        juce::Array<midi::PortInfo> getInputs() override;
        juce::Array<midi::PortInfo> getOutputs() override;
        std::unique_ptr<midi::InputPort> openInput (const juce::String& identifier, juce::MidiInputCallback* callback) override;
        std::unique_ptr<midi::OutputPort> openOutput (const juce::String& identifier) override;

    private:
        class Input;
        class Output;

        struct Endpoint
        {
            EndpointId id = 0;
            juce::String name;
            bool hasInput = false, hasOutput = false;
            bool loopback = false;
            bool present = true;
            bool inputOpenFails = false, outputOpenFails = false;
            Receiver receiver;
        };

        struct OpenInput
        {
            int port;
            EndpointId endpoint;
            juce::MidiInputCallback* callback;
            bool started = false;
        };

        struct Delivery
        {
            EndpointId endpoint;
            juce::MidiMessage message;
        };

        Endpoint* find (EndpointId id);
        juce::Array<midi::PortInfo> list (bool inputs);
        void queue (EndpointId endpoint, const juce::MidiMessage& message);
        void startInput (int port);
        void closeInput (int port);
        void closeOutput (EndpointId endpoint);
        void sendToDevice (EndpointId endpoint, const juce::MidiMessage& message);
        void deliver();

        mutable std::mutex lock;
        std::condition_variable work, idle;
        std::vector<Endpoint> endpoints;
        std::vector<OpenInput> inputs;
        int openOutputs = 0;
        int nextId = 1, nextPort = 1;
        std::deque<Delivery> deliveries;
        bool delivering = false, stopping = false;
        std::vector<juce::String> log;

        // Held while callbacks run: a closing input waits on it, so that once its destructor
        // returns no callback of it is running or will run.
        std::mutex deliveryLock;
        std::thread deliveryThread;
    };
}
