#include "view/WindowStyle.h"

#include "AppIcons.h"

namespace view
{
    juce::Colour windowBackground()
    {
        return juce::Colour (0xffeff2f3);
    }

    juce::Image appIcon (int size)
    {
        struct Drawn
        {
            int size;
            const char* data;
            int bytes;
        };

        static const Drawn drawn[] = {
            { 16, appicons::icon16_png, appicons::icon16_pngSize },
            { 32, appicons::icon32_png, appicons::icon32_pngSize },
            { 48, appicons::icon48_png, appicons::icon48_pngSize },
            { 256, appicons::icon256_png, appicons::icon256_pngSize },
        };

        const Drawn* chosen = &drawn[0];

        for (auto& d : drawn)
        {
            chosen = &d;

            if (d.size >= size)
                break;
        }

        return juce::ImageCache::getFromMemory (chosen->data, chosen->bytes);
    }

    void showAppIcon (juce::DocumentWindow& window)
    {
        window.setIcon (appIcon (window.getTitleBarHeight()));

        // 48 pixels is what window managers and task bars ask for most; the larger image
        // would only make the window property bigger.
        if (auto* peer = window.getPeer())
            peer->setIcon (appIcon (48));
    }
}
