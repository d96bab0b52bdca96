#include "support/MessagePump.h"

#include "message/Messages.h"

namespace testsupport
{
    namespace
    {
        class Sentinel final : public message::Listener
        {
        public:
            void processMessage (message::BaseMessage*) override { arrived = true; }
            bool arrived = false;
        };

        class Ping final : public message::BaseMessage
        {
        public:
            Ping() : BaseMessage (-1000) {}
        };
    }

    bool pumpUntil (const std::function<bool()>& done, int timeoutMs)
    {
        const auto deadline = juce::Time::getMillisecondCounterHiRes() + timeoutMs;

        while (! done())
        {
            if (juce::Time::getMillisecondCounterHiRes() > deadline)
                return false;

            juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
        }

        return true;
    }

    void drain (int hops)
    {
        for (int i = 0; i < hops; ++i)
        {
            Sentinel sentinel;
            sentinel.sendMessage (new Ping());
            pumpUntil ([&] { return sentinel.arrived; });
        }
    }

    int nextDeliverySequence()
    {
        static int sequence = 0;
        return ++sequence;
    }
}
