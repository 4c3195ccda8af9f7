#include "ColourRegistry.h"

namespace gif2swf {

ColourRegistry::ColourRegistry(uint32_t stage) {
    ids_.reserve(1024);
    idOf(0x00000000u); // kTransparent
    idOf(stage);       // kStage
}

uint32_t ColourRegistry::idOf(uint32_t colour) {
    const auto known = ids_.find(colour);
    if (known != ids_.end()) {
        return known->second;
    }
    const uint32_t id = size_.load(std::memory_order_relaxed);
    std::unique_ptr<uint32_t[]>& chunk = chunks_[id >> kChunkBits];
    if (!chunk) {
        chunk.reset(new uint32_t[size_t{1} << kChunkBits]);
    }
    chunk[id & kChunkMask] = colour;
    ids_.emplace(colour, id);
    size_.store(id + 1, std::memory_order_release);
    return id;
}

void ColourRegistry::toIds(std::array<uint32_t, 256>& table) {
    // Most images share the global table: one comparison instead of 256 lookups.
    if (hasLast_ && table == lastTable_) {
        table = lastIds_;
        return;
    }
    lastTable_ = table;
    for (uint32_t& entry : table) {
        entry = idOf(entry);
    }
    lastIds_ = table;
    hasLast_ = true;
}

} // namespace gif2swf
