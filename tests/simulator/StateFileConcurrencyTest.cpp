#include "SimTestSupport.h"

#include <regex>
#include <set>
#include <thread>

using namespace simtest;
using namespace vesk2sim;

class StateFileConcurrency : public SimulatorTest {};

TEST_F (StateFileConcurrency, ToolProcessesAndLibraryWritersLoseNoUpdateAndReadersNeverSeeATornFile)
{
    constexpr int plugProcesses = 8;
    constexpr int plugThreads = 4;
    constexpr uint32_t librarySets = 60;

    // A version no default has: a reader that ever gets the default state back has
    // read a half-written file.
    ASSERT_EQ (tool ({ "set", "driver-version", "7.3" }), toolSuccess);

    std::atomic<bool> writing { true };
    std::atomic<int> reads { 0 }, badReads { 0 };
    std::string firstBadRead;

    std::thread reader ([&]
    {
        do
        {
            auto loaded = StateStore (statePath.string()).load();
            TUsbAudioDriverInfo info {};
            auto status = TUSBAUDIO_GetDriverInfo (&info);

            if (! loaded.error.empty() || loaded.missing || status != 0 || info.versionMajor != 7 || info.versionMinor != 3)
                if (badReads++ == 0)
                    firstBadRead = loaded.error;

            ++reads;
        }
        while (writing);
    });

    std::vector<std::thread> writers;
    std::vector<int> exitCodes (plugProcesses + plugThreads, -1);

    for (int i = 0; i < plugProcesses; ++i)
        writers.emplace_back ([&, i] { exitCodes[i] = runToolProcess ("plug", folder / ("plug" + std::to_string (i))); });

    for (int i = 0; i < plugThreads; ++i)
        writers.emplace_back ([&, i] { exitCodes[plugProcesses + i] = runQuietly ({ "plug", "--product-id", "17" }); });

    for (uint32_t i = 0; i < librarySets; ++i)
    {
        EXPECT_EQ (TUSBAUDIO_SetASIOBufferSize (100 + i), 0u);
        EXPECT_EQ (TUSBAUDIO_SetUsbStreamingMode (i % 2 == 0 ? 8 : 16), 0u);
    }

    for (auto& w : writers)
        w.join();

    writing = false;
    reader.join();

    EXPECT_EQ (exitCodes, std::vector<int> (exitCodes.size(), toolSuccess));
    EXPECT_EQ (badReads, 0) << firstBadRead;
    EXPECT_GT (reads, 0);

    auto s = state();
    EXPECT_EQ (s.asioBufferSize, 100 + librarySets - 1);
    EXPECT_EQ (s.streamingMode, 16u);
    EXPECT_EQ (s.driverMajor, 7u);
    ASSERT_EQ (s.interfaces.size(), 1u + plugProcesses + plugThreads);

    std::set<uint32_t> serials;
    int seventeens = 0;

    for (auto& i : s.interfaces)
    {
        serials.insert (i.serial);
        seventeens += i.productId == 17 ? 1 : 0;
    }

    EXPECT_EQ (serials.size(), s.interfaces.size());
    EXPECT_EQ (seventeens, plugThreads);

    // Each process was told a different index.
    std::set<std::string> printed;

    for (int i = 0; i < plugProcesses; ++i)
        printed.insert (readFile (folder / ("plug" + std::to_string (i))));

    EXPECT_EQ (printed.size(), static_cast<size_t> (plugProcesses));
}

TEST_F (StateFileConcurrency, LogLinesFromConcurrentCallersStayWhole)
{
    constexpr int threads = 4, callsEach = 200;
    std::vector<std::thread> callers;

    for (int t = 0; t < threads; ++t)
        callers.emplace_back ([]
        {
            for (int i = 0; i < callsEach; ++i)
            {
                uint32_t size;
                TUSBAUDIO_GetMinimumASIOBufferSize (static_cast<uint32_t> (i * 1000), &size);
            }
        });

    for (auto& c : callers)
        c.join();

    auto lines = logLines();
    ASSERT_EQ (lines.size(), static_cast<size_t> (threads * callsEach));
    std::regex whole ("^[0-9]{16} TUSBAUDIO_GetMinimumASIOBufferSize [0-9]+ -> 0 minimum=(64|128|256)$");

    for (auto& line : lines)
        ASSERT_TRUE (std::regex_match (line, whole)) << line;
}
