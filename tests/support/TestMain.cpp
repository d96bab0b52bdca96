#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

// The main thread is the message thread, as in the program.
int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI juceRuntime;
    return RUN_ALL_TESTS();
}
