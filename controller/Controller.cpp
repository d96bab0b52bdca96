#include "controller/Controller.h"

#include "message/Messages.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace controller
{
    using namespace message;

    namespace
    {
        void requestApplicationQuit()
        {
            if (auto* app = juce::JUCEApplicationBase::getInstance())
                app->systemRequestedQuit();
        }
    }

    Controller::Controller() : requestQuit (requestApplicationQuit) {}

    void Controller::start (int interactiveMode)
    {
        interactive = interactiveMode;
        post (view, new UpdateButtonDisable());
        post (model, new ProductInfoRequest());
        post (model, new SVNNumberRequest());
        sendMessage (new ModelIdRequest());
    }

    int Controller::getResult()
    {
        // A script reads 0 as "pedal updated": an unattended run that ended before any
        // verdict (window closed early, no pedal) must not say so.
        if (interactive == 0 && ! verdictReached)
            return -1;

        return result;
    }

    void Controller::processMessage (BaseMessage* message)
    {
        switch (message->type)
        {
            case MessageType::helpRequest:
            case MessageType::nextPackageRequest:
            case MessageType::modelIdRequest:
                forward (model, message);
                break;

            case MessageType::helpResponse:
            case MessageType::productInfoResponse:
            case MessageType::textMessage:
                forward (view, message);
                break;

            case MessageType::closeRequest:
                onCloseRequest();
                break;

            case MessageType::updateRequest:
                post (downloader, new UpdateRequest());
                post (model, new UpdateRequest());
                post (view, new TextMessage (juce::String()));
                break;

            case MessageType::nextPackageResponse:
                forward (downloader, message);
                post (view, new UpdateButtonDisable());
                break;

            case MessageType::progressUpdate:
                if (static_cast<ProgressUpdate*> (message)->value == 1.0 && interactive == 0)
                    sendMessage (new CloseRequest());

                forward (view, message);
                break;

            case MessageType::modelIdResponse:
                forward (downloader, message);
                break;

            case MessageType::svnUpdate:
            {
                auto* update = static_cast<SVNUpdate*> (message);
                onRevision (update->revision, update->source);
                break;
            }

            case MessageType::deviceNotFound:
                forward (view, message);
                post (view, new UpdateButtonDisable());

                if (interactive == 0 && ! deviceFound)
                {
                    result = -1;
                    sendMessage (new CloseRequest());
                }
                break;

            case MessageType::deviceFound:
                onDeviceFound (static_cast<DeviceFound*> (message)->name);
                break;

            case MessageType::updateStatus:
                onUpdateStatus (static_cast<UpdateStatus*> (message)->failed);
                break;

            default:
                break;
        }
    }

    void Controller::onCloseRequest()
    {
        downloader = nullptr;
        view = nullptr;
        model = nullptr;

        if (requestQuit)
            requestQuit();
    }

    void Controller::onDeviceFound (const juce::String& name)
    {
        post (view, new DeviceFound (name));
        deviceFound = true;

        if (interactive == 0 && ! updateStarted)
        {
            updateStarted = true;
            post (downloader, new UpdateRequest());
        }
        else if (name.containsIgnoreCase ("boot"))
        {
            post (view, new UpdateButtonEnable());
        }
        else
        {
            post (view, new UpdateButtonDisable());
        }
    }

    void Controller::onRevision (int revision, int source)
    {
        if (source == SVNUpdate::fromDevice)
        {
            deviceRevision = revision;
        }
        else if (source == SVNUpdate::fromImage)
        {
            imageRevision = revision;
        }
        else
        {
            deviceRevision = -1;
            imageRevision = -1;
        }

        if (deviceRevision != -1 && imageRevision != -1)
        {
            sendMessage (new ProgressUpdate (1.0));
            sendMessage (new UpdateStatus (deviceRevision != imageRevision ? 1 : 0));
        }
    }

    void Controller::onUpdateStatus (int failed)
    {
        post (view, new UpdateButtonEnable());

        if (failed == 0)
        {
            post (view, new TextMessage ("Firmware upgrade successful"));
            result = 0;
        }
        else
        {
            post (view, new TextMessage ("Firmware upgrade failed. Please try again"));
            result = -1;
        }

        verdictReached = true;

        if (interactive == 0)
            sendMessage (new CloseRequest());
    }
}
