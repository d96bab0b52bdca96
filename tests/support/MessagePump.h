#pragma once

#include "message/Listener.h"

#include <functional>
#include <vector>

namespace testsupport
{
    /** Runs the real message loop until `done` holds; false when `timeoutMs` ran out first. */
    bool pumpUntil (const std::function<bool()>& done, int timeoutMs = 10000);

    /** Delivers everything posted so far, and whatever that posts in turn (up to `hops`
        passes through the queue): a sentinel goes round the FIFO queue once per hop. */
    void drain (int hops = 16);

    /** A message as a recording listener saw it; holding the reference keeps the object,
        so a test can check that a forwarded message is the very object that was posted. */
    struct Received
    {
        juce::Message::Ptr object;
        int type;
        int sequence; // order of delivery across all recorders
        bool onMessageThread;
    };

    int nextDeliverySequence();

    /** A listener of any of the component interfaces that records what reaches it. */
    template <class Interface>
    class Recorder : public Interface
    {
    public:
        template <typename... Args>
        explicit Recorder (Args&&... args) : Interface (std::forward<Args> (args)...)
        {
        }

        void processMessage (message::BaseMessage* m) override
        {
            received.push_back ({ m, m->type, nextDeliverySequence(),
                                  juce::MessageManager::getInstance()->isThisTheMessageThread() });
        }

        std::vector<int> types() const
        {
            std::vector<int> t;
            for (auto& r : received)
                t.push_back (r.type);
            return t;
        }

        template <class T>
        const T& last() const
        {
            return *static_cast<const T*> (received.back().object.get());
        }

        std::vector<Received> received;
    };
}

#include "message/ControllerIF.h"

namespace testsupport
{
    /** A controller stand-in that records everything the components report. */
    class RecordingController final : public Recorder<controller::ControllerIF>
    {
    public:
        int getResult() override { return 0; }
    };
}
