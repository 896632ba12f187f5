// The application object as the message loop meets it.

#include "app/Vesk2ControlPanelApplication.h"
#include "MessageLoopSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace
{
/** Throws from the first message it is handed and counts the ones after it. */
struct ThrowingListener final : juce::MessageListener
{
    void handleMessage (const juce::Message&) override
    {
        if (! thrown)
        {
            thrown = true;
            throw std::runtime_error ("a handler's fault");
        }

        ++handledAfterThrow;
    }

    bool thrown = false;
    int handledAfterThrow = 0;
};
} // namespace

TEST (Vesk2ControlPanelApplication, AnExceptionFromAMessageHandlerIsIgnoredAndTheLoopHandlesTheNextMessage)
{
    // JUCE hands what its loop catches to the running application's unhandledException.
    const auto previousFactory = juce::JUCEApplicationBase::createInstance;
    juce::JUCEApplicationBase::createInstance = [] () -> juce::JUCEApplicationBase* { return nullptr; };

    {
        const Vesk2ControlPanelApplication application;
        ThrowingListener listener;
        listener.postMessage (new juce::Message());
        listener.postMessage (new juce::Message());

        ASSERT_TRUE (dispatchUntil ([&] { return listener.handledAfterThrow != 0; }));
        EXPECT_TRUE (listener.thrown);
        EXPECT_EQ (listener.handledAfterThrow, 1);
    }

    juce::JUCEApplicationBase::createInstance = previousFactory;
}
