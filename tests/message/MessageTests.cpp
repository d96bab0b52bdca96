#include "message/Messages.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>

using namespace message;
using testsupport::drain;
using testsupport::Recorder;

namespace
{
    std::atomic<int> liveProbes { 0 };

    /** A message that counts its instances, to see when the queue lets it go. */
    class Probe final : public BaseMessage
    {
    public:
        explicit Probe (int n = 0) : BaseMessage (-7), number (n) { ++liveProbes; }
        ~Probe() override { --liveProbes; }
        const int number;
    };

    class PlainListener final : public Listener
    {
    public:
        void processMessage (BaseMessage* m) override { numbers.push_back (static_cast<Probe*> (m)->number); }
        std::vector<int> numbers;
    };

    /** Passes everything on to another listener, as the controller and the window do. */
    class Forwarder final : public Listener
    {
    public:
        explicit Forwarder (Listener& t) : target (t) {}
        void processMessage (BaseMessage* m) override { forward (&target, m); }
        Listener& target;
    };
}

TEST (MessageVocabulary, TypeCodesAreTheProtocolsNumbers)
{
    const std::vector<std::pair<int, int>> codes {
        { HelpRequest().type, 0 },
        { HelpResponse ("").type, 1 },
        { CloseRequest().type, 2 },
        { UpdateRequest().type, 3 },
        { ProductInfoRequest().type, 4 },
        { ProductInfoResponse ("").type, 5 },
        { UpdateButtonEnable().type, 6 },
        { UpdateButtonDisable().type, 7 },
        { TextMessage ("").type, 10 },
        { NextPackageRequest().type, 11 },
        { NextPackageResponse (0, 0, {}).type, 12 },
        { ProgressUpdate (0).type, 13 },
        { ModelIdRequest().type, 14 },
        { ModelIdResponse (0).type, 15 },
        { SVNUpdate (0, 0).type, 16 },
        { SVNNumberRequest().type, 17 },
        { DeviceNotFound().type, 19 },
        { DeviceFound ("").type, 20 },
        { UpdateStatus (0).type, 21 },
    };

    for (auto [actual, expected] : codes)
        EXPECT_EQ (actual, expected);
}

TEST (MessageVocabulary, EqualsComparesTypeThenPayload)
{
    const juce::Array<juce::uint8> bytes { 0xf0, 0x01, 0xf7 }, other { 0xf0, 0x02, 0xf7 }, shorter { 0xf0, 0xf7 };
    const double nan = std::nan ("");

    struct Case
    {
        const char* what;
        juce::Message::Ptr a, b;
        bool equal;
    };

    const std::vector<Case> cases {
        { "same plain class", new UpdateRequest(), new UpdateRequest(), true },
        { "different plain classes", new UpdateButtonEnable(), new UpdateButtonDisable(), false },
        { "texts of different classes", new HelpResponse ("x"), new TextMessage ("x"), false },
        { "same text", new TextMessage ("Status"), new TextMessage ("Status"), true },
        { "text differing in case", new TextMessage ("boot"), new TextMessage ("Boot"), false },
        { "packages alike", new NextPackageResponse (3, 380, bytes), new NextPackageResponse (3, 380, bytes), true },
        { "packages, other byte", new NextPackageResponse (3, 380, bytes), new NextPackageResponse (3, 380, other), false },
        { "packages, other length", new NextPackageResponse (3, 380, bytes), new NextPackageResponse (3, 380, shorter), false },
        { "packages, other index", new NextPackageResponse (3, 380, bytes), new NextPackageResponse (4, 380, bytes), false },
        { "packages, other count", new NextPackageResponse (3, 380, bytes), new NextPackageResponse (3, 381, bytes), false },
        { "progress alike", new ProgressUpdate (0.6), new ProgressUpdate (0.6), true },
        { "progress NaN", new ProgressUpdate (nan), new ProgressUpdate (nan), false },
        { "model ids", new ModelIdResponse (0x1a), new ModelIdResponse (0x1b), false },
        { "revisions alike", new SVNUpdate (739, 2), new SVNUpdate (739, 2), true },
        { "revision sources", new SVNUpdate (739, 2), new SVNUpdate (739, 3), false },
        { "device names", new DeviceFound ("Bramblet boot"), new DeviceFound ("Bramblet boot"), true },
        { "status", new UpdateStatus (0), new UpdateStatus (1), false },
        { "status vs progress", new UpdateStatus (0), new ProgressUpdate (0), false },
    };

    for (auto& c : cases)
    {
        auto& a = *static_cast<BaseMessage*> (c.a.get());
        auto& b = *static_cast<BaseMessage*> (c.b.get());
        EXPECT_EQ (a.equals (b), c.equal) << c.what;
        EXPECT_EQ (b.equals (a), c.equal) << c.what << " (reversed)";
    }
}

TEST (MessageDelivery, ArrivesOnTheMessageThreadInPostingOrderFromEveryThread)
{
    Recorder<Listener> listener;
    std::mutex postingOrder;
    std::vector<int> posted;
    std::atomic<int> nextNumber { 0 };

    // The lock makes "posting order" well defined across the two threads.
    auto postOne = [&] {
        std::lock_guard<std::mutex> lock (postingOrder);
        const int n = nextNumber++;
        posted.push_back (n);
        listener.sendMessage (new Probe (n));
    };

    juce::Thread::launch ([&] { for (int i = 0; i < 500; ++i) postOne(); });

    for (int i = 0; i < 500; ++i)
        postOne();

    ASSERT_TRUE (testsupport::pumpUntil ([&] { return listener.received.size() == 1000; }));

    std::vector<int> delivered;
    for (auto& r : listener.received)
    {
        EXPECT_TRUE (r.onMessageThread);
        delivered.push_back (static_cast<Probe*> (r.object.get())->number);
    }

    std::lock_guard<std::mutex> lock (postingOrder);
    EXPECT_EQ (delivered, posted);
}

TEST (MessageDelivery, AListenerGoneBeforeDeliveryIsNeverCalledAndTheMessageIsFreed)
{
    PlainListener survivor;
    auto doomed = std::make_unique<PlainListener>();

    doomed->sendMessage (new Probe (1));
    survivor.sendMessage (new Probe (2));
    doomed.reset();
    drain();

    EXPECT_EQ (survivor.numbers, std::vector<int> { 2 });
    EXPECT_EQ (liveProbes.load(), 0);
}

TEST (MessageDelivery, AForwardedMessageArrivesAsTheSameObjectAndIsFreedOnceAfterwards)
{
    Recorder<Listener> finalReceiver;
    Forwarder first (finalReceiver);
    Forwarder second (static_cast<Listener&> (first));

    auto* sent = new Probe (42);
    second.sendMessage (sent);
    drain();

    ASSERT_EQ (finalReceiver.received.size(), 1u);
    EXPECT_EQ (finalReceiver.received[0].object.get(), sent);
    EXPECT_EQ (static_cast<Probe*> (finalReceiver.received[0].object.get())->number, 42);

    // Only the recorder's reference is left; dropping it frees the message.
    EXPECT_EQ (sent->getReferenceCount(), 1);
    finalReceiver.received.clear();
    EXPECT_EQ (liveProbes.load(), 0);
}

TEST (MessageDelivery, PostingToANullPeerFreesANewMessageAndLeavesADeliveredOneAlone)
{
    post (nullptr, new Probe());
    EXPECT_EQ (liveProbes.load(), 0);

    juce::Message::Ptr held (new Probe());
    forward (nullptr, static_cast<BaseMessage*> (held.get()));
    EXPECT_EQ (liveProbes.load(), 1);
    EXPECT_EQ (held->getReferenceCount(), 1);
}
