#include "message/BaseMessage.h"
#include "message/Listener.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

namespace
{
    int liveProbes = 0;

    class Probe final : public message::BaseMessage
    {
    public:
        Probe() : BaseMessage (-7) { ++liveProbes; }
        ~Probe() override { --liveProbes; }
    };

    class CountingListener final : public message::Listener
    {
    public:
        void processMessage (message::BaseMessage*) override { ++calls; }
        int calls = 0;
    };
}

// Kept in a program of its own: after the quit this process's queue takes nothing more.
TEST (MessageDeliveryAfterQuit, QueuedMessagesStillArriveButLaterPostsAreFreedAtOnce)
{
    CountingListener listener;
    listener.sendMessage (new Probe());
    juce::MessageManager::getInstance()->stopDispatchLoop(); // what the application's quit does

    listener.sendMessage (new Probe()); // refused
    EXPECT_EQ (liveProbes, 1) << "a post after the quit is deleted at once";

    juce::MessageManager::getInstance()->runDispatchLoop(); // ends at the quit message
    EXPECT_EQ (listener.calls, 1);
    EXPECT_EQ (liveProbes, 0);
}
