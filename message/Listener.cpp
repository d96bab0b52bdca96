#include "message/Listener.h"

namespace message
{
    void Listener::handleMessage (const juce::Message& message)
    {
        // Messages are never changed after construction; the cast only lets a receiver
        // post the same object on to the next receiver.
        processMessage (static_cast<BaseMessage*> (const_cast<juce::Message*> (&message)));
    }

    void Listener::sendMessage (BaseMessage* message)
    {
        postMessage (message);
    }

    void post (Listener* peer, BaseMessage* message)
    {
        if (peer != nullptr)
            peer->sendMessage (message);
        else
            juce::Message::Ptr discard (message);
    }

    void forward (Listener* peer, BaseMessage* message)
    {
        if (peer != nullptr)
            peer->sendMessage (message);
    }
}
