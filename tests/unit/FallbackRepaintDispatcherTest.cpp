#include <gtest/gtest.h>

#include "MainWindowContentDesktopSupport.h"
#include "app/FallbackRepaintDispatcher.h"

// JUCE's Linux windows get vertical blanks from a display-rate timer of their own,
// so each watch ends at the first one and leaves nothing running.
TEST (FallbackRepaintDispatcher, WhereVerticalBlanksComeEachWatchEndsAtTheFirst)
{
    if (! panel_test::haveDisplay())
        GTEST_SKIP() << "needs an X display";

    panel_test::ignoreXErrorsAsTheProgramDoes();
    juce::Component window;
    window.setSize (200, 100);
    window.addToDesktop (0);
    window.setVisible (true);

    FallbackRepaintDispatcher dispatcher (window);
    EXPECT_TRUE (dispatcher.isDispatching()) << "a new window's vertical blanks are not yet known";
    EXPECT_TRUE (dispatchUntil ([&] { return ! dispatcher.isDispatching(); })) << "no vertical blank ended the watch";

    // A move may put the window where no blanks come: it is watched again, until the next.
    window.setTopLeftPosition (40, 40);
    EXPECT_TRUE (dispatcher.isDispatching());
    EXPECT_TRUE (dispatchUntil ([&] { return ! dispatcher.isDispatching(); }));
}
