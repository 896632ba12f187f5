/*
    The simulated driver: the 15 functions of tusbaudioapi.h, working on the state
    file that vesk2-sim changes.

    Every call reads $VESK2_SIM_STATE and $VESK2_SIM_LOG afresh, reads the state,
    and logs one line. One mutex serialises the calls and guards the snapshot, the
    open handles and the registration; the notification thread never takes it.
*/
#include "device/tusbaudioapi.h"

#include "simulator/CallLogEntry.h"
#include "simulator/PnpWatcher.h"
#include "simulator/SimFiles.h"
#include "simulator/SimulatorStatus.h"
#include "simulator/StateStore.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace
{
    using namespace vesk2sim;

    struct Driver
    {
        std::mutex mutex;
        std::vector<uint32_t> snapshot;                     // serials, by driver index
        std::map<TUsbAudioHandle, uint32_t> openHandles;    // handle -> serial of its interface
        TUsbAudioHandle lastHandle = 0;
        std::unique_ptr<PnpWatcher> watcher;

        // A process that exits while registered stops and joins the thread here, before
        // the libraries it calls into are torn down.
        ~Driver()
        {
            std::lock_guard<std::mutex> lock (mutex);
            watcher.reset();
        }
    };

    Driver& driver()
    {
        static Driver instance;
        return instance;
    }

    // One driver call from entry to log line, with the driver's mutex held throughout.
    class Call
    {
    public:
        explicit Call (const char* functionName)
            : name (functionName),
              entry (functionName),
              lock (driver().mutex),
              store (StateStore::pathFromEnvironment()),
              logPath (getEnvironment ("VESK2_SIM_LOG").value_or (std::string())),
              loaded (store.load())
        {
        }

        Call& in (uint64_t value)
        {
            entry.addIn (value);
            return *this;
        }

        Call& out (const char* key, uint64_t value)
        {
            entry.addOut (key, value);
            return *this;
        }

        Call& outHex (const char* key, uint32_t value)
        {
            entry.addOutHex (key, value);
            return *this;
        }

        std::optional<uint32_t> injectedFailure() const
        {
            return loaded.state.injectedFailure (name);
        }

        const SimState& state() const  { return loaded.state; }
        const StateStore& getStore() const  { return store; }
        const std::string& getLogPath() const  { return logPath; }

        uint32_t finish (uint32_t status)
        {
            CallLogEntry::append (logPath, entry.toLine (microsecondsSinceEpoch(), status));
            return status;
        }

        // The interface behind an open handle, or a failure status: a handle that is
        // not open, or whose interface has been unplugged, works no more.
        uint32_t lookUp (TUsbAudioHandle handle, const SimInterface*& interface) const
        {
            auto& handles = driver().openHandles;
            auto found = handles.find (handle);

            if (found == handles.end())
                return statusInvalidHandle;

            interface = loaded.state.findBySerial (found->second);
            return interface != nullptr ? 0u : statusNoSuchDevice;
        }

        uint32_t storeSetting (uint32_t SimState::* field, uint32_t value) const
        {
            auto result = store.update ([&] (SimState& s)
            {
                s.*field = value;
                return true;
            });

            return result.outcome == StateStore::UpdateResult::Outcome::written ? 0u : statusStateNotWritable;
        }

    private:
        std::string_view name;
        CallLogEntry entry;
        std::lock_guard<std::mutex> lock;
        StateStore store;
        std::string logPath;
        StateStore::Loaded loaded;
    };

    uint64_t numberOf (const void* pointer)
    {
        return static_cast<uint64_t> (reinterpret_cast<uintptr_t> (pointer));
    }
}

extern "C"
{

TUsbAudioStatus TUSBAUDIO_EnumerateDevices (void)
{
    Call call ("TUSBAUDIO_EnumerateDevices");

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    auto& snapshot = driver().snapshot;
    snapshot.clear();

    for (auto& i : call.state().interfaces)
        snapshot.push_back (i.serial);

    return call.finish (0);
}

uint32_t TUSBAUDIO_GetDeviceCount (void)
{
    Call call ("TUSBAUDIO_GetDeviceCount");

    // An injected "failure" here is the count to report, whatever the snapshot holds.
    if (auto count = call.injectedFailure())
        return call.finish (*count);

    return call.finish (static_cast<uint32_t> (driver().snapshot.size()));
}

TUsbAudioStatus TUSBAUDIO_OpenDeviceByIndex (uint32_t deviceIndex, TUsbAudioHandle* handle)
{
    Call call ("TUSBAUDIO_OpenDeviceByIndex");
    call.in (deviceIndex);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (handle == nullptr)
        return call.finish (statusInvalidParameter);

    auto& d = driver();

    // The index refers to the last snapshot; the interface must still be there.
    if (deviceIndex >= d.snapshot.size() || call.state().findBySerial (d.snapshot[deviceIndex]) == nullptr)
        return call.finish (statusNoSuchDevice);

    do
        ++d.lastHandle;
    while (d.lastHandle == 0 || d.openHandles.count (d.lastHandle) != 0);

    d.openHandles[d.lastHandle] = d.snapshot[deviceIndex];
    *handle = d.lastHandle;
    call.out ("handle", *handle);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_CloseDevice (TUsbAudioHandle handle)
{
    Call call ("TUSBAUDIO_CloseDevice");
    call.in (handle);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    // Closing works even after the interface was unplugged: it releases the handle.
    return call.finish (driver().openHandles.erase (handle) != 0 ? 0u : statusInvalidHandle);
}

TUsbAudioStatus TUSBAUDIO_GetDeviceUsbMode (TUsbAudioHandle handle, uint32_t* usbMode)
{
    Call call ("TUSBAUDIO_GetDeviceUsbMode");
    call.in (handle);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (usbMode == nullptr)
        return call.finish (statusInvalidParameter);

    const SimInterface* interface = nullptr;

    if (auto status = call.lookUp (handle, interface))
        return call.finish (status);

    *usbMode = interface->usbMode;
    call.out ("mode", *usbMode);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_GetDeviceProperties (TUsbAudioHandle handle, TUsbAudioDeviceProperties* properties)
{
    Call call ("TUSBAUDIO_GetDeviceProperties");
    call.in (handle);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (properties == nullptr)
        return call.finish (statusInvalidParameter);

    const SimInterface* interface = nullptr;

    if (auto status = call.lookUp (handle, interface))
        return call.finish (status);

    std::memset (properties, 0, sizeof (*properties));
    properties->productId = interface->productId;
    properties->firmwareVersion = interface->firmware;
    call.out ("productId", properties->productId).outHex ("firmware", properties->firmwareVersion);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_GetDriverInfo (TUsbAudioDriverInfo* driverInfo)
{
    Call call ("TUSBAUDIO_GetDriverInfo");

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (driverInfo == nullptr)
        return call.finish (statusInvalidParameter);

    std::memset (driverInfo, 0, sizeof (*driverInfo));
    driverInfo->versionMajor = call.state().driverMajor;
    driverInfo->versionMinor = call.state().driverMinor;
    call.out ("major", driverInfo->versionMajor).out ("minor", driverInfo->versionMinor);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_RegisterPnpNotification (void* deviceArrivalEvent, void* deviceRemovalEvent,
                                                   void* windowHandle, uint32_t windowMessage, uint32_t flags)
{
    Call call ("TUSBAUDIO_RegisterPnpNotification");
    call.in (numberOf (deviceArrivalEvent)).in (numberOf (deviceRemovalEvent)).in (numberOf (windowHandle))
        .in (windowMessage).in (flags);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (windowHandle == nullptr)
        return call.finish (statusInvalidParameter);

    // Only window messages are simulated; saying so beats silently never signalling.
    if (deviceArrivalEvent != nullptr || deviceRemovalEvent != nullptr)
        return call.finish (statusNotSupported);

    PnpWatcher::Target target;
    target.window = windowHandle;
    target.message = windowMessage;
    target.statePath = call.getStore().getPath();
    target.logPath = call.getLogPath();

    std::string error;
    auto replacement = PnpWatcher::create (std::move (target), error);

    // A registration that cannot start leaves an earlier one as it was.
    if (replacement == nullptr)
        return call.finish (statusWatchFailed);

    // The earlier thread is joined before the new one starts: one thread, and no
    // change is reported twice.
    auto& d = driver();
    d.watcher.reset();
    d.watcher = std::move (replacement);
    d.watcher->start();
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_UnregisterPnpNotification (void)
{
    Call call ("TUSBAUDIO_UnregisterPnpNotification");

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    auto& d = driver();

    if (d.watcher == nullptr)
        return call.finish (statusNotRegistered);

    d.watcher.reset();
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_GetUsbStreamingMode (uint32_t* mode)
{
    Call call ("TUSBAUDIO_GetUsbStreamingMode");

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (mode == nullptr)
        return call.finish (statusInvalidParameter);

    *mode = call.state().streamingMode;
    call.out ("mode", *mode);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_SetUsbStreamingMode (uint32_t mode)
{
    Call call ("TUSBAUDIO_SetUsbStreamingMode");
    call.in (mode);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (mode != 1 && mode != 2 && mode != 4 && mode != 8 && mode != 16 && mode != 32)
        return call.finish (statusInvalidParameter);

    return call.finish (call.storeSetting (&SimState::streamingMode, mode));
}

TUsbAudioStatus TUSBAUDIO_GetASIOBufferSize (uint32_t* size)
{
    Call call ("TUSBAUDIO_GetASIOBufferSize");

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (size == nullptr)
        return call.finish (statusInvalidParameter);

    *size = call.state().asioBufferSize;
    call.out ("size", *size);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_SetASIOBufferSize (uint32_t size)
{
    Call call ("TUSBAUDIO_SetASIOBufferSize");
    call.in (size);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (size < 16 || size > 8192)
        return call.finish (statusInvalidParameter);

    return call.finish (call.storeSetting (&SimState::asioBufferSize, size));
}

TUsbAudioStatus TUSBAUDIO_GetCurrentSampleRate (TUsbAudioHandle handle, uint32_t* sampleRate)
{
    Call call ("TUSBAUDIO_GetCurrentSampleRate");
    call.in (handle);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    if (sampleRate == nullptr)
        return call.finish (statusInvalidParameter);

    const SimInterface* interface = nullptr;

    if (auto status = call.lookUp (handle, interface))
        return call.finish (status);

    *sampleRate = call.state().sampleRate;
    call.out ("rate", *sampleRate);
    return call.finish (0);
}

TUsbAudioStatus TUSBAUDIO_GetMinimumASIOBufferSize (uint32_t sampleRate, uint32_t* minimumSize)
{
    Call call ("TUSBAUDIO_GetMinimumASIOBufferSize");
    call.in (sampleRate);

    if (auto failure = call.injectedFailure())
        return call.finish (*failure);

    auto minimum = call.state().minimumBufferSizeFor (sampleRate);

    if (minimumSize == nullptr || ! minimum)
        return call.finish (statusInvalidParameter);

    *minimumSize = *minimum;
    call.out ("minimum", *minimumSize);
    return call.finish (0);
}

} // extern "C"
