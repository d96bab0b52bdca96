// flashwell-pacing-bench: one interactive update of the emulated pedal in real time, on the
// system clock, with the real controller, model, downloader and link; the update is started
// as the window's button starts it, once the pedal has been found. Prints what the pedal
// received, in the form of flashwell-demo's report, for bench/pacing.sh.

#include "controller/Controller.h"
#include "downloader/Downloader.h"
#include "emulator/EmulatedPedalLink.h"
#include "firmware/FirmwareClass.h"
#include "message/Messages.h"
#include "model/Model.h"

#include <cstdio>

namespace
{
    /** The controller, with the user's part played: "update" once the pedal is found. */
    class UserController final : public controller::Controller
    {
    public:
        void processMessage (message::BaseMessage* m) override
        {
            Controller::processMessage (m);

            if (m->type == message::MessageType::deviceFound)
                sendMessage (new message::UpdateRequest());
            else if (m->type == message::MessageType::deviceNotFound)
                finished = true;
            else if (m->type == message::MessageType::updateStatus)
                finished = true;
        }

        bool finished = false;
    };
}

int main()
{
    juce::ScopedJuceInitialiser_GUI runtime;

    emulator::EmulatedPedalLink link;
    FirmwareClass firmware;
    UserController controller;
    controller.requestQuit = [] {};

    {
        downloader::Downloader downloader (&controller, &link, false);
        model::Model model (&controller, &firmware);
        controller.model = &model;
        controller.downloader = &downloader;
        controller.start (1);

        const auto deadline = juce::Time::getMillisecondCounterHiRes() + 120000.0;

        while (! controller.finished && juce::Time::getMillisecondCounterHiRes() < deadline)
            juce::MessageManager::getInstance()->runDispatchLoopUntil (20);

        controller.model = nullptr;
        controller.downloader = nullptr;
    }

    const auto* pedal = link.pedal();
    const auto arrivals = pedal->received();
    const auto verdict = pedal->verdict();

    std::printf ("result=%d\ncomplete=%d\npaced=%d\nrevision=%d\narrival_ms=", controller.getResult(),
                 verdict.complete ? 1 : 0, verdict.paced ? 1 : 0, pedal->revision());

    for (size_t i = 0; i < arrivals.size(); ++i)
        std::printf ("%s%.3f", i > 0 ? "," : "", arrivals[i].time);

    std::printf ("\n");
    return controller.finished && controller.getResult() == 0 ? 0 : 1;
}
