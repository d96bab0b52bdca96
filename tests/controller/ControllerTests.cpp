#include "controller/Controller.h"
#include "message/Messages.h"
#include "support/MessagePump.h"

#include <gtest/gtest.h>

using namespace message;
using testsupport::drain;
using testsupport::Recorder;

namespace
{
    class OddMessage final : public BaseMessage
    {
    public:
        explicit OddMessage (int code) : BaseMessage (code) {}
    };

    /** The controller between three recording peers; the quit request is counted, not made. */
    struct Hub
    {
        Hub()
        {
            c.view = &view;
            c.model = &model;
            c.downloader = &downloader;
            c.requestQuit = [this] { ++quits; };
        }

        void deliver (BaseMessage* m)
        {
            c.sendMessage (m);
            drain();
        }

        juce::StringArray texts() const
        {
            juce::StringArray t;
            for (auto& r : view.received)
                if (r.type == MessageType::textMessage)
                    t.add (static_cast<const TextMessage*> (r.object.get())->text);
            return t;
        }

        Recorder<view::ViewInterface> view { nullptr };
        Recorder<model::ModelInterface> model { nullptr };
        Recorder<downloader::DownloaderInterface> downloader { nullptr };
        controller::Controller c;
        int quits = 0;
    };

    struct Expected
    {
        std::vector<int> view, model, downloader;
    };

    constexpr int same = 1000; // marks a type that must arrive as the very object posted
}

TEST (ControllerRouting, EveryTypeGoesWhereTheTableSays)
{
    const juce::Array<juce::uint8> package { 0xf0, 0x00, 0xf7 };

    struct Row
    {
        std::function<BaseMessage*()> make;
        Expected expected;
        int quits = 0;
    };

    const std::vector<Row> rows {
        { [] { return new HelpRequest(); },
          { {}, { same + 0 }, {} } },
        { [] { return new NextPackageRequest(); },
          { {}, { same + 11 }, {} } },
        { [] { return new ModelIdRequest(); },
          { {}, { same + 14 }, {} } },
        { [] { return new HelpResponse ("help"); },
          { { same + 1 }, {}, {} } },
        { [] { return new ProductInfoResponse ("line"); },
          { { same + 5 }, {}, {} } },
        { [] { return new TextMessage ("status"); },
          { { same + 10 }, {}, {} } },
        { [] { return new CloseRequest(); },
          { {}, {}, {} },
          1 },
        { [] { return new UpdateRequest(); },
          { { 10 }, { 3 }, { 3 } } },
        { [&] { return new NextPackageResponse (0, 380, package); },
          { { 7 }, {}, { same + 12 } } },
        { [] { return new ProgressUpdate (0.5); },
          { { same + 13 }, {}, {} } },
        { [] { return new ModelIdResponse (0x1a); },
          { {}, {}, { same + 15 } } },
        { [] { return new SVNUpdate (739, 3); },
          { {}, {}, {} } },
        { [] { return new DeviceNotFound(); },
          { { same + 19, 7 }, {}, {} } },
        { [] { return new DeviceFound ("Bramblet boot"); },
          { { 20, 6 }, {}, {} } },
        { [] { return new DeviceFound ("Bramblet"); },
          { { 20, 7 }, {}, {} } },
        { [] { return new UpdateStatus (0); },
          { { 6, 10 }, {}, {} } },
        { [] { return new ProductInfoRequest(); },
          {} },
        { [] { return new UpdateButtonEnable(); },
          {} },
        { [] { return new UpdateButtonDisable(); },
          {} },
        { [] { return new SVNNumberRequest(); },
          {} },
        { [] { return new OddMessage (8); },
          {} },
        { [] { return new OddMessage (-1); },
          {} },
        { [] { return new OddMessage (22); },
          {} },
    };

    for (auto& row : rows)
    {
        Hub hub;
        hub.c.start (1);
        drain();
        for (auto* r : { &hub.view.received, &hub.model.received, &hub.downloader.received })
            r->clear();

        juce::Message::Ptr posted (row.make());
        const int type = static_cast<BaseMessage*> (posted.get())->type;
        hub.deliver (static_cast<BaseMessage*> (posted.get()));

        auto seen = [&] (const std::vector<testsupport::Received>& received) {
            std::vector<int> t;
            for (auto& r : received)
                t.push_back (r.object == posted ? same + r.type : r.type);
            return t;
        };

        EXPECT_EQ (seen (hub.view.received), row.expected.view) << "type " << type << " at the view";
        EXPECT_EQ (seen (hub.model.received), row.expected.model) << "type " << type << " at the model";
        EXPECT_EQ (seen (hub.downloader.received), row.expected.downloader) << "type " << type << " at the downloader";
        EXPECT_EQ (hub.quits, row.quits) << "type " << type;
    }
}

TEST (ControllerRouting, TheDetailsOfWhatItAdds)
{
    Hub hub;
    hub.c.start (1);
    drain();

    EXPECT_EQ (hub.view.types(), std::vector<int> { 7 });
    EXPECT_EQ (hub.model.types(), (std::vector<int> { 4, 17, 14 }));

    hub.deliver (new UpdateRequest());
    EXPECT_EQ (hub.texts(), juce::StringArray { "" });

    hub.deliver (new DeviceFound ("Bramblet Boot"));
    EXPECT_EQ (hub.view.last<UpdateButtonEnable>().type, 6);
    EXPECT_EQ (static_cast<const DeviceFound*> (hub.view.received[hub.view.received.size() - 2].object.get())->name,
               "Bramblet Boot");

    for (auto name : { "BOOT", "xbOoTx", "bramblet boot" })
    {
        hub.deliver (new DeviceFound (name));
        EXPECT_EQ (hub.view.received.back().type, 6) << name;
    }

    hub.deliver (new DeviceFound ("Bramblet bot"));
    EXPECT_EQ (hub.view.received.back().type, 7);
}

TEST (ControllerRevisions, AVerdictComesWhenBothRevisionsHaveArrivedInEitherOrder)
{
    struct Case
    {
        std::vector<std::pair<int, int>> revisions; // (revision, source)
        int comparisons;
        const char* lastText;
        int result;
    };

    const std::vector<Case> cases {
        { { { 739, 3 }, { 739, 2 } }, 1, "Firmware upgrade successful", 0 },
        { { { 739, 2 }, { 739, 3 } }, 1, "Firmware upgrade successful", 0 },
        { { { 739, 3 }, { 738, 2 } }, 1, "Firmware upgrade failed. Please try again", -1 },
        { { { 700, 2 }, { 739, 3 } }, 1, "Firmware upgrade failed. Please try again", -1 },
        { { { 739, 3 }, { 739, 5 }, { 739, 2 } }, 0, nullptr, 0 },                       // another source forgets both
        { { { 739, 3 }, { 739, 2 }, { 739, 2 } }, 2, "Firmware upgrade successful", 0 }, // not cleared after a verdict
        { { { 739, 3 }, { 700, 2 }, { 739, 2 } }, 2, "Firmware upgrade successful", 0 }, // the last verdict holds
        { { { 739, 3 }, { 739, 2 }, { 700, 2 } }, 2, "Firmware upgrade failed. Please try again", -1 },
    };

    for (size_t i = 0; i < cases.size(); ++i)
    {
        auto& c = cases[i];
        Hub hub;

        for (auto [revision, source] : c.revisions)
            hub.deliver (new SVNUpdate (revision, source));

        int fulls = 0;
        for (auto& r : hub.view.received)
            if (r.type == MessageType::progressUpdate)
                fulls += static_cast<const ProgressUpdate*> (r.object.get())->value == 1.0 ? 1 : 0;

        EXPECT_EQ (fulls, c.comparisons) << "case " << i;
        EXPECT_EQ (hub.texts().size(), c.comparisons) << "case " << i;
        if (c.lastText != nullptr)
        {
            EXPECT_EQ (hub.texts()[hub.texts().size() - 1], c.lastText) << "case " << i;
        }
        EXPECT_EQ (hub.c.getResult(), c.result) << "case " << i;
        EXPECT_EQ (hub.quits, 0) << "interactive runs never end by themselves";
    }
}

TEST (ControllerUnattended, StartsAtTheFirstPedalAndEndsWithTheVerdict)
{
    struct Case
    {
        int pedalRevision;
        int result;
    };

    for (auto c : { Case { 739, 0 }, Case { 738, -1 } })
    {
        Hub hub;
        hub.c.start (0);
        hub.deliver (new SVNUpdate (739, 3));
        hub.deliver (new DeviceFound ("Bramblet boot"));

        EXPECT_EQ (hub.downloader.types(), std::vector<int> { 3 });
        EXPECT_EQ (hub.model.types(), (std::vector<int> { 4, 17, 14 })) << "the model is not rewound";
        EXPECT_EQ (hub.view.types(), (std::vector<int> { 7, 20 })) << "no status cleared, no button";

        hub.deliver (new DeviceFound ("Bramblet"));
        EXPECT_EQ (hub.downloader.types(), std::vector<int> { 3 }) << "a second pedal starts nothing";
        EXPECT_EQ (hub.view.types().back(), 7);

        hub.deliver (new ProgressUpdate (std::nextafter (1.0, 0.0)));
        hub.deliver (new ProgressUpdate (std::nextafter (1.0, 2.0)));
        EXPECT_EQ (hub.quits, 0) << "only exactly 1.0 ends the run";

        hub.view.received.clear();
        hub.deliver (new SVNUpdate (c.pedalRevision, 2));
        EXPECT_EQ (hub.quits, 2) << "the full bar and the verdict each ask to close";
        EXPECT_EQ (hub.c.getResult(), c.result);
        EXPECT_EQ (hub.view.types(), (std::vector<int> { 13, 6, 10 })) << "the verdict was queued before the close";
    }
}

TEST (ControllerUnattended, ADownloadFailureEndsTheRunWithFailure)
{
    Hub hub;
    hub.c.start (0);
    hub.deliver (new DeviceFound ("Bramblet boot"));
    hub.deliver (new UpdateStatus (1));

    EXPECT_EQ (hub.quits, 1);
    EXPECT_EQ (hub.c.getResult(), -1);
    EXPECT_EQ (hub.texts(), juce::StringArray { "Firmware upgrade failed. Please try again" });
}

TEST (ControllerUnattended, NoPedalEndsTheRunWithFailureButOnlyBeforeAnyPedal)
{
    Hub early;
    early.c.start (0);
    early.deliver (new DeviceNotFound());
    EXPECT_EQ (early.quits, 1);
    EXPECT_EQ (early.c.getResult(), -1);

    Hub late;
    late.c.start (0);
    late.deliver (new DeviceFound ("Bramblet boot"));
    late.deliver (new DeviceNotFound());
    EXPECT_EQ (late.quits, 0);

    Hub interactive;
    interactive.c.start (1);
    interactive.deliver (new DeviceNotFound());
    EXPECT_EQ (interactive.quits, 0);
    EXPECT_EQ (interactive.c.getResult(), 0);
}

TEST (ControllerOutcome, ClosingBeforeAVerdictIsAFailureOnlyWhenUnattended)
{
    Hub unattended;
    unattended.c.start (0);
    unattended.deliver (new DeviceFound ("Bramblet boot"));
    unattended.deliver (new CloseRequest());
    EXPECT_EQ (unattended.c.getResult(), -1) << "a script must not read an unfinished run as success";

    Hub interactive;
    interactive.c.start (1);
    interactive.deliver (new CloseRequest());
    EXPECT_EQ (interactive.c.getResult(), 0);
}

TEST (ControllerOutcome, AfterTheCloseRequestNothingReachesThePeers)
{
    Hub hub;
    hub.c.start (0);
    drain();
    for (auto* r : { &hub.view.received, &hub.model.received, &hub.downloader.received })
        r->clear();

    hub.deliver (new CloseRequest());
    hub.deliver (new CloseRequest());
    EXPECT_EQ (hub.quits, 2);

    // A progress report the worker queued just before the close still arrives.
    hub.deliver (new ProgressUpdate (1.0));
    hub.deliver (new UpdateRequest());
    hub.deliver (new HelpRequest());
    EXPECT_EQ (hub.quits, 3) << "the full bar still asks to close, which the framework refuses";
    EXPECT_TRUE (hub.view.received.empty());
    EXPECT_TRUE (hub.model.received.empty());
    EXPECT_TRUE (hub.downloader.received.empty());
}
