#include "view/Updater.h"

#include "message/Messages.h"

namespace view
{
    using namespace message;

    Updater::Updater (controller::ControllerIF* controllerToReportTo)
        : ViewInterface (controllerToReportTo)
    {
        // Made the desktop default so that the main window, already on the desktop, and every
        // help window opened later draw in the same style as the panel.
        juce::Desktop::getInstance().setDefaultLookAndFeel (&lookAndFeel);

        updateButton = std::make_unique<juce::TextButton> ("update", "click here to update the product");
        addAndMakeVisible (*updateButton);
        updateButton->addListener (this);
        updateButton->setConnectedEdges (juce::Button::ConnectedOnLeft); // joined to the bar

        productLabel = std::make_unique<juce::Label> (juce::String(), "This software updater will update your Firmware");
        addAndMakeVisible (*productLabel);

        progress = 0.0;
        progressBar = std::make_unique<juce::ProgressBar> (progress);
        addAndMakeVisible (*progressBar);
        progressBar->setColour (juce::ProgressBar::backgroundColourId, juce::Colours::white);

        progressLabel = std::make_unique<juce::Label> (juce::String(), "Update progress:");
        progressLabel->attachToComponent (progressBar.get(), false);

        helpButton = std::make_unique<juce::TextButton> ("Help", "click here to get help");
        addAndMakeVisible (*helpButton);
        helpButton->addListener (this);

        deviceLabel = std::make_unique<juce::Label>();
        addAndMakeVisible (*deviceLabel);
        deviceLabel->setText ("Device: ", juce::dontSendNotification);

        statusLabel = std::make_unique<juce::Label>();
        addAndMakeVisible (*statusLabel);
    }

    Updater::~Updater()
    {
        // The style object goes before the controls; the desktop must not keep drawing with it.
        if (&juce::Desktop::getInstance().getDefaultLookAndFeel() == &lookAndFeel)
            juce::Desktop::getInstance().setDefaultLookAndFeel (nullptr);
    }

    void Updater::resized()
    {
        const int width = getWidth();

        productLabel->setBounds (10, 15, width - 20, 50);
        helpButton->setBounds (width - 104, 2, 94, 30);
        deviceLabel->setBounds (10, productLabel->getBottom(), width - 20, 30);
        statusLabel->setBounds (10, deviceLabel->getBottom(), width - 20, 30);
        updateButton->setBounds (width - 104, statusLabel->getBottom() + 40, 94, 30);
        progressBar->setBounds (10, updateButton->getY(), width - 114, 30);
    }

    void Updater::buttonClicked (juce::Button* button)
    {
        if (button == updateButton.get())
        {
            // The bar starts over at once, before the controller has answered (or if it never does).
            progress = 0.0;
            post (controller, new UpdateRequest());
        }
        else if (button == helpButton.get())
        {
            post (controller, new HelpRequest());
        }
    }

    void Updater::processMessage (BaseMessage* message)
    {
        switch (message->type)
        {
            case MessageType::productInfoResponse:
                productLabel->setText (static_cast<ProductInfoResponse*> (message)->text, juce::dontSendNotification);
                break;

            case MessageType::updateButtonEnable:
                updateButton->setEnabled (true);
                break;

            case MessageType::updateButtonDisable:
                updateButton->setEnabled (false);
                break;

            case MessageType::textMessage:
                statusLabel->setText ("Status: " + static_cast<TextMessage*> (message)->text, juce::dontSendNotification);
                break;

            case MessageType::progressUpdate:
                progress = static_cast<ProgressUpdate*> (message)->value;
                progressBar->repaint();
                break;

            case MessageType::deviceNotFound:
                deviceLabel->setText ("Device: Not found", juce::dontSendNotification);
                break;

            case MessageType::deviceFound:
            {
                const auto& name = static_cast<DeviceFound*> (message)->name;
                deviceLabel->setText ("Device: " + name, juce::dontSendNotification);

                if (! name.containsIgnoreCase ("boot"))
                    statusLabel->setText ("Status: Device is not in boot mode", juce::dontSendNotification);

                break;
            }

            default:
                break;
        }
    }
}
