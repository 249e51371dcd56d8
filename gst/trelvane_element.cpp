// The GStreamer element "trelvane": its GObject type, properties and pads,
// and the plug-in's entry point. Frames are filtered in place by
// frame_filter.h; everything here forwards to it.
#include <gst/gst.h>
#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

#include <new>
#include <vector>

#include "frame_filter.h"
#include "trelvane_version.h"

using trelvane::DefaultStreamSettings;
using trelvane::FilterPreset;
using trelvane::FilterPresets;
using trelvane::LineChoice;
using trelvane::gstreamer::ElementSettings;
using trelvane::gstreamer::FrameFilter;

GST_DEBUG_CATEGORY_STATIC(trelvane_debug);
#define GST_CAT_DEFAULT trelvane_debug

namespace {

// What the element holds beyond its GObject parts: the properties (under
// the object lock), and on the streaming thread the negotiated format with
// its buffers and the settings of the frame in hand.
struct ElementState {
    ElementSettings settings;
    FrameFilter filter;
    trelvane::FilterSettings frame;
};

}  // namespace

struct GstTrelvane {
    GstVideoFilter parent;
    ElementState* state;
};

struct GstTrelvaneClass {
    GstVideoFilterClass parent_class;
};

G_DEFINE_TYPE(GstTrelvane, gst_trelvane, GST_TYPE_VIDEO_FILTER)

namespace {

enum Property { kPropMode = 1, kPropStrength, kPropNoise, kPropLine, kPropPacked, kPropTestPattern, kPropPreset };

constexpr auto kPropertyFlags =
    static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING);

GstTrelvane* Self(gpointer instance) { return static_cast<GstTrelvane*>(instance); }

// The "line" enum's values are the line lengths themselves, 0 for auto.
GType LineType() {
    static const GEnumValue values[] = {
        {0, "The kernels that suit any capture width", "auto"},
        {640, "Low-pass kernels for a 640-sample line", "640"},
        {720, "Low-pass kernels for a 720-sample line", "720"},
        {0, nullptr, nullptr},
    };
    static const GType type = g_enum_register_static("GstTrelvaneLine", values);
    return type;
}

LineChoice LineFromValue(int value) {
    return value == 640 ? LineChoice::k640 : value == 720 ? LineChoice::k720 : LineChoice::kAuto;
}

int ValueOfLine(LineChoice line) {
    return line == LineChoice::k640 ? 640 : line == LineChoice::k720 ? 720 : 0;
}

// The presets' names as the enum's nicks, value 1 + index; 0 is none.
GType PresetType() {
    static const std::vector<GEnumValue> values = [] {
        std::vector<GEnumValue> v{{0, "No preset: mode, strength and noise as set", "none"}};
        for (const FilterPreset& p : FilterPresets()) {
            v.push_back({static_cast<gint>(v.size()), p.summary, p.name});
        }
        v.push_back({0, nullptr, nullptr});
        return v;
    }();
    static const GType type = g_enum_register_static("GstTrelvanePreset", values.data());
    return type;
}

GParamSpec* presetChanges[3];  // mode, strength, noise: notified when a preset sets them

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstTrelvane* self = Self(object);
    GST_OBJECT_LOCK(self);
    ElementSettings& s = self->state->settings;
    switch (id) {
        case kPropMode: s.mode = g_value_get_int(value); break;
        case kPropStrength: s.strength = g_value_get_int(value); break;
        case kPropNoise: s.noise = g_value_get_int(value); break;
        case kPropLine: s.line = LineFromValue(g_value_get_enum(value)); break;
        case kPropPacked: s.packed = g_value_get_boolean(value) != FALSE; break;
        case kPropTestPattern: s.testPattern = g_value_get_boolean(value) != FALSE; break;
        case kPropPreset: s.ApplyPreset(g_value_get_enum(value)); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
    if (id == kPropPreset) {
        for (GParamSpec* changed : presetChanges) g_object_notify_by_pspec(object, changed);
    }
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstTrelvane* self = Self(object);
    GST_OBJECT_LOCK(self);
    const ElementSettings& s = self->state->settings;
    switch (id) {
        case kPropMode: g_value_set_int(value, s.mode); break;
        case kPropStrength: g_value_set_int(value, s.strength); break;
        case kPropNoise: g_value_set_int(value, s.noise); break;
        case kPropLine: g_value_set_enum(value, ValueOfLine(s.line)); break;
        case kPropPacked: g_value_set_boolean(value, s.packed); break;
        case kPropTestPattern: g_value_set_boolean(value, s.testPattern); break;
        case kPropPreset: g_value_set_enum(value, s.preset); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec); break;
    }
    GST_OBJECT_UNLOCK(self);
}

void Finalize(GObject* object) {
    delete Self(object)->state;
    G_OBJECT_CLASS(gst_trelvane_parent_class)->finalize(object);
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo*) {
    try {
        Self(filter)->state->filter.SetFormat(*in);
    } catch (const std::bad_alloc&) {
        GST_ERROR_OBJECT(filter, "no memory for the conversion tables");
        return FALSE;
    }
    return TRUE;
}

// Each frame takes the settings as they are when it arrives. A frame the
// filter would leave as it is passes through without being made writable.
void BeforeTransform(GstBaseTransform* trans, GstBuffer*) {
    ElementState& state = *Self(trans)->state;
    GST_OBJECT_LOCK(trans);
    state.frame = state.settings.ForFrame();
    GST_OBJECT_UNLOCK(trans);
    const bool negotiated = GST_VIDEO_FILTER(trans)->negotiated != FALSE;
    gst_base_transform_set_passthrough(trans, negotiated && state.filter.LeavesAlone(state.frame));
}

GstFlowReturn TransformFrameIp(GstVideoFilter* filter, GstVideoFrame* frame) {
    ElementState& state = *Self(filter)->state;
    switch (state.filter.Filter(*frame, state.frame)) {
        case FrameFilter::Result::kDone:
            return GST_FLOW_OK;
        case FrameFilter::Result::kNoMemory:
            GST_ELEMENT_ERROR(filter, RESOURCE, FAILED, ("Not enough memory to filter a frame"), (nullptr));
            break;
        case FrameFilter::Result::kUnevenStrides:
            GST_ELEMENT_ERROR(filter, STREAM, FORMAT, ("The frame's Cb and Cr rows have different strides"),
                              (nullptr));
            break;
    }
    return GST_FLOW_ERROR;
}

gboolean Stop(GstBaseTransform* trans) {
    Self(trans)->state->filter.Release();
    return TRUE;
}

GParamSpec* IntProperty(const char* name, const char* nick, const char* blurb, trelvane::SettingRange range,
                        int initial) {
    return g_param_spec_int(name, nick, blurb, range.lower, range.upper, initial, kPropertyFlags);
}

}  // namespace

static void gst_trelvane_class_init(GstTrelvaneClass* klass) {
    GObjectClass* object = G_OBJECT_CLASS(klass);
    object->set_property = SetProperty;
    object->get_property = GetProperty;
    object->finalize = Finalize;

    const trelvane::FilterSettings defaults = DefaultStreamSettings();
    GParamSpec* mode = IntProperty("mode", "Mode",
                                   "0 passes frames through, 1 band-limits Cr/Cb, 2..4 work on the I/Q axes "
                                   "with detail restore (4 also cores noise)",
                                   trelvane::kModeRange, defaults.mode);
    GParamSpec* strength = IntProperty("strength", "Strength", "Detail restore strength in 1/32 steps",
                                       trelvane::kStrengthRange, defaults.strength);
    GParamSpec* noise =
        IntProperty("noise", "Noise", "Coring threshold of mode 4", trelvane::kNoiseRange, defaults.noise);
    presetChanges[0] = mode;
    presetChanges[1] = strength;
    presetChanges[2] = noise;
    g_object_class_install_property(object, kPropMode, mode);
    g_object_class_install_property(object, kPropStrength, strength);
    g_object_class_install_property(object, kPropNoise, noise);
    g_object_class_install_property(
        object, kPropLine,
        g_param_spec_enum("line", "Line", "Low-pass kernels for a 640- or 720-sample line", LineType(),
                          ValueOfLine(LineChoice::kAuto), kPropertyFlags));
    g_object_class_install_property(
        object, kPropPacked,
        g_param_spec_boolean("packed", "Packed",
                             "Groups of four rows take the packed path (off: every row on the scalar path)",
                             TRUE, kPropertyFlags));
    g_object_class_install_property(
        object, kPropTestPattern,
        g_param_spec_boolean("test-pattern", "Test pattern", "Replace every frame by the test pattern before filtering",
                             FALSE, kPropertyFlags));
    g_object_class_install_property(
        object, kPropPreset,
        g_param_spec_enum("preset", "Preset",
                          "Sets mode, strength and noise for a kind of capture; properties set later override it",
                          PresetType(), 0, kPropertyFlags));

    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_set_static_metadata(element, "Trelvane chroma re-filter", "Filter/Effect/Video",
                                          "Re-filters the chroma of analog NTSC captures, luma untouched",
                                          "Trelvane developers");
    GstCaps* caps = gst_caps_from_string(GST_VIDEO_CAPS_MAKE(
        "{ I420, Y42B, Y444, Y41B, I420_10LE, I420_12LE, I422_10LE, I422_12LE, Y444_10LE, Y444_12LE, "
        "Y444_16LE, YUY2, UYVY, GRAY8 }"));
    gst_element_class_add_pad_template(element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, caps));
    gst_element_class_add_pad_template(element, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);

    GstBaseTransformClass* transform = GST_BASE_TRANSFORM_CLASS(klass);
    transform->transform_ip_on_passthrough = FALSE;
    transform->before_transform = BeforeTransform;
    transform->stop = Stop;
    GstVideoFilterClass* video = GST_VIDEO_FILTER_CLASS(klass);
    video->set_info = SetInfo;
    video->transform_frame_ip = TransformFrameIp;
}

static void gst_trelvane_init(GstTrelvane* self) {
    self->state = new ElementState;
    gst_base_transform_set_in_place(GST_BASE_TRANSFORM(self), TRUE);
    // A capture is recorded whole: a late preview branch must not make the
    // element drop frames meant for the file.
    gst_base_transform_set_qos_enabled(GST_BASE_TRANSFORM(self), FALSE);
}

namespace {

gboolean PluginInit(GstPlugin* plugin) {
    GST_DEBUG_CATEGORY_INIT(trelvane_debug, "trelvane", 0, "Trelvane chroma re-filter");
    return gst_element_register(plugin, "trelvane", GST_RANK_NONE, gst_trelvane_get_type());
}

}  // namespace

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, trelvane, "Chroma re-filter for analog NTSC captures",
                  PluginInit, TRELVANE_VERSION, GST_LICENSE_UNKNOWN, "trelvane", "Trelvane")
