#pragma once

#include "message/ControllerIF.h"
#include "message/DownloaderInterface.h"
#include "message/ModelInterface.h"
#include "message/ViewInterface.h"

#include <functional>

namespace controller
{
    /** The hub: routes every message between the model, the downloader and the view, keeps
        the two firmware revisions, decides the outcome and, unattended, starts and ends the run. */
    class Controller : public ControllerIF
    {
    public:
        Controller();
        ~Controller() override = default;

        /** Posts the start-up requests; `interactive` is 1 for the window mode, 0 unattended. */
        void start (int interactive);

        int getResult() override;
        void processMessage (message::BaseMessage* message) override;

        // Peers, set by the application after construction; not owned.
        view::ViewInterface* view = nullptr;
        model::ModelInterface* model = nullptr;
        downloader::DownloaderInterface* downloader = nullptr;

        /** Asks the application to quit; tests replace it so that their own loop keeps running. */
        std::function<void()> requestQuit;

    private:
        void onCloseRequest();
        void onDeviceFound (const juce::String& name);
        void onRevision (int revision, int source);
        void onUpdateStatus (int failed);

        int deviceRevision = -1;
        int imageRevision = -1;
        int interactive = 1;
        bool updateStarted = false;
        int result = 0;
        bool deviceFound = false;
        bool verdictReached = false;

        JUCE_DECLARE_NON_COPYABLE (Controller)
    };
}
