// Fuzz target: the model cutting an arbitrary image into packages.
// Holds for every input: the packages, in order, are the image byte for byte; every package
// but the last ends with its only F7; the count the model announces is the number it hands out;
// a rewind starts again at the first package; a model id is given only by an image long enough
// to hold one. AddressSanitizer sees any read outside the image.

#include "message/Messages.h"
#include "model/Model.h"

#include <cstdlib>

namespace
{
    /** An image over the fuzzer's bytes, which are exactly as long as the input. */
    class FuzzImage final : public FirmwareBaseClass
    {
    public:
        FuzzImage (const juce::uint8* bytes, size_t length) : FirmwareBaseClass ("Bramblet", "1.0.01", 739)
        {
            data = bytes;
            size = (juce::int64)length;
        }
    };

    /** Keeps what the model reports instead of posting it, so each answer is checked at once. */
    class CatchingController final : public controller::ControllerIF
    {
    public:
        void sendMessage (message::BaseMessage* m) override { caught = m; }
        void processMessage (message::BaseMessage*) override {}
        int getResult() override { return 0; }

        template <class T>
        const T* take()
        {
            auto* m = dynamic_cast<const T*> (caught.get());
            kept = caught;
            caught = nullptr;
            return m;
        }

    private:
        juce::Message::Ptr caught, kept;
    };

    void check (bool condition)
    {
        if (! condition)
            std::abort();
    }

    void ask (model::Model& model, message::BaseMessage* request)
    {
        const juce::Message::Ptr owner (request);
        model.processMessage (request);
    }
}

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    juce::MessageManager::getInstance(); // the model is a message listener
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const juce::uint8* bytes, size_t length)
{
    FuzzImage image (bytes, length);
    CatchingController controller;
    model::Model model (&controller, &image);

    juce::Array<juce::uint8> joined;
    juce::Array<juce::uint8> first;
    juce::uint32 count = 0;

    for (juce::uint32 index = 0;; ++index)
    {
        ask (model, new message::NextPackageRequest());
        const auto* response = controller.take<message::NextPackageResponse>();
        check (response != nullptr);
        check (response->index == index);

        if (index == 0)
            count = response->count;

        check (response->count == count);
        const auto& package = response->data;

        if (package.isEmpty())
        {
            check (index == count); // the announced count is the number handed out
            break;
        }

        check (index < count);
        const bool last = joined.size() + package.size() == (int)length;

        for (int i = 0; i < package.size() - 1; ++i)
            check (package[i] != 0xF7);

        check (package.getLast() == 0xF7 || last);

        if (index == 0)
            first = package;

        joined.addArray (package);
    }

    check (joined.size() == (int)length && std::equal (joined.begin(), joined.end(), bytes));

    // Exhausted, it keeps giving empty packages; a rewind starts over at the first one.
    ask (model, new message::NextPackageRequest());
    check (controller.take<message::NextPackageResponse>()->data.isEmpty());
    ask (model, new message::UpdateRequest());
    ask (model, new message::NextPackageRequest());
    check (controller.take<message::NextPackageResponse>()->data == first);

    ask (model, new message::ModelIdRequest());
    const auto* id = controller.take<message::ModelIdResponse>();
    check (length > 5 ? id != nullptr && id->modelId == bytes[5] : id == nullptr);
    return 0;
}
