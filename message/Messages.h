#pragma once

#include "message/BaseMessage.h"

/*  The whole message vocabulary in one place: each class is a few lines, and a reader
    looking for "what can be said between the components" finds it all here. */
namespace message
{
    template <int Code>
    class PlainMessage : public BaseMessage
    {
    public:
        static constexpr int code = Code;
        PlainMessage() : BaseMessage (Code) {}
    };

    class HelpRequest final : public PlainMessage<helpRequest>
    {
    };
    class CloseRequest final : public PlainMessage<closeRequest>
    {
    };
    class UpdateRequest final : public PlainMessage<updateRequest>
    {
    };
    class ProductInfoRequest final : public PlainMessage<productInfoRequest>
    {
    };
    class UpdateButtonEnable final : public PlainMessage<updateButtonEnable>
    {
    };
    class UpdateButtonDisable final : public PlainMessage<updateButtonDisable>
    {
    };
    class NextPackageRequest final : public PlainMessage<nextPackageRequest>
    {
    };
    class ModelIdRequest final : public PlainMessage<modelIdRequest>
    {
    };
    class SVNNumberRequest final : public PlainMessage<svnNumberRequest>
    {
    };
    class DeviceNotFound final : public PlainMessage<deviceNotFound>
    {
    };

    /** A message whose payload is one text, compared exactly and case-sensitively. */
    template <int Code>
    class TextPayloadMessage : public BaseMessage
    {
    public:
        static constexpr int code = Code;
        explicit TextPayloadMessage (juce::String textToCarry) : BaseMessage (Code), text (std::move (textToCarry)) {}

        bool equals (const BaseMessage& other) const override
        {
            auto* o = dynamic_cast<const TextPayloadMessage*> (&other);
            return o != nullptr && o->type == type && o->text == text;
        }

        const juce::String text;
    };

    class HelpResponse final : public TextPayloadMessage<helpResponse>
    {
    public:
        using TextPayloadMessage::TextPayloadMessage;
    };

    class ProductInfoResponse final : public TextPayloadMessage<productInfoResponse>
    {
    public:
        using TextPayloadMessage::TextPayloadMessage;
    };

    class TextMessage final : public TextPayloadMessage<textMessage>
    {
    public:
        using TextPayloadMessage::TextPayloadMessage;
    };

    class NextPackageResponse final : public BaseMessage
    {
    public:
        static constexpr int code = nextPackageResponse;
        NextPackageResponse (juce::uint32 index, juce::uint32 count, const juce::Array<juce::uint8>& data);
        bool equals (const BaseMessage& other) const override;

        const juce::uint32 index;
        const juce::uint32 count;
        const juce::Array<juce::uint8> data;
    };

    class ProgressUpdate final : public BaseMessage
    {
    public:
        static constexpr int code = progressUpdate;
        explicit ProgressUpdate (double value);
        bool equals (const BaseMessage& other) const override;

        const double value;
    };

    class ModelIdResponse final : public BaseMessage
    {
    public:
        static constexpr int code = modelIdResponse;
        explicit ModelIdResponse (juce::uint8 modelId);
        bool equals (const BaseMessage& other) const override;

        const juce::uint8 modelId;
    };

    /** A firmware revision: read from the pedal, or the built-in image's own. */
    class SVNUpdate final : public BaseMessage
    {
    public:
        static constexpr int code = svnUpdate;
        static constexpr int fromDevice = 2;
        static constexpr int fromImage = 3;

        SVNUpdate (int revision, int source);
        bool equals (const BaseMessage& other) const override;

        const int revision;
        const int source;
    };

    class DeviceFound final : public BaseMessage
    {
    public:
        static constexpr int code = deviceFound;
        explicit DeviceFound (juce::String name);
        bool equals (const BaseMessage& other) const override;

        const juce::String name;
    };

    class UpdateStatus final : public BaseMessage
    {
    public:
        static constexpr int code = updateStatus;
        explicit UpdateStatus (int failed);
        bool equals (const BaseMessage& other) const override;

        const int failed;
    };
}
