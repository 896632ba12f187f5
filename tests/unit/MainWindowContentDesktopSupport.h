// For the settings panel's tests that need it in a native window: JUCE gives
// accessibility handlers, keyboard focus and key presses through a peer only to
// components on the desktop.
#pragma once

#include "MainWindowContentTestSupport.h"

#if JUCE_LINUX
 #include <dlfcn.h>
#endif

namespace panel_test
{

inline bool haveDisplay()
{
    return juce::SystemStats::getEnvironmentVariable ("DISPLAY", {}).isNotEmpty();
}

#if JUCE_LINUX
inline int ignoreXError (void*, void*)
{
    return 0;
}
#endif

/** JUCE installs its X error handlers only in a standalone application, and
    without them Xlib's default handler ends the process at the first error:
    JUCE 7.0.5 provokes one (BadAtom) when it places a window on a server
    without a window manager, which has no WM_STATE atom. So the tests ignore X
    errors as the program does. */
inline void ignoreXErrorsAsTheProgramDoes()
{
   #if JUCE_LINUX
    static const bool installed = []
    {
        using Handler = int (*) (void*, void*);
        using SetHandler = Handler (*) (Handler);

        if (auto* x11 = dlopen ("libX11.so.6", RTLD_LAZY))
            if (auto* setHandler = reinterpret_cast<SetHandler> (dlsym (x11, "XSetErrorHandler")))
                return (setHandler (ignoreXError), true);

        return false;
    }();

    EXPECT_TRUE (installed) << "no X error handler could be installed";
   #endif
}

/** A panel of the window's size in a native window of its own. */
struct PanelOnDesktop
{
    PanelOnDesktop()
    {
        ignoreXErrorsAsTheProgramDoes();
        panel.setSize (500, 350);
        panel.addToDesktop (0);
        panel.setVisible (true);
    }

    MainWindowContent panel;
};

} // namespace panel_test

#define SKIP_WITHOUT_DISPLAY() \
    if (! panel_test::haveDisplay()) GTEST_SKIP() << "needs an X display (scripts/test.sh starts one)"
