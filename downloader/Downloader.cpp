#include "downloader/Downloader.h"

#include "message/Messages.h"
#include "midi/SysexProtocol.h"

namespace downloader
{
    using namespace message;

    namespace
    {
        // The pedal erases its flash after the update begin: 40 rounds of 500 ms.
        constexpr juce::uint32 waitRoundsAfterFirst = 40;
        constexpr int waitRoundMs = 500;
        constexpr double progressPerWaitRound = 0.0025;

        // Each data message is a flash write; the pedal needs this long between two.
        constexpr int interactivePacingMs = 50;
        constexpr int unattendedPacingMs = 40;

        // The pedal restarts after the update end; it is looked for again after each pause.
        constexpr int restartPauseMs = 2500;
        constexpr double progressPerFailedSearch = 0.05;

        constexpr int revisionPolls = 20;
    }

    Downloader::Downloader (controller::ControllerIF* controllerToReportTo, midi::MidiIf* deviceLink, bool runsUnattended,
                            midi::Clock& clockToUse)
        : DownloaderInterface (controllerToReportTo),
          juce::Thread ("Downloader"),
          link (deviceLink),
          unattended (runsUnattended),
          clock (clockToUse)
    {
    }

    Downloader::~Downloader()
    {
        // The worker's waits end as soon as it is asked to exit, so this returns promptly.
        stopThread (2500);
    }

    void Downloader::processMessage (BaseMessage* message)
    {
        switch (message->type)
        {
            case MessageType::updateRequest:
                onUpdateRequest();
                break;

            case MessageType::nextPackageResponse:
            {
                auto* response = static_cast<NextPackageResponse*> (message);
                onPackage (response->index, response->count, response->data);
                break;
            }

            case MessageType::modelIdResponse:
                onModelId (static_cast<ModelIdResponse*> (message)->modelId);
                break;

            default:
                break;
        }
    }

    void Downloader::onUpdateRequest()
    {
        // A second request while the worker streams would restart its states and refill
        // the queue it is sending from: the pedal would get a broken image.
        if (isThreadRunning())
            return;

        packageQueue.clearQuick();
        post (controller, new NextPackageRequest());
        state = sendFirst;
    }

    void Downloader::onPackage (juce::uint32 index, juce::uint32 count, const juce::Array<juce::uint8>& package)
    {
        if (index < count)
        {
            // The model rewinds on every update request; a package 0 starts the image over,
            // so the queue never holds part of an image twice.
            if (index == 0)
                packageQueue.clearQuick();

            packageCount = count;
            packageQueue.add (package);
            post (controller, new NextPackageRequest());
        }
        else if (! isThreadRunning())
        {
            startThread();
        }
    }

    void Downloader::onModelId (juce::uint8 id)
    {
        modelId = id;

        if (link != nullptr && link->findDevice (id))
        {
            juce::String name;
            link->getDeviceName (name);
            post (controller, new DeviceFound (name));
        }
        else
        {
            post (controller, new DeviceNotFound());
        }
    }

    void Downloader::run()
    {
        progress = 0.0;

        while (! threadShouldExit())
        {
            switch (state.load())
            {
                case sendFirst:
                    sendFirstPackage();
                    break;

                case waitAfterFirst:
                    waitAfterFirstPackage();
                    break;

                case sendRest:
                    sendNextPackage();
                    break;

                case findAgain:
                    if (! findRestartedPedal())
                        return;
                    break;

                case verify:
                    if (! queryRevision())
                        post (controller, new UpdateStatus (1));
                    return;

                default:
                    return;
            }
        }
    }

    void Downloader::sendFirstPackage()
    {
        juce::Array<juce::uint8> first;

        {
            const juce::ScopedLock lock (packageQueue.getLock());

            if (! packageQueue.isEmpty())
                first = packageQueue.removeAndReturn (0);
        }

        link->send (first);
        waitRounds = 0;
        state = unattended ? sendRest : waitAfterFirst;
    }

    void Downloader::waitAfterFirstPackage()
    {
        if (waitRounds >= waitRoundsAfterFirst)
        {
            state = sendRest;
            return;
        }

        ++waitRounds;
        progress += progressPerWaitRound;
        postProgress();
        pause (waitRoundMs);
    }

    void Downloader::sendNextPackage()
    {
        juce::Array<juce::uint8> package;
        int remaining = 0;

        {
            const juce::ScopedLock lock (packageQueue.getLock());

            if (packageQueue.isEmpty())
            {
                state = findAgain;
                return;
            }

            package = packageQueue.removeAndReturn (0);
            remaining = packageQueue.size();
        }

        link->send (package);
        progress = (60.0 - remaining * 50.0 / (double)packageCount.load()) / 100.0;
        postProgress();
        pause (unattended ? unattendedPacingMs : interactivePacingMs);
    }

    // One search for the restarted pedal; false when the worker is to end.
    bool Downloader::findRestartedPedal()
    {
        if (! pause (restartPauseMs))
            return false;

        link->close();

        if (link->findDevice (modelId.load()))
        {
            state = verify;
            return true;
        }

        if (addRetryProgress())
        {
            post (controller, new UpdateStatus (1));
            return false;
        }

        return true;
    }

    bool Downloader::addRetryProgress()
    {
        progress += progressPerFailedSearch;
        postProgress();
        return progress >= 1.0;
    }

    bool Downloader::queryRevision()
    {
        juce::Array<juce::uint8> reply;

        if (! link->sendAndReceive (midi::protocol::revisionQuery (modelId.load()), reply, revisionPolls))
            return false;

        // A reply too short to carry a revision is a failed query, not revision 0.
        int revision = 0;

        if (! midi::protocol::unpackRevision (reply, revision))
            return false;

        post (controller, new SVNUpdate (revision, SVNUpdate::fromDevice));
        return true;
    }

    void Downloader::postProgress()
    {
        post (controller, new ProgressUpdate (progress));
    }

    bool Downloader::pause (int milliseconds)
    {
        return clock.sleepUnlessExit (milliseconds, *this);
    }
}
