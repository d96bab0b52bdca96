#include "view/HelpContent.h"

namespace view
{
    HelpContent::HelpContent (juce::String helpText)
    {
        editor = std::make_unique<juce::TextEditor>();
        addAndMakeVisible (*editor);
        editor->setMultiLine (true);
        editor->setReadOnly (true);
        editor->setText (helpText);
    }

    HelpContent::~HelpContent() = default;

    void HelpContent::resized()
    {
        editor->setBounds (getLocalBounds());
    }
}
