// Frames, hashes and host-style calls shared by the tests.
#include "support/test_frames.h"

#include <cstring>
#include <new>
#include <sstream>

#include "plugin/host_call.h"
#include "plugin/plugin_table.h"

bool operator==(const PIXEL_YC& a, const PIXEL_YC& b) {
    return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}

void PrintTo(const PIXEL_YC& p, std::ostream* os) {
    *os << "(" << p.y << ", " << p.cb << ", " << p.cr << ")";
}

namespace trelvane::test {

uint32_t Rng::Next() {
    uint32_t z = (state_ += 0x9E3779B9u);
    z = (z ^ (z >> 16)) * 0x85EBCA6Bu;
    z = (z ^ (z >> 13)) * 0xC2B2AE35u;
    return z ^ (z >> 16);
}

int Rng::Between(int lo, int hi) {
    const uint32_t span = static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u;
    const uint32_t offset = span == 0 ? Next() : Next() % span;
    return static_cast<int>(static_cast<uint32_t>(lo) + offset);
}

int16_t Rng::Extreme16() {
    static constexpr int16_t kEdges[] = {-32768, -32767, 32767, 0};
    const uint32_t pick = Next() % 8;
    return pick < 4 ? kEdges[pick] : static_cast<int16_t>(Between(-32768, 32767));
}

OwnedFrame MakeRandomFrame(int w, int h, int pitch, uint32_t seed, int chromaLimit) {
    OwnedFrame frame{w, h, pitch, {}};
    frame.pixels.resize(static_cast<size_t>(h > 0 && pitch > 0 ? h * pitch : 1));
    Rng rng(seed);
    for (PIXEL_YC& p : frame.pixels) {
        p.y = static_cast<int16_t>(rng.Between(-32768, 32767));
        p.cb = static_cast<int16_t>(rng.Between(-chromaLimit, chromaLimit));
        p.cr = static_cast<int16_t>(rng.Between(-chromaLimit, chromaLimit));
    }
    return frame;
}

uint64_t FrameHash(const OwnedFrame& frame) {
    uint64_t hash = 0xCBF29CE484222325ull;
    const auto mix = [&hash](int16_t v) {
        const auto bits = static_cast<uint16_t>(v);
        for (const uint16_t byte : {static_cast<uint16_t>(bits & 0xFF), static_cast<uint16_t>(bits >> 8)}) {
            hash ^= byte;
            hash *= 0x100000001B3ull;
        }
    };
    for (int r = 0; r < frame.h; ++r) {
        for (int c = 0; c < frame.w; ++c) {
            const PIXEL_YC& p = frame.At(r, c);
            mix(p.y);
            mix(p.cb);
            mix(p.cr);
        }
    }
    return hash;
}

::testing::AssertionResult SamePixels(const OwnedFrame& expected, const OwnedFrame& actual) {
    if (expected.pixels.size() != actual.pixels.size() || expected.pitch != actual.pitch) {
        return ::testing::AssertionFailure() << "frames of different layout";
    }
    for (size_t k = 0; k < expected.pixels.size(); ++k) {
        if (!(expected.pixels[k] == actual.pixels[k])) {
            std::ostringstream what;
            what << "first difference at row " << k / expected.pitch << ", column "
                 << k % expected.pitch << ": expected ";
            PrintTo(expected.pixels[k], &what);
            what << ", got ";
            PrintTo(actual.pixels[k], &what);
            return ::testing::AssertionFailure() << what.str();
        }
    }
    return ::testing::AssertionSuccess();
}

int RunLikeHost(const int (&track)[3], const int (&check)[3], OwnedFrame& frame) {
    trelvane::FilterSettings settings;
    settings.mode = track[0];
    settings.strength = track[1];
    settings.noise = track[2];
    settings.line640 = check[0];
    settings.mmx = check[1];
    settings.test = check[2];
    return trelvane::CallFuncProcLikeHost(settings, {frame.pixels.data(), frame.w, frame.h, frame.pitch});
}

namespace {

AllocationLog gLog;

void* CountingAllocate(size_t bytes, size_t alignment) {
    const int index = gLog.allocations++;
    gLog.sizes.push_back(bytes);
    gLog.alignments.push_back(alignment);
    if (gLog.refuseAll || index == gLog.failAt) return nullptr;
    void* block = ::operator new(bytes, std::align_val_t{alignment}, std::nothrow);
    if (block != nullptr) {
        std::memset(block, 0xA5, bytes);
        gLog.live[block] = alignment;
    }
    return block;
}

void CountingRelease(void* block) {
    ++gLog.releases;
    const auto found = gLog.live.find(block);
    ASSERT_NE(found, gLog.live.end()) << "released a block the allocator did not hand out";
    ::operator delete(block, std::align_val_t{found->second});
    gLog.live.erase(found);
}

}  // namespace

void BufferTest::SetUp() {
    ReleaseWorkBuffers(nullptr);
    gLog = AllocationLog{};
    SetWorkBufferAllocator(CountingAllocate, CountingRelease);
}

void BufferTest::TearDown() {
    ReleaseWorkBuffers(buffers);
    ReleaseWorkBuffers(nullptr);
    EXPECT_TRUE(gLog.live.empty()) << gLog.live.size() << " blocks never released";
    SetWorkBufferAllocator(nullptr, nullptr);
}

AllocationLog& BufferTest::Log() {
    return gLog;
}

}  // namespace trelvane::test
