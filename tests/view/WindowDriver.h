#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <vector>

/*  Drives real windows the way a user does: mouse events go in through the window's peer, so
    hit testing, disabled controls and JUCE's own title-bar buttons and borders all take part. */
namespace viewtest
{
    /** Event times that only go forwards, also across gestures made within one millisecond:
        JUCE drops mouse events older than the last one it saw. */
    inline juce::int64 nextEventTime()
    {
        static juce::int64 last = 0;
        last = juce::jmax (last + 1, juce::Time::currentTimeMillis());
        return last;
    }

    /** Presses and releases the left button at a point given in `target`'s coordinates. */
    inline void clickAt (const juce::Component& target, juce::Point<int> point)
    {
        auto* peer = target.getPeer();
        jassert (peer != nullptr);

        const auto inPeer = peer->getComponent().getLocalPoint (&target, point).toFloat();
        const auto left = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
        const auto mouse = juce::MouseInputSource::InputSourceType::mouse;

        peer->handleMouseEvent (mouse, inPeer, {}, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());
        peer->handleMouseEvent (mouse, inPeer, left, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());
        peer->handleMouseEvent (mouse, inPeer, {}, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());
    }

    inline void click (const juce::Component& target)
    {
        clickAt (target, target.getLocalBounds().getCentre());
    }

    /** Drags with the left button from `from` by `offset`, both in `window`'s coordinates. */
    inline void drag (const juce::Component& window, juce::Point<int> from, juce::Point<int> offset)
    {
        auto* peer = window.getPeer();
        jassert (peer != nullptr);

        const auto left = juce::ModifierKeys (juce::ModifierKeys::leftButtonModifier);
        const auto mouse = juce::MouseInputSource::InputSourceType::mouse;
        const auto start = from.toFloat();
        const auto end = (from + offset).toFloat();

        peer->handleMouseEvent (mouse, start, {}, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());
        peer->handleMouseEvent (mouse, start, left, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());

        for (int step = 1; step <= 10; ++step)
            peer->handleMouseEvent (mouse, start + (end - start) * (float)step / 10.0f, left,
                                    juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());

        peer->handleMouseEvent (mouse, end, {}, juce::MouseInputSource::defaultPressure, 0.0f, nextEventTime());
    }

    /** Every component inside `root`, at any depth. */
    inline std::vector<juce::Component*> descendants (const juce::Component& root)
    {
        std::vector<juce::Component*> found;

        for (auto* child : root.getChildren())
        {
            found.push_back (child);

            for (auto* below : descendants (*child))
                found.push_back (below);
        }

        return found;
    }

    /** The windows on the desktop that bear a name. */
    inline int countDesktopWindowsNamed (const juce::String& name)
    {
        int count = 0;
        auto& desktop = juce::Desktop::getInstance();

        for (int i = 0; i < desktop.getNumComponents(); ++i)
            if (desktop.getComponent (i)->getName() == name)
                ++count;

        return count;
    }
}
