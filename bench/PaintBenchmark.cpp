/*
    The settings panel's paint at the window's size, 500 by 350, into an image,
    beside what its parts cost alone: the background gradient, and the decoding
    of the logo that the image cache saves on every paint but the first.

    Each benchmark run starts with an empty image cache and counts the JPEG
    decodes two ways: the paints that found the logo missing from the cache,
    and the runs of the JPEG decoder itself (JUCE decodes with the system's
    libjpeg here; this program puts a counter in front of its
    jpeg_start_decompress). Once per run is the expected count, whatever the
    number of paints. BM_LogoDecode shows the decoder counter at work: one run
    per decode.

    Runs against the simulated driver: VESK2_SIM_STATE names its state (a fresh
    folder of its own when unset, so the default state of the machine's user is
    not touched). VESK2_SIM_LOG is best left unset: paint asks the driver for its
    version every time, and a log would add a file write to each paint.

    --cold-start instead times, once in a fresh process, what only the first
    paint of a run pays, and prints it as one JSON line: JUCE's scan of the
    system's fonts (on Linux, at the first text it meets), the first paint of
    the panel (the logo's decode and the loading of every glyph it draws), and
    a second paint beside them.
*/
#include "panel/MainWindowContent.h"
#include "resources/LogoData.h"

#include <benchmark/benchmark.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>

#if JUCE_LINUX && __has_include(<jpeglib.h>)
 #include <dlfcn.h>
 #include <jpeglib.h>
 #define VESK2_COUNT_JPEG_DECODER 1
#endif

namespace
{
std::atomic<int64_t> jpegDecoderRuns { 0 };
}

#if VESK2_COUNT_JPEG_DECODER
// Takes the place of libjpeg's own for the JUCE code linked into this program,
// counts, and hands over to the library's.
extern "C" boolean jpeg_start_decompress (j_decompress_ptr info)
{
    using Function = boolean (*) (j_decompress_ptr);
    static const auto next = reinterpret_cast<Function> (dlsym (RTLD_NEXT, "jpeg_start_decompress"));
    ++jpegDecoderRuns;
    return next (info);
}
#endif

namespace
{
constexpr int panelWidth = 500;
constexpr int panelHeight = 350;

// ImageCache::getFromMemory keys an image by the address of its bytes.
juce::int64 logoCacheKey()
{
    return (juce::int64) (juce::pointer_sized_int) LogoData::logoJpeg;
}

bool logoIsCached()
{
    return juce::ImageCache::getFromHashCode (logoCacheKey()).isValid();
}

// Drops the logo from the cache, so that the run's first paint decodes it again.
void emptyImageCache()
{
    juce::ImageCache::releaseUnusedImages();

    if (logoIsCached())
        throw std::runtime_error ("the logo stayed in the image cache");
}

juce::Image makeCanvas()
{
    return juce::Image (juce::Image::ARGB, panelWidth, panelHeight, true);
}

void paintPanel (benchmark::State& state, bool withControls)
{
    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);

    auto canvas = makeCanvas();
    emptyImageCache();
    int64_t cacheMisses = 0;
    const auto decoderRunsBefore = jpegDecoderRuns.load();

    for (auto _ : state)
    {
        // A paint that finds no logo in the cache decodes the JPEG.
        if (! logoIsCached())
            ++cacheMisses;

        juce::Graphics g (canvas);

        if (withControls)
            panel.paintEntireComponent (g, false);
        else
            panel.paint (g);

        benchmark::ClobberMemory();
    }

    state.counters["paints"] = static_cast<double> (state.iterations());
    state.counters["logo_cache_misses"] = static_cast<double> (cacheMisses);
    state.counters["jpeg_decoder_runs"] = static_cast<double> (jpegDecoderRuns.load() - decoderRunsBefore);
}

void BM_PanelPaint (benchmark::State& state)
{
    paintPanel (state, false);
}

// What a repaint of the whole window costs: the panel, then its two controls.
void BM_PanelPaintWithControls (benchmark::State& state)
{
    paintPanel (state, true);
}

// The same fill as the panel's background, and nothing else.
void BM_GradientOnly (benchmark::State& state)
{
    auto canvas = makeCanvas();

    for (auto _ : state)
    {
        juce::Graphics g (canvas);
        g.setGradientFill (juce::ColourGradient (juce::Colours::white, 0.0f, 0.0f,
                                                 juce::Colour (0xffd0d0d0), (float) panelWidth, (float) panelHeight,
                                                 false));
        g.fillAll();
        benchmark::ClobberMemory();
    }
}

// What each paint would cost on top if the cache did not hold the logo.
void BM_LogoDecode (benchmark::State& state)
{
    const auto decoderRunsBefore = jpegDecoderRuns.load();

    for (auto _ : state)
    {
        auto logo = juce::ImageFileFormat::loadFrom (LogoData::logoJpeg, (size_t) LogoData::logoJpegSize);

        if (logo.getWidth() != LogoData::logoWidth)
            state.SkipWithError ("the logo did not decode");

        benchmark::DoNotOptimize (logo);
    }

    state.counters["decodes"] = static_cast<double> (state.iterations());
    state.counters["jpeg_decoder_runs"] = static_cast<double> (jpegDecoderRuns.load() - decoderRunsBefore);
}

BENCHMARK (BM_PanelPaint)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_PanelPaintWithControls)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_GradientOnly)->Unit (benchmark::kMicrosecond);
BENCHMARK (BM_LogoDecode)->Unit (benchmark::kMicrosecond);

// A simulator state in a folder of its own, unless the caller named one.
class SimulatorStateForRun
{
public:
    SimulatorStateForRun()
    {
        if (std::getenv ("VESK2_SIM_STATE") != nullptr)
            return;

        folder = juce::File::createTempFile ("vesk2-paint-benchmark");
        folder.createDirectory();
        const auto path = folder.getChildFile ("state").getFullPathName();

       #if JUCE_WINDOWS
        _putenv_s ("VESK2_SIM_STATE", path.toRawUTF8());
       #else
        setenv ("VESK2_SIM_STATE", path.toRawUTF8(), 1);
       #endif
    }

    ~SimulatorStateForRun()
    {
        if (folder != juce::File())
            folder.deleteRecursively();
    }

private:
    juce::File folder;
};
double millisecondsOf (const std::function<void()>& work)
{
    const auto start = juce::Time::getHighResolutionTicks();
    work();
    return juce::Time::highResolutionTicksToSeconds (juce::Time::getHighResolutionTicks() - start) * 1000.0;
}

int runColdStart()
{
    const auto fontScanMs = millisecondsOf ([] { juce::Font::findAllTypefaceNames(); });

    MainWindowContent panel;
    panel.setSize (panelWidth, panelHeight);
    auto canvas = makeCanvas();

    const auto paintOnce = [&]
    {
        juce::Graphics g (canvas);
        panel.paint (g);
    };

    const auto decoderRunsBefore = jpegDecoderRuns.load();
    const auto firstPaintMs = millisecondsOf (paintOnce);
    const auto decoderRuns = jpegDecoderRuns.load() - decoderRunsBefore;
    const auto secondPaintMs = millisecondsOf (paintOnce);

    std::printf ("{\"font_scan_ms\": %.3f, \"first_paint_ms\": %.3f, \"second_paint_ms\": %.3f, "
                 "\"jpeg_decoder_runs\": %lld}\n",
                 fontScanMs, firstPaintMs, secondPaintMs, (long long) decoderRuns);
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    if (argc == 2 && std::strcmp (argv[1], "--cold-start") == 0)
    {
        SimulatorStateForRun simulatorState;
        juce::ScopedJuceInitialiser_GUI juce;
        return runColdStart();
    }

    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    SimulatorStateForRun simulatorState;

    {
        // The panel is a component: it needs the message thread, which this one becomes.
        juce::ScopedJuceInitialiser_GUI juce;
        benchmark::RunSpecifiedBenchmarks();
    }

    benchmark::Shutdown();
    return 0;
}
