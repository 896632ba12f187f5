// vesk2-broadcast TEXT: sends TEXT through JUCE's inter-process broadcast, as another
// JUCE program on the machine would, to every running JUCE application.
// Exit code 0 once the text has been handed to every receiver, 2 on wrong use.

#include <juce_events/juce_events.h>

#include <iostream>

int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "usage: vesk2-broadcast TEXT" << std::endl;
        return 2;
    }

    const juce::ScopedJuceInitialiser_GUI juce;

    // Returns once each receiver's message window has taken the text (or timed out).
    juce::MessageManager::broadcastMessage (juce::String (argv[1]));
    return 0;
}
