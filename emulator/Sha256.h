#pragma once

#include <juce_core/juce_core.h>

namespace emulator
{
    /** SHA-256 of a run of bytes, so that a report's stream hash can be checked against the
        image file with sha256sum. */
    class Sha256 final
    {
    public:
        /** The digest as 64 lower-case hex digits, as sha256sum prints it. */
        static juce::String hex (const void* data, size_t size);
    };
}
