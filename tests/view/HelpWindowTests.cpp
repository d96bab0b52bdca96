#include "view/HelpWindow.h"

#include "support/MessagePump.h"

#include <gtest/gtest.h>

namespace
{
    void expectEditorFillsTheWindow (const view::HelpWindow& window)
    {
        const auto& content = window.getContent();
        const auto contentArea = const_cast<view::HelpWindow&> (window).getContentComponentBorder().subtractedFrom (window.getLocalBounds());

        EXPECT_EQ (content.getBounds(), contentArea);
        EXPECT_EQ (content.getEditor().getBounds(), content.getLocalBounds());
    }
}

TEST (HelpWindow, ShowsTheTextReadOnlyAndWrapped)
{
    const juce::String text = "Firmware Update Procedure. \n 1. Unplug all cables from the pedal. \n\n" + juce::String::repeatedString ("a line much longer than the window is wide ", 40) + "\n";

    for (const auto& shown : { text, juce::String() })
    {
        view::HelpWindow window (shown);
        const auto& editor = window.getContent().getEditor();

        EXPECT_EQ (editor.getText(), shown);
        EXPECT_TRUE (editor.isReadOnly());
        EXPECT_TRUE (editor.isMultiLine());
        if (shown.isNotEmpty())
        {
            // Four lines of text, one of them far wider than the editor: it wraps, not scrolls sideways.
            EXPECT_LE (editor.getTextWidth(), editor.getWidth());
            EXPECT_GT (editor.getTextHeight(), 8 * juce::roundToInt (editor.getFont().getHeight()));
        }
        EXPECT_TRUE (window.isVisible());
        expectEditorFillsTheWindow (window);
    }
}

TEST (HelpWindow, TheEditorFillsTheWindowAfterAResize)
{
    view::HelpWindow window ("text");

    for (auto size : { juce::Point<int> { 700, 520 }, juce::Point<int> { 300, 200 } })
    {
        window.setSize (size.x, size.y);
        testsupport::drain();

        EXPECT_EQ (window.getWidth(), size.x);
        expectEditorFillsTheWindow (window);
    }
}
