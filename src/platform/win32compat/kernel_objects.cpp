#include "kernel_objects.h"

#include "kernel_testing.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace kernel {
namespace {

class Event final : public Object {
  public:
    Event(bool manualReset, bool signalled) : manualReset(manualReset), signalled(signalled) {}
    const bool manualReset;
    bool signalled; // guarded by g_mutex
};

// The events of one wait, held while it lasts. On the waiting thread's stack,
// so that a wait allocates nothing, and no thread-local with a destructor
// keeps the library that holds this code mapped after it is unloaded.
struct WaitSet {
    std::array<std::shared_ptr<Event>, MAXIMUM_WAIT_OBJECTS> slots;
    DWORD count = 0;

    const std::shared_ptr<Event>* begin() const { return slots.data(); }
    const std::shared_ptr<Event>* end() const { return slots.data() + count; }
    const std::shared_ptr<Event>& operator[](DWORD index) const { return slots[index]; }
};

// A thread in a wait, and the events it waits for. A signal wakes only the
// waiters of its event: a thread waiting for a read is not woken by each of
// a hundred queued writes as they complete.
struct Waiter {
    const WaitSet* events;
    std::condition_variable woken;
};

// One lock for every object: waits span several events and the traffic is a
// handful of transfers per port.
std::mutex g_mutex;
std::vector<Waiter*> g_waiters; // guarded by g_mutex
std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> g_objects;
std::uintptr_t g_nextHandle = 0x1000;
WaitHook g_waitHook;
std::atomic<bool> g_hasWaitHook{false};
thread_local DWORD t_lastError = ERROR_SUCCESS;
int g_failingEventCreations = 0; // guarded by g_mutex
int g_failingWaits = 0;          // guarded by g_mutex

std::uintptr_t Key(HANDLE handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

std::shared_ptr<Event> LookupEventLocked(HANDLE handle)
{
    auto found = g_objects.find(Key(handle));
    if (found == g_objects.end())
        return nullptr;
    const Object* object = found->second.get();
    if (typeid(*object) != typeid(Event))
        return nullptr;
    return std::static_pointer_cast<Event>(found->second);
}

bool Satisfied(const WaitSet& events, bool waitAll, DWORD& index)
{
    for (DWORD i = 0; i < events.count; ++i) {
        if (events[i]->signalled && !waitAll) {
            index = i;
            return true;
        }
        if (!events[i]->signalled && waitAll)
            return false;
    }
    index = 0;
    return waitAll;
}

void ConsumeSignals(const WaitSet& events, bool waitAll, DWORD index)
{
    if (!waitAll) {
        if (!events[index]->manualReset)
            events[index]->signalled = false;
        return;
    }
    for (auto& event : events)
        if (!event->manualReset)
            event->signalled = false;
}

// Whether the wait was satisfied before the time ran out.
bool SleepUntilSatisfied(std::unique_lock<std::mutex>& lock, const WaitSet& events, bool waitAll,
                         DWORD milliseconds, DWORD& index)
{
    Waiter waiter{&events, {}};
    g_waiters.push_back(&waiter);
    auto ready = [&] { return Satisfied(events, waitAll, index); };
    bool satisfied = true;
    if (milliseconds == INFINITE)
        waiter.woken.wait(lock, ready);
    else
        satisfied = waiter.woken.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
    g_waiters.erase(std::find(g_waiters.begin(), g_waiters.end(), &waiter));
    return satisfied;
}

void WakeWaitersOf(const Event* event)
{
    for (Waiter* waiter : g_waiters)
        for (const auto& waited : *waiter->events)
            if (waited.get() == event) {
                waiter->woken.notify_one();
                break;
            }
}

// A copy, taken under the lock: the hook may replace or remove itself while
// it runs, and a test may set it from another thread. Without a hook, no lock.
WaitHook CurrentWaitHook()
{
    if (!g_hasWaitHook.load(std::memory_order_acquire))
        return {};
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_waitHook;
}

DWORD Wait(const HANDLE* objects, DWORD count, bool waitAll, DWORD milliseconds)
{
    if (WaitHook hook = CurrentWaitHook())
        hook(objects, count, waitAll, milliseconds);
    std::unique_lock<std::mutex> lock(g_mutex);
    if (g_failingWaits > 0) {
        --g_failingWaits;
        t_lastError = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    WaitSet events;
    events.count = count;
    for (DWORD i = 0; i < count; ++i) {
        events.slots[i] = LookupEventLocked(objects[i]);
        if (!events.slots[i]) {
            t_lastError = ERROR_INVALID_HANDLE;
            return WAIT_FAILED;
        }
    }
    DWORD index = 0;
    // A zero time-out only tests the events, as on Windows.
    if (!Satisfied(events, waitAll, index) &&
        (milliseconds == 0 || !SleepUntilSatisfied(lock, events, waitAll, milliseconds, index)))
        return WAIT_TIMEOUT;
    ConsumeSignals(events, waitAll, index);
    return WAIT_OBJECT_0 + index;
}

BOOL SetSignal(HANDLE handle, bool signalled)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto event = LookupEventLocked(handle);
    if (!event) {
        t_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    event->signalled = signalled;
    if (signalled)
        WakeWaitersOf(event.get());
    return TRUE;
}

} // namespace

HANDLE Register(std::shared_ptr<Object> object)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::uintptr_t key = g_nextHandle;
    g_nextHandle += 4;
    g_objects.emplace(key, std::move(object));
    return reinterpret_cast<HANDLE>(key);
}

std::shared_ptr<Object> Lookup(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_objects.find(Key(handle));
    return found == g_objects.end() ? nullptr : found->second;
}

std::size_t LiveObjectCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_objects.size();
}

std::size_t LiveEventCount()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::size_t events = 0;
    for (auto& entry : g_objects)
        events += std::dynamic_pointer_cast<Event>(entry.second) != nullptr;
    return events;
}

void SetWaitHook(WaitHook hook)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // The old hook dies with the parameter, after the lock is released.
    g_waitHook.swap(hook);
    g_hasWaitHook.store(static_cast<bool>(g_waitHook), std::memory_order_release);
}

} // namespace kernel

using kernel::Wait;

void kernel::FailEventCreations(int count)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failingEventCreations = count;
}

void kernel::FailWaits(int count)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_failingWaits = count;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR)
{
    {
        std::lock_guard<std::mutex> lock(kernel::g_mutex);
        if (kernel::g_failingEventCreations > 0) {
            --kernel::g_failingEventCreations;
            kernel::t_lastError = ERROR_NOT_ENOUGH_MEMORY;
            return nullptr;
        }
    }
    return kernel::Register(std::make_shared<kernel::Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event)
{
    return kernel::SetSignal(event, true);
}

BOOL ResetEvent(HANDLE event)
{
    return kernel::SetSignal(event, false);
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    return Wait(&object, 1, false, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* objects, BOOL waitAll, DWORD milliseconds)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || objects == nullptr) {
        kernel::t_lastError = ERROR_INVALID_PARAMETER;
        return WAIT_FAILED;
    }
    return Wait(objects, count, waitAll != FALSE, milliseconds);
}

BOOL CloseHandle(HANDLE handle)
{
    std::shared_ptr<kernel::Object> object;
    {
        std::lock_guard<std::mutex> lock(kernel::g_mutex);
        auto found = kernel::g_objects.find(kernel::Key(handle));
        if (found == kernel::g_objects.end()) {
            kernel::t_lastError = ERROR_INVALID_HANDLE;
            return FALSE;
        }
        object = std::move(found->second);
        kernel::g_objects.erase(found);
    }
    object->Close();
    return TRUE;
}

DWORD GetLastError(void)
{
    return kernel::t_lastError;
}

void SetLastError(DWORD error)
{
    kernel::t_lastError = error;
}
