// vesk2-uiawalk: runs the program itself and prints what a UI Automation client gets
// from its window, from inside Windows (or Wine). Wine 8 serves no outside UIA client
// (its CUIAutomation is not registered, and its node API deadlocks on JUCE's providers,
// which ask for COM threading), so the walk calls JUCE's providers in process, on the
// message thread, as the system would: Navigate for first child and next sibling,
// GetPropertyValue, and the Value pattern. Never installed.
//
// Once the window has painted (the panel's text lines are told to readers only then),
// it prints one line per element, depth first, and quits the program:
//   DEPTH <tab> CONTROL-TYPE <tab> "NAME" <tab> enabled|disabled [<tab> value="VALUE"]
// where the value is there only for an element with the Value pattern. Exit code 0
// after a walk, 1 when the program ended without a window to walk, 2 when a provider
// failed a call.

#ifndef NOMINMAX
 #define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
 #define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <ole2.h>

// MinGW's UI Automation headers name a parameter "new"; JUCE includes them the same way.
#define new new_
#include <uiautomation.h>
#undef new

// JUCE declares the UIA interfaces that MinGW lacks, and its own element, in headers
// that its module includes after the system's: the same definitions the library holds.
#define JUCE_CORE_INCLUDE_COM_SMART_PTR 1
#include "app/Vesk2ControlPanelApplication.h"
#include <juce_gui_basics/native/accessibility/juce_win32_ComInterfaces.h>
#include <juce_gui_basics/native/accessibility/juce_win32_AccessibilityElement.h>

#include <cstdio>
#include <optional>
#include <stdexcept>

namespace
{
using juce::ComSmartPtr;
using juce::ComTypes::IRawElementProviderFragment;
using juce::ComTypes::IValueProvider;

bool walked = false;

juce::String controlTypeName (long id)
{
    using namespace juce::ComTypes::Constants;

    struct Named { long id; const char* name; };

    static constexpr Named names[] = {
        { UIA_WindowControlTypeId, "Window" },     { UIA_CustomControlTypeId, "Custom" },
        { UIA_GroupControlTypeId, "Group" },       { UIA_ComboBoxControlTypeId, "ComboBox" },
        { UIA_SliderControlTypeId, "Slider" },     { UIA_TextControlTypeId, "Text" },
        { UIA_ButtonControlTypeId, "Button" },     { UIA_EditControlTypeId, "Edit" },
        { UIA_ListControlTypeId, "List" },         { UIA_ListItemControlTypeId, "ListItem" },
        { UIA_ImageControlTypeId, "Image" },       { UIA_ToolTipControlTypeId, "ToolTip" },
    };

    for (const auto& named : names)
        if (named.id == id)
            return named.name;

    return juce::String (id);
}

void check (HRESULT result, const char* call)
{
    if (FAILED (result))
        throw std::runtime_error (juce::String::formatted ("%s failed (0x%08lx)", call, (unsigned long) result).toStdString());
}

/** The property as the provider gives it, read by read (VARIANT) before the variant is
    cleared. VT_EMPTY where it gives none: JUCE names no ignored element. */
template <typename Read>
auto readProperty (IRawElementProviderSimple& element, PROPERTYID id, Read read)
{
    VARIANT value;
    VariantInit (&value);
    check (element.GetPropertyValue (id, &value), "GetPropertyValue");
    auto result = read (value);
    VariantClear (&value);
    return result;
}

juce::String textOf (const VARIANT& value)     { return value.vt == VT_BSTR && value.bstrVal != nullptr ? juce::String (value.bstrVal) : juce::String(); }
long numberOf (const VARIANT& value)           { return value.vt == VT_I4 ? value.lVal : 0L; }
bool isTrue (const VARIANT& value)             { return value.vt == VT_BOOL && value.boolVal == VARIANT_TRUE; }

/** The Value pattern's text, or nothing for an element without the pattern. */
std::optional<juce::String> valueOf (IRawElementProviderSimple& element)
{
    ComSmartPtr<IUnknown> pattern;
    check (element.GetPatternProvider (juce::ComTypes::Constants::UIA_ValuePatternId, pattern.resetAndGetPointerAddress()),
           "GetPatternProvider");

    if (pattern == nullptr)
        return {};

    ComSmartPtr<IValueProvider> provider;
    check (pattern.QueryInterface (provider), "QueryInterface (IValueProvider)");

    BSTR text = nullptr;
    check (provider->get_Value (&text), "IValueProvider::get_Value");
    const juce::String result (text != nullptr ? juce::String (text) : juce::String());
    SysFreeString (text);
    return result;
}

juce::String describe (IRawElementProviderFragment& fragment, int depth)
{
    ComSmartPtr<IRawElementProviderSimple> element;
    check (fragment.QueryInterface (IID_PPV_ARGS (element.resetAndGetPointerAddress())),
           "QueryInterface (IRawElementProviderSimple)");

    auto line = juce::String (depth)
              + "\t" + controlTypeName (readProperty (*element, UIA_ControlTypePropertyId, numberOf))
              + "\t\"" + readProperty (*element, UIA_NamePropertyId, textOf) + "\""
              + "\t" + (readProperty (*element, UIA_IsEnabledPropertyId, isTrue) ? "enabled" : "disabled");

    if (const auto value = valueOf (*element))
        line << "\tvalue=\"" << *value << "\"";

    return line;
}

void walk (IRawElementProviderFragment& fragment, int depth)
{
    std::printf ("%s\n", describe (fragment, depth).toRawUTF8());

    ComSmartPtr<IRawElementProviderFragment> child;
    check (fragment.Navigate (juce::ComTypes::NavigateDirection_FirstChild, child.resetAndGetPointerAddress()),
           "Navigate (first child)");

    while (child != nullptr)
    {
        walk (*child, depth + 1);

        ComSmartPtr<IRawElementProviderFragment> next;
        check (child->Navigate (juce::ComTypes::NavigateDirection_NextSibling, next.resetAndGetPointerAddress()),
               "Navigate (next sibling)");
        child = next;
    }
}

/**
    Waits, on the message thread, until the program's window is showing with no
    paint left pending in its native window (its first paint has run), then walks
    the elements from the window's own provider down and quits the application.
    JUCE deletes it at shutdown, before the message manager goes.
*/
class WalkAfterFirstPaint final : private juce::Timer,
                                  public juce::DeletedAtShutdown
{
public:
    WalkAfterFirstPaint()
    {
        startTimer (pollIntervalMs);
    }

private:
    void timerCallback() override
    {
        auto* window = findWindow();

        if (window == nullptr || ! window->isShowing() || window->getPeer() == nullptr)
            return;

        // The show leaves the whole native window invalid until JUCE has painted it.
        if (GetUpdateRect (static_cast<HWND> (window->getPeer()->getNativeHandle()), nullptr, FALSE))
            return;

        stopTimer();
        walked = true;
        auto* application = juce::JUCEApplicationBase::getInstance();

        try
        {
            ComSmartPtr<IRawElementProviderFragment> root;
            check (window->getAccessibilityHandler()->getNativeImplementation()->QueryInterface (IID_PPV_ARGS (root.resetAndGetPointerAddress())),
                   "QueryInterface (IRawElementProviderFragment)");
            walk (*root, 0);
        }
        catch (const std::exception& failure)
        {
            std::fprintf (stderr, "vesk2-uiawalk: %s\n", failure.what());
            application->setApplicationReturnValue (2);
        }

        std::fflush (stdout);
        application->quit();
    }

    static juce::Component* findWindow()
    {
        for (int i = 0; i < juce::TopLevelWindow::getNumTopLevelWindows(); ++i)
            if (auto* window = juce::TopLevelWindow::getTopLevelWindow (i))
                if (window->getName() == Vesk2ControlPanelApplication::applicationName)
                    return window;

        return nullptr;
    }

    static constexpr int pollIntervalMs = 50;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (WalkAfterFirstPaint)
};

juce::JUCEApplicationBase* createApplicationAndWalker()
{
    // JUCE's runner has started the message manager by now; the loop runs the timer.
    new WalkAfterFirstPaint();     // NOLINT(cppcoreguidelines-owning-memory): deleted at shutdown
    return new Vesk2ControlPanelApplication();
}
} // namespace

int main()
{
    juce::JUCEApplicationBase::createInstance = &createApplicationAndWalker;
    const auto exitCode = juce::JUCEApplicationBase::main();

    if (! walked)
    {
        std::fprintf (stderr, "vesk2-uiawalk: the program ended without a window to walk\n");
        return 1;
    }

    return exitCode;
}
