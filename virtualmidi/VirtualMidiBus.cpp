#include "virtualmidi/VirtualMidiBus.h"

namespace virtualmidi
{
    class VirtualMidiBus::Input final : public midi::InputPort
    {
    public:
        Input (VirtualMidiBus& b, int p) : bus (b), port (p) {}
        ~Input() override { bus.closeInput (port); }

        void start() override { bus.startInput (port); }

    private:
        VirtualMidiBus& bus;
        const int port;
    };

    class VirtualMidiBus::Output final : public midi::OutputPort
    {
    public:
        Output (VirtualMidiBus& b, EndpointId e) : bus (b), endpoint (e) {}
        ~Output() override { bus.closeOutput (endpoint); }

        void sendMessageNow (const juce::MidiMessage& message) override { bus.sendToDevice (endpoint, message); }

    private:
        VirtualMidiBus& bus;
        const EndpointId endpoint;
    };

    VirtualMidiBus::VirtualMidiBus() : deliveryThread ([this] { deliver(); }) {}

    VirtualMidiBus::~VirtualMidiBus()
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            jassert (inputs.empty() && openOutputs == 0); // close the link before its bus goes
            stopping = true;
        }

        work.notify_all();
        deliveryThread.join();
    }

    VirtualMidiBus::EndpointId VirtualMidiBus::addEndpoint (const juce::String& name, Sides sides)
    {
        const std::lock_guard<std::mutex> l (lock);
        const auto id = nextId++;
        Endpoint e;
        e.id = id;
        e.name = name;
        e.hasInput = sides != Sides::outputOnly;
        e.hasOutput = sides != Sides::inputOnly;
        endpoints.push_back (std::move (e));
        return id;
    }

    VirtualMidiBus::EndpointId VirtualMidiBus::addLoopback (const juce::String& name)
    {
        const auto id = addEndpoint (name, Sides::duplex);
        const std::lock_guard<std::mutex> l (lock);
        find (id)->loopback = true;
        return id;
    }

    void VirtualMidiBus::removeEndpoint (EndpointId endpoint)
    {
        const std::lock_guard<std::mutex> l (lock);

        if (auto* e = find (endpoint))
            e->present = false;
    }

    void VirtualMidiBus::renameEndpoint (EndpointId endpoint, const juce::String& name)
    {
        const std::lock_guard<std::mutex> l (lock);

        if (auto* e = find (endpoint))
            e->name = name;
    }

    void VirtualMidiBus::setOpenFails (EndpointId endpoint, Sides sides)
    {
        const std::lock_guard<std::mutex> l (lock);

        if (auto* e = find (endpoint))
        {
            e->inputOpenFails = sides != Sides::outputOnly;
            e->outputOpenFails = sides != Sides::inputOnly;
        }
    }

    void VirtualMidiBus::setReceiver (EndpointId endpoint, Receiver receiver)
    {
        const std::lock_guard<std::mutex> l (lock);

        if (auto* e = find (endpoint))
            e->receiver = std::move (receiver);
    }

    void VirtualMidiBus::sendFromDevice (EndpointId endpoint, const juce::MidiMessage& message)
    {
        {
            const std::lock_guard<std::mutex> l (lock);
            auto* e = find (endpoint);

            if (e == nullptr || ! e->present || ! e->hasInput)
                return;

            deliveries.push_back ({ endpoint, message });
        }

        work.notify_all();
    }

    void VirtualMidiBus::waitUntilIdle()
    {
        if (std::this_thread::get_id() == deliveryThread.get_id())
        {
            jassertfalse; // an input callback would wait for itself
            return;
        }

        std::unique_lock<std::mutex> l (lock);
        idle.wait (l, [this] { return deliveries.empty() && ! delivering; });
    }

    std::vector<juce::String> VirtualMidiBus::portLog() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return log;
    }

    int VirtualMidiBus::openPorts() const
    {
        const std::lock_guard<std::mutex> l (lock);
        return (int)inputs.size() + openOutputs;
    }

    juce::Array<midi::PortInfo> VirtualMidiBus::getInputs() { return list (true); }

    juce::Array<midi::PortInfo> VirtualMidiBus::getOutputs() { return list (false); }

    std::unique_ptr<midi::InputPort> VirtualMidiBus::openInput (const juce::String& identifier, juce::MidiInputCallback* callback)
    {
        const std::lock_guard<std::mutex> l (lock);
        const auto id = identifier.getIntValue();
        auto* e = find (id);

        if (e == nullptr || ! e->present || ! e->hasInput || e->inputOpenFails || callback == nullptr)
        {
            log.push_back ("open in " + identifier + " failed");
            return nullptr;
        }

        const auto port = nextPort++;
        inputs.push_back ({ port, id, callback });
        log.push_back ("open in " + identifier);
        return std::make_unique<Input> (*this, port);
    }

    std::unique_ptr<midi::OutputPort> VirtualMidiBus::openOutput (const juce::String& identifier)
    {
        const std::lock_guard<std::mutex> l (lock);
        const auto id = identifier.getIntValue();
        auto* e = find (id);

        if (e == nullptr || ! e->present || ! e->hasOutput || e->outputOpenFails)
        {
            log.push_back ("open out " + identifier + " failed");
            return nullptr;
        }

        ++openOutputs;
        log.push_back ("open out " + identifier);
        return std::make_unique<Output> (*this, id);
    }

    VirtualMidiBus::Endpoint* VirtualMidiBus::find (EndpointId id)
    {
        for (auto& e : endpoints)
            if (e.id == id)
                return &e;

        return nullptr;
    }

    juce::Array<midi::PortInfo> VirtualMidiBus::list (bool wantInputs)
    {
        const std::lock_guard<std::mutex> l (lock);
        juce::Array<midi::PortInfo> ports;

        // The identifier stays with the device when it is renamed, as an ALSA client-port does.
        for (const auto& e : endpoints)
            if (e.present && (wantInputs ? e.hasInput : e.hasOutput))
                ports.add ({ e.name, juce::String (e.id) });

        return ports;
    }

    void VirtualMidiBus::startInput (int port)
    {
        const std::lock_guard<std::mutex> l (lock);

        for (auto& in : inputs)
        {
            if (in.port == port)
            {
                in.started = true;
                log.push_back ("start in " + juce::String (in.endpoint));
            }
        }
    }

    void VirtualMidiBus::closeInput (int port)
    {
        {
            const std::lock_guard<std::mutex> l (lock);

            for (auto it = inputs.begin(); it != inputs.end(); ++it)
            {
                if (it->port == port)
                {
                    log.push_back ("close in " + juce::String (it->endpoint));
                    inputs.erase (it);
                    break;
                }
            }
        }

        // Waits out a callback that may be running for this port right now.
        jassert (std::this_thread::get_id() != deliveryThread.get_id());
        const std::lock_guard<std::mutex> barrier (deliveryLock);
    }

    void VirtualMidiBus::closeOutput (EndpointId endpoint)
    {
        const std::lock_guard<std::mutex> l (lock);
        --openOutputs;
        log.push_back ("close out " + juce::String (endpoint));
    }

    void VirtualMidiBus::sendToDevice (EndpointId endpoint, const juce::MidiMessage& message)
    {
        Receiver receiver;

        {
            const std::lock_guard<std::mutex> l (lock);
            auto* e = find (endpoint);
            log.push_back ("send out " + juce::String (endpoint));

            if (e == nullptr || ! e->present)
                return;

            if (e->loopback)
            {
                deliveries.push_back ({ endpoint, message });
                work.notify_all();
                return;
            }

            receiver = e->receiver;
        }

        // Outside the lock: the device may answer, unplug itself or rename itself from here.
        if (receiver)
            receiver (message);
    }

    void VirtualMidiBus::deliver()
    {
        std::unique_lock<std::mutex> l (lock);

        for (;;)
        {
            work.wait (l, [this] { return stopping || ! deliveries.empty(); });

            if (stopping)
                return;

            auto next = std::move (deliveries.front());
            deliveries.pop_front();
            delivering = true;
            l.unlock();

            {
                const std::lock_guard<std::mutex> running (deliveryLock);
                std::vector<juce::MidiInputCallback*> callbacks;

                {
                    const std::lock_guard<std::mutex> relock (lock);
                    auto* e = find (next.endpoint);

                    if (e != nullptr && e->present)
                        for (const auto& in : inputs)
                            if (in.endpoint == next.endpoint && in.started)
                                callbacks.push_back (in.callback);
                }

                for (auto* callback : callbacks)
                    callback->handleIncomingMidiMessage (nullptr, next.message);
            }

            l.lock();
            delivering = false;

            if (deliveries.empty())
                idle.notify_all();
        }
    }
}
