// Host memory: every block the host gives out is tracked, so the end of a
// call can free what was not kept and a bad free is logged, not performed.
#include "host_state.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

using namespace host_internal;

namespace {

void* TrackBlock(void* block, const BlockRecord& record)
{
    if (block != nullptr)
        State().blocks[block] = record;
    return block;
}

void* AllocateModuleBlock(std::size_t bytes, bool zeroed)
{
    HostState& state = State();
    if (InjectedFailure(state.allocationFailureCountdown, state.allocationsMade))
        return NoMemory();
    void* block = std::malloc(std::max<std::size_t>(bytes, 1));
    if (block == nullptr)
        return NoMemory();
    // Code that forgets mxMalloc does not clear memory reads this pattern instead of zeros.
    std::memset(block, zeroed ? 0 : 0xA5, std::max<std::size_t>(bytes, 1));
    if (state.currentCall != 0)
        state.callBlocks.push_back(block);
    return TrackBlock(block, BlockRecord{state.currentCall, false, nullptr});
}

} // namespace

namespace host_internal {

void* AllocateDataBlock(std::size_t bytes, mxArray* holder)
{
    // Empty arrays still own a real block, as some hosts' do.
    return TrackBlock(std::calloc(std::max<std::size_t>(bytes, 1), 1), BlockRecord{0, false, holder});
}

void FreeBlock(void* block)
{
    State().blocks.erase(block);
    std::free(block);
}

bool Holds(const mxArray* array, void* block)
{
    auto found = State().blocks.find(block);
    return block != nullptr && found != State().blocks.end() && found->second.holder == array;
}

// The array lets go of its data without freeing it: the block leaks unless freed.
void ReleaseData(mxArray* array, void*& data)
{
    if (Holds(array, data))
        State().blocks[data] = BlockRecord{};
    data = nullptr;
}

} // namespace host_internal

void mexMakeMemoryPersistent(void* block)
{
    auto found = State().blocks.find(block);
    if (found == State().blocks.end() || found->second.holder != nullptr) {
        LogMisuse("mexMakeMemoryPersistent: not a block from mxCalloc or mxMalloc");
        return;
    }
    found->second.persistent = true;
}

void* mxCalloc(std::size_t count, std::size_t size)
{
    if (size != 0 && count > std::numeric_limits<std::size_t>::max() / size)
        return NoMemory();
    return AllocateModuleBlock(count * size, true);
}

void* mxMalloc(std::size_t size)
{
    return AllocateModuleBlock(size, false);
}

void mxFree(void* block)
{
    if (block == nullptr)
        return;
    if (State().blocks.count(block) == 0) {
        LogMisuse("mxFree: not a live block from this host");
        return;
    }
    FreeBlock(block);
}
