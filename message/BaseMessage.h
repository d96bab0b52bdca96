#pragma once

#include <juce_events/juce_events.h>

namespace message
{
    /** The type codes of the message vocabulary. Codes 8, 9 and 18 are unused. */
    enum MessageType : int
    {
        helpRequest = 0,
        helpResponse = 1,
        closeRequest = 2,
        updateRequest = 3,
        productInfoRequest = 4,
        productInfoResponse = 5,
        updateButtonEnable = 6,
        updateButtonDisable = 7,
        textMessage = 10,
        nextPackageRequest = 11,
        nextPackageResponse = 12,
        progressUpdate = 13,
        modelIdRequest = 14,
        modelIdResponse = 15,
        svnUpdate = 16,
        svnNumberRequest = 17,
        deviceNotFound = 19,
        deviceFound = 20,
        updateStatus = 21
    };

    /** A reference-counted message that components post to one another.
        The type never changes after construction; neither does any payload. */
    class BaseMessage : public juce::Message
    {
    public:
        ~BaseMessage() override = default;

        /** True when both messages have the same type and equal payloads. */
        virtual bool equals (const BaseMessage& other) const;

        const int type;

    protected:
        explicit BaseMessage (int typeCode);
    };
}
