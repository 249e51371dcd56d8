// Named settings for the kinds of capture the quality bench measures, the
// settings the command-line tool and the GStreamer element start from, and
// the rule behind their "auto" line choice. The plug-in keeps the host's own
// defaults (mode 0) and does not use these.
#pragma once

#include <span>
#include <string_view>

#include "frame/frame_driver.h"

namespace trelvane {

// Bounds of the three numeric settings, as the host's track bars declare
// them; the tool and the element accept exactly these.
struct SettingRange {
    int lower;
    int upper;
};
inline constexpr SettingRange kModeRange{0, 4};
inline constexpr SettingRange kStrengthRange{0, 128};
inline constexpr SettingRange kNoiseRange{0, 128};

struct FilterPreset {
    const char* name;     // lower case, as typed after --preset
    const char* summary;  // one line for --help and the docs
    int mode;
    int strength;
    int noise;
};

// Every preset, in the order the help lists them.
std::span<const FilterPreset> FilterPresets();
// The preset of that name, or null.
const FilterPreset* FindFilterPreset(std::string_view name);

// The mode, strength and noise the tool and the element use when none is
// given: the "vhs" preset's, which lowers chroma error on every degraded
// source of the bench that any setting improves.
FilterSettings DefaultStreamSettings();

// The low-pass pair: as the "640" box has it (640 or 720), or "auto", the
// pair the quality bench finds best for a capture of any width it measures.
enum class LineChoice { kAuto, k640, k720 };
int Line640For(LineChoice choice);

}  // namespace trelvane
