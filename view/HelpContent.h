#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace view
{
    /** The inside of the help window: the update procedure in a read-only, word-wrapped
        editor that always covers the whole component. */
    class HelpContent final : public juce::Component
    {
    public:
        explicit HelpContent (juce::String helpText);
        ~HelpContent() override;

        void resized() override;

        const juce::TextEditor& getEditor() const { return *editor; }

    private:
        std::unique_ptr<juce::TextEditor> editor;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (HelpContent)
    };
}
