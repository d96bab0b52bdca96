#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace view
{
    /** The background both windows share: opaque light grey-blue. */
    juce::Colour windowBackground();

    /** The application icon drawn at the nearest of its sizes (16, 32, 48, 256) at or above
        `size`, or the largest one. */
    juce::Image appIcon (int size);

    /** Puts the icon in the window's title bar and hands it to the desktop's window manager. */
    void showAppIcon (juce::DocumentWindow& window);
}
