// The shipped trelvane.auf run the way the host runs it: mapped from its
// file, its imports bound to stand-ins, its entry point and TLS callbacks run
// for process attach and detach, and GetFilterTable, func_proc and func_exit
// called with the stack pointer at 0, 4, 8 and 12 modulo 16 (Win32 promises
// only 4). Every frame must equal what the same source, built for i386 and
// linked in here, makes of it.
#include <gtest/gtest.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <string>
#include <vector>

#include "frame/frame_driver.h"
#include "plugin/host_loader/pe_image.h"
#include "plugin/host_loader/stand_ins.h"
#include "plugin/plugin_table.h"
#include "support/test_frames.h"
#include "support/test_seed.h"

extern "C" uint32_t CallAtStackOffset(uint32_t fn, uint32_t offset, const uint32_t* args, uint32_t argc,
                                      uint32_t* popped);

namespace trelvane::host {
namespace {

constexpr uint32_t kProcessDetach = 0;
constexpr uint32_t kProcessAttach = 1;

template <typename T>
uint32_t Address(T* p) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p));
}

// Random frames: the seed is printed, and TRELVANE_SEED replays it.
uint32_t Seed() {
    static const uint32_t seed = [] {
        const uint32_t s = test::TestSeed();
        std::printf("%s\n", test::SeedTrace(s).c_str());
        return s;
    }();
    return seed;
}

// Luma anywhere; chroma within +-8000 or, for `extreme`, often at the ends
// of the 16-bit range.
test::OwnedFrame RandomFrame(int w, int h, int pitch, uint32_t salt, bool extreme) {
    test::OwnedFrame frame = test::MakeRandomFrame(w, h, pitch, Seed() ^ salt);
    test::Rng rng(Seed() + salt);
    if (extreme) {
        for (PIXEL_YC& p : frame.pixels) {
            p.cb = rng.Extreme16();
            p.cr = rng.Extreme16();
        }
    }
    return frame;
}

// A fault inside the DLL ends the test with the address, relative to the
// image, so that it can be found in the unstripped file's disassembly.
uint32_t gImageBase = 0;
void ReportFault(int signal, siginfo_t*, void* context) {
    const auto eip = static_cast<uint32_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_EIP]);
    std::fprintf(stderr, "signal %d at %#x, trelvane.auf RVA %#x\n", signal, eip, eip - gImageBase);
    _exit(128 + signal);
}

// What the i386 build of the same source makes of the frame.
test::OwnedFrame Reference(test::OwnedFrame frame, const FilterSettings& s, int* result) {
    static WorkBuffers buffers;  // like the plug-in's: kept for the process
    *result = ProcessFrameWith(buffers, s, frame.View());
    return frame;
}

// One loaded copy of the DLL per test, attached and detached at the stack
// offset the test runs at.
class LoadedPlugin : public ::testing::TestWithParam<uint32_t> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dll_.Load(TRELVANE_PLUGIN_DLL, StandInFor, InstallThreadBlock()))
            << dll_.error() << " (the plug-in comes from the mingw preset: build it first)";
        DllAlignedHeap() = AlignedHeap{};
        gImageBase = dll_.base();
        struct sigaction onFault {};
        onFault.sa_sigaction = ReportFault;
        onFault.sa_flags = SA_SIGINFO;
        for (const int sig : {SIGSEGV, SIGBUS, SIGILL}) sigaction(sig, &onFault, nullptr);
        RunProcessHooks(kProcessAttach);
        const uint32_t getTable = dll_.Export("GetFilterTable");
        ASSERT_NE(getTable, 0u);
        table_ = reinterpret_cast<FILTER_DLL*>(static_cast<uintptr_t>(Call(getTable, {}, 0)));
        ASSERT_EQ(Call(getTable, {}, 0), Address(table_)) << "GetFilterTable gives one table";
        // The host's FILTER: the table's head with the host's current values.
        filter_ = *table_;
        filter_.track = track_;
        filter_.check = check_;
    }

    void TearDown() override {
        if (table_ == nullptr) return;
        EXPECT_EQ(Call(Address(filter_.func_exit), {Address(&filter_)}, 0), 1);
        EXPECT_TRUE(DllAlignedHeap().live.empty()) << "func_exit left blocks";
        RunProcessHooks(kProcessDetach);
    }

    // As the system loader does: TLS callbacks first, then the entry point,
    // both stdcall (hinstance, reason, reserved).
    void RunProcessHooks(uint32_t reason) {
        for (const uint32_t callback : dll_.tlsCallbacks()) Call(callback, {dll_.base(), reason, 0}, 12);
        EXPECT_EQ(Call(dll_.base() + dll_.entryPoint(), {dll_.base(), reason, 0}, 12), 1u);
    }

    // A call at this test's stack offset; `pops` is what the callee must
    // remove itself (0 for cdecl).
    uint32_t Call(uint32_t fn, std::initializer_list<uint32_t> args, uint32_t pops) {
        uint32_t popped = ~0u;
        const std::vector<uint32_t> words(args);
        const uint32_t result = CallAtStackOffset(fn, GetParam(), words.data(), static_cast<uint32_t>(words.size()), &popped);
        EXPECT_EQ(popped, pops) << "the callee removed the wrong number of argument bytes";
        return result;
    }

    int FuncProc(const FilterSettings& s, test::OwnedFrame& frame) {
        track_[0] = s.mode, track_[1] = s.strength, track_[2] = s.noise;
        check_[0] = s.line640, check_[1] = s.mmx, check_[2] = s.test;
        FILTER_PROC_INFO info{};
        info.ycp_edit = frame.pixels.data();
        info.w = info.org_w = frame.w;
        info.h = info.max_h = info.org_h = frame.h;
        info.max_w = frame.pitch;
        return static_cast<int>(Call(Address(filter_.func_proc), {Address(&filter_), Address(&info)}, 0));
    }

    // The frame through the DLL equals the reference, result included.
    void ExpectLikeCore(const FilterSettings& s, test::OwnedFrame frame) {
        int want = -1;
        const test::OwnedFrame expected = Reference(frame, s, &want);
        EXPECT_EQ(FuncProc(s, frame), want);
        EXPECT_TRUE(test::SamePixels(expected, frame));
    }

    PeImage dll_;
    FILTER_DLL* table_ = nullptr;
    FILTER filter_{};
    int track_[3] = {};
    int check_[3] = {};
};

// The table in the DLL declares what the core build's table declares.
TEST_P(LoadedPlugin, TableMatchesTheCoreBuild) {
    const FILTER_DLL& core = *GetFilterTable();
    EXPECT_EQ(table_->flag, core.flag);
    EXPECT_STREQ(table_->name, core.name);
    EXPECT_STREQ(table_->information, core.information);
    ASSERT_EQ(table_->track_n, core.track_n);
    for (int i = 0; i < core.track_n; ++i) {
        EXPECT_STREQ(table_->track_name[i], core.track_name[i]);
        EXPECT_EQ(table_->track_default[i], core.track_default[i]);
        EXPECT_EQ(table_->track_s[i], core.track_s[i]);
        EXPECT_EQ(table_->track_e[i], core.track_e[i]);
    }
    ASSERT_EQ(table_->check_n, core.check_n);
    for (int i = 0; i < core.check_n; ++i) {
        EXPECT_STREQ(table_->check_name[i], core.check_name[i]);
        EXPECT_EQ(table_->check_default[i], core.check_default[i]);
    }
    EXPECT_EQ(table_->func_init, nullptr);
    EXPECT_EQ(table_->func_update, nullptr);
    EXPECT_EQ(table_->func_WndProc, nullptr);
}

// Every mode with both line kernels, both paths, the test pattern on and
// off, over odd widths, heights that are not a multiple of 4, rows narrower
// than two pixels, pitch above width and extreme chroma; and two frames of
// broadcast size.
TEST_P(LoadedPlugin, FramesMatchTheCoreBuild) {
    struct Shape {
        int w, h, pitch;
        bool extreme;
    };
    const Shape kShapes[] = {{33, 11, 40, false}, {8, 4, 8, true}, {21, 9, 21, true}, {1, 6, 3, false}, {64, 7, 70, true}};
    test::Rng rng(Seed());
    int combination = 0;
    for (int mode = 0; mode <= 4; ++mode) {
        for (const int line640 : {0, 1}) {
            for (const int mmx : {0, 1}) {
                for (const int testOn : {0, 1}) {
                    const Shape& shape = kShapes[combination % std::size(kShapes)];
                    const FilterSettings s{mode, rng.Between(0, 128), rng.Between(0, 128), line640, mmx, testOn};
                    SCOPED_TRACE(::testing::Message() << "mode " << mode << " strength " << s.strength << " noise "
                                                      << s.noise << " 640 " << line640 << " MMX " << mmx << " test "
                                                      << testOn << ", " << shape.w << "x" << shape.h << " pitch "
                                                      << shape.pitch << (shape.extreme ? ", extreme chroma" : ""));
                    ExpectLikeCore(s, RandomFrame(shape.w, shape.h, shape.pitch, ++combination, shape.extreme));
                }
            }
        }
    }
    ExpectLikeCore({.mode = 4}, RandomFrame(720, 486, 736, 100, false));
    ExpectLikeCore({.mode = 3, .strength = 96, .line640 = 0, .mmx = 0}, RandomFrame(720, 480, 720, 101, true));
}

// The plug-in's faults, through the DLL's own code: func_exit before any
// frame; an allocation refused once (func_proc gives 0 and leaves the frame
// alone, the next frame allocates afresh and is filtered); a hundred frames
// each with a pitch of its own; func_exit twice.
TEST_P(LoadedPlugin, FaultPathsThroughTheDll) {
    AlignedHeap& heap = DllAlignedHeap();
    EXPECT_EQ(Call(Address(filter_.func_exit), {Address(&filter_)}, 0), 1u);
    EXPECT_EQ(heap.allocations, 0);

    const FilterSettings mode4{.mode = 4};
    test::OwnedFrame frame = RandomFrame(21, 9, 24, 200, false);
    const test::OwnedFrame before = frame;
    heap.refuse = 1;
    EXPECT_EQ(FuncProc(mode4, frame), 0);
    EXPECT_TRUE(test::SamePixels(before, frame));
    EXPECT_TRUE(heap.live.empty()) << "blocks of the failed allocation kept";
    ExpectLikeCore(mode4, frame);
    EXPECT_EQ(heap.live.size(), 4u);

    const int allocations = heap.allocations;
    for (int i = 0; i < 100; ++i) {
        const int pitch = 8 + (i * 37) % 200;  // differs from the frame before
        const FilterSettings s{2 + i % 3, 80, 48, i % 2, (i / 2) % 2, 0};
        SCOPED_TRACE("pitch " + std::to_string(pitch));
        ExpectLikeCore(s, RandomFrame(pitch - i % 3, 4 + i % 5, pitch, 300 + i, i % 4 == 0));
        ASSERT_EQ(heap.live.size(), 4u);
    }
    EXPECT_EQ(heap.allocations, allocations + 400);

    EXPECT_EQ(Call(Address(filter_.func_exit), {Address(&filter_)}, 0), 1u);
    EXPECT_TRUE(heap.live.empty());
    const int releases = heap.releases;
    EXPECT_EQ(Call(Address(filter_.func_exit), {Address(&filter_)}, 0), 1u);
    EXPECT_EQ(heap.releases, releases);
}

INSTANTIATE_TEST_SUITE_P(StackOffsets, LoadedPlugin, ::testing::Values(0u, 4u, 8u, 12u),
                         [](const auto& p) { return "EspMod16Is" + std::to_string(p.param); });

// A DLL that imports something without a stand-in is not run: the load
// fails and names the import, so a new dependency of the plug-in is noticed.
TEST(HostLoader, ImportWithoutStandInIsNamed) {
    const auto withholding = [](const std::string& dll, const std::string& name) {
        return name == "_aligned_malloc" ? nullptr : StandInFor(dll, name);
    };
    PeImage dll;
    EXPECT_FALSE(dll.Load(TRELVANE_PLUGIN_DLL, withholding, InstallThreadBlock()));
    EXPECT_EQ(dll.error(), "imports without a stand-in: msvcrt.dll!_aligned_malloc");
}

}  // namespace
}  // namespace trelvane::host
