#include "simulator/PnpWatcher.h"

#include "simulator/CallLogEntry.h"
#include "simulator/SimFiles.h"
#include "simulator/StateStore.h"

#include "device/tusbaudioapi.h"
#include "platform/Win32Api.h"

#include <algorithm>

namespace vesk2sim
{

std::unique_ptr<PnpWatcher> PnpWatcher::create (Target target, std::string& error)
{
    std::unique_ptr<PnpWatcher> watcher (new PnpWatcher (std::move (target)));

    if (! watcher->watcher.isValid())
    {
        error = watcher->watcher.getError();
        return nullptr;
    }

    // Read after the watch exists, so a change between the two is seen twice at
    // worst (and compares equal the second time), never missed.
    watcher->seen = watcher->readConnectedSerials();
    return watcher;
}

PnpWatcher::PnpWatcher (Target t)
    : target (std::move (t)),
      watcher (target.statePath)
{
}

PnpWatcher::~PnpWatcher()
{
    watcher.stop();

    if (thread.joinable())
        thread.join();
}

void PnpWatcher::start()
{
    thread = std::thread ([this] { run(); });
}

std::vector<uint32_t> PnpWatcher::readConnectedSerials() const
{
    // An unreadable file counts as the default state, as it does for every driver call.
    auto loaded = StateStore (target.statePath).load();
    std::vector<uint32_t> serials;

    for (auto& i : loaded.state.interfaces)
        serials.push_back (i.serial);

    return serials;
}

void PnpWatcher::run()
{
    while (watcher.waitForChange() == DirectoryWatcher::Wake::changed)
    {
        auto now = readConnectedSerials();
        auto isIn = [] (const std::vector<uint32_t>& set, uint32_t serial)
        {
            return std::find (set.begin(), set.end(), serial) != set.end();
        };

        // Removals first: when changes pile up, the last message is an arrival, after
        // which a listener that rescans finds the interfaces that are really there.
        for (auto serial : seen)
            if (! isIn (now, serial))
                post (TUSBAUDIO_PNP_DEVICE_REMOVED);

        for (auto serial : now)
            if (! isIn (seen, serial))
                post (TUSBAUDIO_PNP_DEVICE_ARRIVED);

        seen = std::move (now);
    }
}

void PnpWatcher::post (uint64_t wParam)
{
    // Logged before posting, so whoever receives the message finds the line already there.
    CallLogEntry::append (target.logPath, CallLogEntry::postLine (microsecondsSinceEpoch(), target.message, wParam));

    if (PostMessageA (static_cast<HWND> (target.window), target.message, static_cast<WPARAM> (wParam), 0) == 0)
        CallLogEntry::append (target.logPath, std::to_string (microsecondsSinceEpoch()) + " POST-FAILED "
                                                  + std::to_string (target.message) + " " + std::to_string (wParam) + "\n");
}

} // namespace vesk2sim
