#pragma once

#include "view/HelpContent.h"

namespace view
{
    /** "Firmware Update Help": shows the update procedure. Closing it only hides it; the main
        window replaces it with a fresh one for the next help text. */
    class HelpWindow final : public juce::DocumentWindow
    {
    public:
        explicit HelpWindow (juce::String helpText);
        ~HelpWindow() override;

        void closeButtonPressed() override;

        const HelpContent& getContent() const { return *content; }

    private:
        std::unique_ptr<HelpContent> content;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HelpWindow)
    };
}
