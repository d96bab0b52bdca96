#pragma once

#include "message/BaseMessage.h"

namespace message
{
    /** What every component's listener interface shares: messages posted to it with
        sendMessage arrive later, on the message thread, at processMessage. */
    class Listener : public juce::MessageListener
    {
    public:
        ~Listener() override = default;

        void handleMessage (const juce::Message& message) override;

        /** Posts a message to this listener; the queue takes ownership at once, whichever
            thread calls. After the application's quit the message is deleted unposted. */
        virtual void sendMessage (BaseMessage* message);

        /** Handles one delivered message. The pointer stays valid for the call, and may be
            posted on to another listener (forwarding the very same object). */
        virtual void processMessage (BaseMessage* message) = 0;
    };

    /** Posts a new message to a peer, or deletes it unposted when there is no peer. */
    void post (Listener* peer, BaseMessage* message);

    /** Posts a delivered message on to a peer, if there is one. */
    void forward (Listener* peer, BaseMessage* message);
}
