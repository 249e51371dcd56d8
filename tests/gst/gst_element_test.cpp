// The GStreamer element as it is used: the built plug-in found through
// GST_PLUGIN_PATH by gst-inspect-1.0 and gst-launch-1.0, every format it
// takes against the command-line tool on the same frames, properties changed
// while frames flow, and formats it refuses.
#include <gst/gst.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frame/presets.h"
#include "support/test_seed.h"
#include "tools/tool_test_support.h"

namespace trelvane {
namespace {

using cli::testing::ReadFile;
using cli::testing::TempDir;
using cli::testing::WriteFile;

struct Ran {
    int status = -1;
    std::string output;  // standard output and error
};

Ran Shell(const std::string& command) {
    Ran run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) run.output.append(chunk, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// The build's plug-in, and a registry of its own beside it.
const char* const kGstEnvironment = "GST_PLUGIN_PATH='" TRELVANE_GST_PLUGIN_DIR "' GST_REGISTRY='" TRELVANE_GST_REGISTRY "' ";

Ran GstLaunch(const std::string& pipeline) {
    return Shell(std::string(kGstEnvironment) + "timeout 60 gst-launch-1.0 -q " + pipeline);
}

void InitGst() {
    static const bool done = [] {
        setenv("GST_PLUGIN_PATH", TRELVANE_GST_PLUGIN_DIR, 1);
        setenv("GST_REGISTRY", TRELVANE_GST_REGISTRY, 1);
        gst_init(nullptr, nullptr);
        return true;
    }();
    (void)done;
}

// A y4m stream of `count` frames of equal size: its header line (without
// '\n') and the frames' samples.
struct Y4m {
    std::string header;
    std::vector<std::string> frames;
};

Y4m SplitY4m(const std::string& bytes, size_t count) {
    Y4m y4m;
    const size_t nl = bytes.find('\n');
    if (nl == std::string::npos || count == 0) return y4m;
    y4m.header = bytes.substr(0, nl);
    const size_t each = (bytes.size() - nl - 1) / count;
    for (size_t f = 0; f < count; ++f) {
        const std::string frame = bytes.substr(nl + 1 + f * each, each);
        if (frame.compare(0, 6, "FRAME\n") != 0) return {};
        y4m.frames.push_back(frame.substr(6));
    }
    return y4m;
}

// The samples of one frame as GStreamer lays it out, component by
// component (Y, Cb, Cr) without any padding: the planes of a y4m frame.
// Packed 4:2:2 comes out as planes of 4:2:2.
std::string Planes(const GstVideoInfo& info, const std::string& frame) {
    std::string planes;
    for (guint c = 0; c < GST_VIDEO_INFO_N_COMPONENTS(&info); ++c) {
        const size_t bytes = GST_VIDEO_INFO_COMP_DEPTH(&info, c) > 8 ? 2 : 1;
        const size_t step = static_cast<size_t>(GST_VIDEO_INFO_COMP_PSTRIDE(&info, c));
        for (int r = 0; r < GST_VIDEO_INFO_COMP_HEIGHT(&info, c); ++r) {
            const size_t row = GST_VIDEO_INFO_COMP_OFFSET(&info, c) +
                               static_cast<size_t>(r) * static_cast<size_t>(GST_VIDEO_INFO_COMP_STRIDE(&info, c));
            for (int k = 0; k < GST_VIDEO_INFO_COMP_WIDTH(&info, c); ++k) {
                planes += frame.substr(row + static_cast<size_t>(k) * step, bytes);
            }
        }
    }
    return planes;
}

std::string ToolArgs(const FilterSettings& s) {
    std::string args = " --mode " + std::to_string(s.mode) + " --strength " + std::to_string(s.strength) +
                       " --noise " + std::to_string(s.noise) + (s.line640 != 0 ? " --line 640" : " --line 720");
    if (s.mmx == 0) args += " --no-mmx";
    if (s.test != 0) args += " --test-pattern";
    return args;
}

// The tool's output frames for the settings.
std::vector<std::string> ToolFrames(const TempDir& dir, const FilterSettings& s, size_t count) {
    const Ran run = Shell(std::string(TRELVANE_TOOL_PATH) + ToolArgs(s) + " -q " + dir.Path("in.y4m") + " " +
                          dir.Path("tool.y4m"));
    EXPECT_EQ(run.status, 0) << run.output;
    return SplitY4m(ReadFile(dir.Path("tool.y4m")), count).frames;
}

// What the element does with its properties as gst-launch sets them, in
// the tool's terms.
struct Branch {
    std::string properties;
    FilterSettings settings;
};

std::vector<Branch> Branches() {
    const FilterSettings d = DefaultStreamSettings();
    const int autoLine = Line640For(LineChoice::kAuto);
    const FilterPreset& broadcast = *FindFilterPreset("broadcast");
    const FilterPreset& vhs = *FindFilterPreset("vhs");
    return {
        {"", {d.mode, d.strength, d.noise, autoLine, 1, 0}},
        {"preset=broadcast mode=2", {2, broadcast.strength, broadcast.noise, autoLine, 1, 0}},
        {"mode=1 line=720 packed=false", {1, d.strength, d.noise, 0, 0, 0}},
        {"mode=3 strength=128 noise=0 line=640", {3, 128, 0, 1, 1, 0}},
        {"mode=4 strength=0 noise=7 packed=false", {4, 0, 7, autoLine, 0, 0}},
        {"test-pattern=true mode=0 line=720", {0, d.strength, d.noise, 0, 1, 1}},
        {"test-pattern=true preset=vhs", {vhs.mode, vhs.strength, vhs.noise, autoLine, 1, 1}},
    };
}

struct FormatCase {
    const char* format;
    int width;
    int height;
    const char* colourSpace;  // the tool's C tag; null: a format without chroma
    bool y4menc;              // through y4menc, else raw frames from filesink
    bool fullRange;
    bool interlaced;
    const char* pattern;
};

constexpr size_t kFrames = 3;

// Each format through videotestsrc into a tee: the input as it is, through
// the element in mode 0, and through the element with each branch's
// properties. Sizes through y4menc are ones GStreamer lays out without
// padding (its y4menc writes the buffer as it is); raw frames are unpacked
// by GStreamer's own layout, so they take odd sizes.
TEST(GstElement, EveryFormatGivesTheToolsBytes) {
    const FormatCase cases[] = {
        {"I420", 64, 36, "420", true, false, false, "chroma-zone-plate kx2=20 ky2=20 kt=1"},
        {"Y42B", 72, 37, "422", true, false, true, "smpte horizontal-speed=5"},
        {"Y444", 60, 33, "444", true, true, false, "colors horizontal-speed=3"},
        {"Y41B", 64, 35, "411", true, false, false, "chroma-zone-plate kx2=24 ky2=9 kt=2"},
        {"I420", 67, 37, "420", false, false, false, "colors horizontal-speed=3"},
        {"Y41B", 65, 31, "411", false, true, false, "smpte horizontal-speed=3"},
        {"I420_10LE", 62, 35, "420p10", false, false, false, "chroma-zone-plate kx2=20 ky2=20 kt=1"},
        {"I420_12LE", 64, 30, "420p12", false, true, false, "colors horizontal-speed=2"},
        {"I422_10LE", 66, 21, "422p10", false, false, false, "smpte horizontal-speed=4"},
        {"I422_12LE", 64, 31, "422p12", false, false, false, "chroma-zone-plate kx2=30 ky2=10 kt=1"},
        {"Y444_10LE", 63, 33, "444p10", false, false, false, "colors horizontal-speed=5"},
        {"Y444_12LE", 64, 25, "444p12", false, true, false, "smpte horizontal-speed=2"},
        {"Y444_16LE", 61, 27, "444p16", false, true, false, "chroma-zone-plate kx2=20 ky2=20 kt=1"},
        {"YUY2", 63, 29, "422", false, false, true, "colors horizontal-speed=3"},
        {"UYVY", 64, 27, "422", false, true, false, "chroma-zone-plate kx2=16 ky2=30 kt=1"},
        {"GRAY8", 64, 20, nullptr, false, false, false, "smpte horizontal-speed=5"},
    };
    InitGst();
    const std::vector<Branch> branches = Branches();
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        TempDir dir;
        std::string caps = std::string("video/x-raw,format=") + c.format + ",width=" + std::to_string(c.width) +
                           ",height=" + std::to_string(c.height);
        if (c.fullRange) caps += ",colorimetry=1:4:0:0";
        if (c.interlaced) caps += ",interlace-mode=interleaved";
        const std::string sink = std::string(c.y4menc ? "y4menc ! " : "") + "filesink location=";
        std::string pipeline = "videotestsrc num-buffers=" + std::to_string(kFrames) + " pattern=" + c.pattern +
                               " ! " + caps + " ! tee name=t t. ! queue ! " + sink + dir.Path("in") +
                               " t. ! queue ! trelvane mode=0 ! " + sink + dir.Path("mode0");
        for (size_t b = 0; b < branches.size(); ++b) {
            pipeline += " t. ! queue ! trelvane " + branches[b].properties + " ! " + sink + dir.Path(std::to_string(b));
        }
        const Ran launched = GstLaunch(pipeline);
        ASSERT_EQ(launched.status, 0) << pipeline << "\n" << launched.output;

        const std::string in = ReadFile(dir.Path("in"));
        EXPECT_TRUE(ReadFile(dir.Path("mode0")) == in) << "mode 0";
        if (c.colourSpace == nullptr) {
            for (size_t b = 0; b < branches.size(); ++b) {
                EXPECT_TRUE(ReadFile(dir.Path(std::to_string(b))) == in) << branches[b].properties;
            }
            continue;
        }

        // The element's frames as y4m planes, and the tool's input.
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_set_format(&info, gst_video_format_from_string(c.format),
                                              static_cast<guint>(c.width), static_cast<guint>(c.height)));
        const auto frames = [&](const std::string& bytes) {
            if (c.y4menc) return SplitY4m(bytes, kFrames).frames;
            std::vector<std::string> planes;
            if (bytes.size() != kFrames * info.size) return planes;
            for (size_t f = 0; f < kFrames; ++f) planes.push_back(Planes(info, bytes.substr(f * info.size, info.size)));
            return planes;
        };
        std::string y4m = c.y4menc ? SplitY4m(in, kFrames).header
                                      : "YUV4MPEG2 W" + std::to_string(c.width) + " H" + std::to_string(c.height) +
                                            " F30:1 Ip A1:1 C" + c.colourSpace;
        if (c.fullRange) y4m += " XCOLORRANGE=FULL";
        const std::vector<std::string> inFrames = frames(in);
        ASSERT_EQ(inFrames.size(), kFrames);
        y4m += "\n";
        for (const std::string& f : inFrames) y4m += "FRAME\n" + f;
        WriteFile(dir.Path("in.y4m"), y4m);

        for (size_t b = 0; b < branches.size(); ++b) {
            SCOPED_TRACE("trelvane " + branches[b].properties);
            const std::vector<std::string> tool = ToolFrames(dir, branches[b].settings, kFrames);
            const std::vector<std::string> element = frames(ReadFile(dir.Path(std::to_string(b))));
            ASSERT_EQ(tool.size(), kFrames);
            ASSERT_EQ(element.size(), kFrames);
            for (size_t f = 0; f < kFrames; ++f) {
                EXPECT_TRUE(element[f] == tool[f]) << "frame " << f;
            }
        }
    }
}

// A pad probe sets properties, drawn at random, when buffer k arrives:
// frames before it must be the tool's with the defaults, frames from it on
// the tool's with the new settings (whose line always differs from auto's).
TEST(GstElement, PropertyChangesTakeEffectOnTheNextFrame) {
    const uint32_t seed = test::TestSeed();
    SCOPED_TRACE(test::SeedTrace(seed));
    std::mt19937 rng(seed);
    const auto draw = [&](SettingRange r) { return std::uniform_int_distribution<int>(r.lower, r.upper)(rng); };
    constexpr int kCount = 6;
    const int autoLine = Line640For(LineChoice::kAuto);
    const FilterSettings d = DefaultStreamSettings();
    const FilterSettings before{d.mode, d.strength, d.noise, autoLine, 1, 0};
    const FilterSettings after{draw(kModeRange), draw(kStrengthRange), draw(kNoiseRange), 1 - autoLine,
                               draw({0, 1}), draw({0, 3}) == 0};
    struct Change {
        GstElement* filter;
        int at;
        int buffers;
        std::vector<std::pair<std::string, std::string>> properties;
    } change{nullptr, draw({1, kCount - 1}), 0,
             {{"mode", std::to_string(after.mode)}, {"strength", std::to_string(after.strength)},
              {"noise", std::to_string(after.noise)}, {"line", after.line640 != 0 ? "640" : "720"},
              {"packed", after.mmx != 0 ? "true" : "false"}, {"test-pattern", after.test != 0 ? "true" : "false"}}};

    InitGst();
    TempDir dir;
    const std::string description =
        "videotestsrc num-buffers=" + std::to_string(kCount) +
        " pattern=chroma-zone-plate kx2=20 ky2=20 kt=1 ! video/x-raw,format=Y42B,width=64,height=22"
        " ! tee name=t t. ! queue ! y4menc ! filesink location=" + dir.Path("in.y4m") +
        " t. ! queue ! trelvane name=f ! y4menc ! filesink location=" + dir.Path("out.y4m");
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    ASSERT_NE(pipeline, nullptr);
    change.filter = gst_bin_get_by_name(GST_BIN(pipeline), "f");
    GstPad* pad = gst_element_get_static_pad(change.filter, "sink");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            auto& c = *static_cast<Change*>(data);
            if (c.buffers++ != c.at) return GST_PAD_PROBE_OK;
            for (const auto& [name, value] : c.properties) {
                gst_util_set_object_arg(G_OBJECT(c.filter), name.c_str(), value.c_str());
            }
            return GST_PAD_PROBE_OK;
        },
        &change, nullptr);
    gst_object_unref(pad);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* end = gst_bus_timed_pop_filtered(bus, 30 * GST_SECOND,
                                                 static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    const bool eos = end != nullptr && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
    if (end != nullptr) gst_message_unref(end);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(change.filter);
    gst_object_unref(pipeline);
    ASSERT_TRUE(eos);
    ASSERT_EQ(change.buffers, kCount);

    const std::vector<std::string> out = SplitY4m(ReadFile(dir.Path("out.y4m")), kCount).frames;
    const std::vector<std::string> tool[] = {ToolFrames(dir, before, kCount), ToolFrames(dir, after, kCount)};
    ASSERT_EQ(out.size(), static_cast<size_t>(kCount));
    for (size_t f = 0; f < out.size(); ++f) {
        const bool changed = static_cast<int>(f) >= change.at;
        ASSERT_EQ(tool[changed].size(), out.size());
        EXPECT_TRUE(out[f] == tool[changed][f]) << "frame " << f << ToolArgs(changed ? after : before);
    }
}

// gst-inspect-1.0's "Default:" for a property, from its block.
std::string InspectedDefault(const std::string& text, const std::string& property) {
    const size_t at = text.find("\n  " + property + " ");
    if (at == std::string::npos) return "(no property)";
    const size_t value = text.find("Default: ", at);
    if (value == std::string::npos) return "(no default)";
    return text.substr(value + 9, text.find_first_of(" \n", value + 9) - value - 9);
}

TEST(GstElement, InspectListsThePropertiesWithTheToolsRangesAndDefaults) {
    const Ran run = Shell(std::string(kGstEnvironment) + "gst-inspect-1.0 trelvane");
    ASSERT_EQ(run.status, 0) << run.output;
    const FilterSettings d = DefaultStreamSettings();
    EXPECT_EQ(InspectedDefault(run.output, "mode"), std::to_string(d.mode));
    EXPECT_EQ(InspectedDefault(run.output, "strength"), std::to_string(d.strength));
    EXPECT_EQ(InspectedDefault(run.output, "noise"), std::to_string(d.noise));
    for (const SettingRange range : {kModeRange, kStrengthRange, kNoiseRange}) {
        const std::string text = "Range: " + std::to_string(range.lower) + " - " + std::to_string(range.upper);
        EXPECT_NE(run.output.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(InspectedDefault(run.output, "line"), "0,");
    EXPECT_EQ(InspectedDefault(run.output, "packed"), "true");
    EXPECT_EQ(InspectedDefault(run.output, "test-pattern"), "false");
    EXPECT_EQ(InspectedDefault(run.output, "preset"), "0,");
    EXPECT_EQ(InspectedDefault(run.output, "qos"), "false");
    for (const FilterPreset& p : FilterPresets()) {
        EXPECT_NE(run.output.find(std::string("): ") + p.name + " "), std::string::npos) << p.name;
    }
}

// A PNG decodes to RGB, which the element does not take: the stream stops
// as not negotiated (the decoder's template also offers GRAY8, so the
// pipeline links). async=false: gst-launch otherwise waits for a preroll
// that never comes.
TEST(GstElement, FormatsItDoesNotTakeFailNegotiation) {
    TempDir dir;
    const std::string png = dir.Path("bars.png");
    ASSERT_EQ(GstLaunch("videotestsrc num-buffers=1 ! video/x-raw,format=RGB,width=32,height=16 ! pngenc ! "
                        "filesink location=" + png).status, 0);
    const Ran run = GstLaunch("filesrc location=" + png + " ! pngdec ! trelvane ! fakesink async=false");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.output.find("not-negotiated"), std::string::npos) << run.output;
}

}  // namespace
}  // namespace trelvane
