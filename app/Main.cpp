// The program's entry point: the only source outside the vesk2_core library.

#include "app/Vesk2ControlPanelApplication.h"

namespace
{
    juce::JUCEApplicationBase* createApplication()
    {
        return new Vesk2ControlPanelApplication();
    }
}

#if JUCE_WINDOWS

#include "platform/Win32Api.h"

// JUCE's main() reads the process command line itself and drops the program
// path, so a path holding "-hide" never counts as the option.
int WINAPI WinMain (HINSTANCE, HINSTANCE, LPSTR, int)
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main();
}

#else

int main (int argc, char* argv[])
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}

#endif
