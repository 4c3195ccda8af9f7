#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <unordered_map>

// Numbers the colours of a conversion. Every colour of the GIFs' colour tables gets a small
// id, and the pictures hold ids instead of colours: comparing and patching work the same on
// them, and laying out a palette bitmap looks an id up in an array instead of hashing its
// colour. Ids are added by the decoding thread only; the other threads read the colours of
// the ids in the pictures handed to them, which were added before the hand-over.
namespace gif2swf {

class ColourRegistry {
public:
    static constexpr uint32_t kTransparent = 0; // colour 0: nothing drawn
    static constexpr uint32_t kStage = 1;       // the stage, where nothing has been drawn

    // `stage`: the stage's colour (0xAARRGGBB, opaque), which kStage stands for.
    explicit ColourRegistry(uint32_t stage = 0xFFFFFFFFu);

    // The id of a colour (0xAARRGGBB, alpha 0 or 255), added when new.
    uint32_t idOf(uint32_t colour);
    // Turns a colour table into ids in place, quickly when it is the table of last time.
    void toIds(std::array<uint32_t, 256>& table);
    uint32_t colour(uint32_t id) const { return chunks_[id >> kChunkBits][id & kChunkMask]; }
    // How many ids there are; every id in a picture handed over is below it.
    uint32_t size() const { return size_.load(std::memory_order_acquire); }

private:
    // Chunks that never move, so that other threads read while ids are added.
    static constexpr uint32_t kChunkBits = 16;
    static constexpr uint32_t kChunkMask = (1u << kChunkBits) - 1;
    static constexpr size_t kChunks = 257; // 2^24 colours, transparent, and room

    std::array<std::unique_ptr<uint32_t[]>, kChunks> chunks_;
    std::atomic<uint32_t> size_{0};
    std::unordered_map<uint32_t, uint32_t> ids_;
    std::array<uint32_t, 256> lastTable_{};
    std::array<uint32_t, 256> lastIds_{};
    bool hasLast_ = false;
};

} // namespace gif2swf
