// Parses the command line into ToolOptions; the --help text.
#include "cli_options.h"

#include <charconv>
#include <string_view>

#include "io/frame_limits.h"
#include "trelvane_version.h"

namespace trelvane::cli {

namespace {

// Whole-string decimal integer in [lo, hi]; no sign, no spaces, no suffix.
bool ParseBounded(std::string_view text, int64_t lo, int64_t hi, int64_t& value) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return false;
    int64_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return false;
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

std::string OutOfRange(std::string_view option, int64_t lo, int64_t hi, std::string_view got) {
    return std::string(option) + ": expected a whole number from " + std::to_string(lo) +
           " to " + std::to_string(hi) + ", got '" + std::string(got) + "'";
}

// Splits "--name=value" into name and value; an option without '=' keeps the
// value empty and hasInline false.
struct OptionWord {
    std::string name;
    std::string value;
    bool hasInline = false;
};

OptionWord SplitOption(const std::string& arg) {
    OptionWord word;
    const size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
        word.name = arg.substr(0, eq);
        word.value = arg.substr(eq + 1);
        word.hasInline = true;
    } else {
        word.name = arg;
    }
    return word;
}

}  // namespace

bool ParseYc48Geometry(const std::string& text, Yc48Geometry& geometry, std::string& error) {
    const auto fail = [&] {
        error = "--yc48: expected WIDTHxHEIGHT or WIDTHxHEIGHT:PITCH, each from 1 to " +
                std::to_string(kMaxFrameSide) + ", got '" + text + "'";
        return false;
    };
    const size_t x = text.find('x');
    if (x == std::string::npos) return fail();
    const size_t colon = text.find(':', x + 1);
    const std::string_view all(text);
    const std::string_view wText = all.substr(0, x);
    const std::string_view hText =
        all.substr(x + 1, colon == std::string::npos ? std::string_view::npos : colon - x - 1);
    int64_t w = 0;
    int64_t h = 0;
    if (!ParseBounded(wText, 1, kMaxFrameSide, w) || !ParseBounded(hText, 1, kMaxFrameSide, h)) {
        return fail();
    }
    int64_t pitch = w;
    if (colon != std::string::npos && !ParseBounded(all.substr(colon + 1), 1, kMaxFrameSide, pitch)) {
        return fail();
    }
    if (pitch < w) {
        error = "--yc48: the pitch " + std::to_string(pitch) + " is smaller than the width " +
                std::to_string(w);
        return false;
    }
    if (pitch * h > kMaxFramePixels) {
        error = "--yc48: a frame of " + std::to_string(pitch) + "x" + std::to_string(h) +
                " pixels is larger than the limit of " + std::to_string(kMaxFramePixels) +
                " pixels";
        return false;
    }
    geometry = {static_cast<int>(w), static_cast<int>(h), static_cast<int>(pitch)};
    return true;
}


namespace {

// Which commands take an option.
enum CommandMask : unsigned { kForFilter = 1, kForDemo = 2, kForPreview = 4, kForAll = 7 };

struct OptionSpec {
    std::string_view name;
    bool takesValue;
    unsigned commands;
    bool listed;  // named in a command's "only ..." list (not aliases and --help)
};

constexpr OptionSpec kOptions[] = {
    {"--preset", true, kForFilter | kForPreview, true},
    {"--mode", true, kForFilter | kForPreview, true},
    {"--strength", true, kForAll, true},
    {"--noise", true, kForAll, true},
    {"--line", true, kForFilter | kForPreview, true},
    {"--no-mmx", false, kForAll, true},
    {"--test-pattern", false, kForFilter, true},
    {"--yc48", true, kForFilter, true},
    {"--frames", true, kForFilter, true},
    {"--threads", true, kForFilter, true},
    {"--progress", true, kForFilter, true},
    {"--frame", true, kForPreview, true},
    {"--crop", true, kForPreview, true},
    {"--quiet", false, kForAll, true},
    {"-q", false, kForAll, false},
    {"--help", false, kForAll, false},
    {"-h", false, kForAll, false},
    {"--version", false, kForAll, false},
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& spec : kOptions) {
        if (spec.name == name) return &spec;
    }
    return nullptr;
}

// "--strength, --noise, --no-mmx and --quiet": the options a command takes.
std::string OptionsOf(unsigned command) {
    std::vector<std::string_view> names;
    for (const OptionSpec& spec : kOptions) {
        if (spec.listed && (spec.commands & command) != 0) names.push_back(spec.name);
    }
    std::string list;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) list += i + 1 == names.size() ? " and " : ", ";
        list += names[i];
    }
    return list;
}

std::string PresetNames(std::string_view separator, std::string_view last) {
    std::string names;
    const auto presets = FilterPresets();
    for (size_t i = 0; i < presets.size(); ++i) {
        if (i > 0) names += i + 1 == presets.size() ? last : separator;
        names += presets[i].name;
    }
    return names;
}

bool ParseRange(std::string_view value, SettingRange range, int& out) {
    int64_t v = 0;
    if (!ParseBounded(value, range.lower, range.upper, v)) return false;
    out = static_cast<int>(v);
    return true;
}

// "X,Y,W,H": the corner from 0 and the size from 1, each within a side.
bool ParseCrop(std::string_view text, CropRect& crop) {
    int64_t v[4] = {};
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos) return false;
        if (!ParseBounded(text.substr(0, comma), i < 2 ? 0 : 1, i < 2 ? kMaxFrameSide - 1 : kMaxFrameSide, v[i])) {
            return false;
        }
        text.remove_prefix(i < 3 ? comma + 1 : comma);
    }
    crop = {static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]), static_cast<int>(v[3])};
    return true;
}

}  // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
    ParseOutcome out;
    ToolOptions& o = out.options;
    std::vector<std::string> positional;
    std::vector<std::string> given;  // option names in the order given
    bool optionsDone = false;
    size_t positionalBeforeDashes = 0;  // a command word counts only before "--"
    // Explicit settings, applied over the preset whatever their order.
    std::optional<int> mode;
    std::optional<int> strength;
    std::optional<int> noise;
    const FilterPreset* preset = nullptr;
    bool lineGiven = false;
    const auto failWith = [&](std::string message) {
        out.ok = false;
        out.error = std::move(message);
        return out;
    };

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsDone || arg == "-" || arg.empty() || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsDone = true;
            positionalBeforeDashes = positional.size();
            continue;
        }
        const OptionWord word = SplitOption(arg);
        const std::string& name = word.name;
        const OptionSpec* spec = FindOption(name);
        if (spec == nullptr) return failWith("unknown option '" + arg + "'");
        if (!spec->takesValue && word.hasInline) return failWith(name + " takes no value");
        given.push_back(name);

        if (name == "--help" || name == "-h" || name == "--version") {
            o.command = name == "--version" ? Command::kVersion : Command::kHelp;
            out.ok = true;
            return out;
        }
        if (!spec->takesValue) {
            if (name == "--no-mmx") o.settings.mmx = 0;
            if (name == "--test-pattern") o.settings.test = 1;
            if (name == "--quiet" || name == "-q") o.quiet = true;
            o.settingsGiven = o.settingsGiven || name == "--no-mmx";
            continue;
        }
        std::string value = word.value;
        if (!word.hasInline) {
            if (i + 1 >= args.size()) return failWith(name + " needs a value");
            value = args[++i];
        }

        int64_t v = 0;
        int setting = 0;
        if (name == "--mode" || name == "--strength" || name == "--noise") {
            const SettingRange range = name == "--mode" ? kModeRange : name == "--strength" ? kStrengthRange : kNoiseRange;
            if (!ParseRange(value, range, setting)) return failWith(OutOfRange(name, range.lower, range.upper, value));
            (name == "--mode" ? mode : name == "--strength" ? strength : noise) = setting;
        } else if (name == "--preset") {
            preset = FindFilterPreset(value);
            if (preset == nullptr) {
                return failWith("--preset: expected " + PresetNames(", ", " or ") + ", got '" + value + "'");
            }
            o.preset = value;
        } else if (name == "--line") {
            if (value != "auto" && value != "640" && value != "720") {
                return failWith("--line: expected auto, 640 or 720, got '" + value + "'");
            }
            o.line = value == "auto" ? LineChoice::kAuto : value == "640" ? LineChoice::k640 : LineChoice::k720;
            lineGiven = true;
        } else if (name == "--progress") {
            if (value != "auto" && value != "always" && value != "never") {
                return failWith("--progress: expected auto, always or never, got '" + value + "'");
            }
            o.progress = value == "auto"     ? ProgressChoice::kAuto
                         : value == "always" ? ProgressChoice::kAlways
                                             : ProgressChoice::kNever;
        } else if (name == "--threads") {
            if (!ParseBounded(value, 1, 256, v)) return failWith(OutOfRange(name, 1, 256, value));
            o.threads = static_cast<int>(v);
        } else if (name == "--frames" || name == "--frame") {
            constexpr int64_t kMostFrames = int64_t{1} << 53;
            const int64_t lowest = name == "--frame" ? 1 : 0;
            if (!ParseBounded(value, lowest, kMostFrames, v)) {
                return failWith(OutOfRange(name, lowest, kMostFrames, value));
            }
            (name == "--frame" ? o.previewFrame : o.maxFrames) = v;
        } else if (name == "--crop") {
            CropRect crop;
            if (!ParseCrop(value, crop)) {
                return failWith("--crop: expected X,Y,WIDTH,HEIGHT (a corner from 0 and a size from 1, up to " +
                                std::to_string(kMaxFrameSide) + "), got '" + value + "'");
            }
            o.crop = crop;
        } else {
            Yc48Geometry g;
            std::string error;
            if (!ParseYc48Geometry(value, g, error)) return failWith(error);
            o.yc48 = g;
        }
    }

    // A preset, then each setting given on its own over it.
    if (preset != nullptr) {
        o.settings.mode = preset->mode;
        o.settings.strength = preset->strength;
        o.settings.noise = preset->noise;
    }
    o.settings.mode = mode.value_or(o.settings.mode);
    o.settings.strength = strength.value_or(o.settings.strength);
    o.settings.noise = noise.value_or(o.settings.noise);
    o.settings.line640 = Line640For(o.line);
    o.settingsGiven = o.settingsGiven || preset != nullptr || mode || strength || noise || lineGiven;
    if (o.quiet) o.progress = ProgressChoice::kNever;

    if (!optionsDone) positionalBeforeDashes = positional.size();
    const std::string word = positionalBeforeDashes > 0 ? positional[0] : "";
    const unsigned command = word == "demo" ? kForDemo : word == "preview" ? kForPreview : kForFilter;
    for (const std::string& name : given) {
        if ((FindOption(name)->commands & command) != 0) continue;
        if (command == kForFilter) return failWith(name + " is an option of preview only (trelvane preview INPUT ...)");
        return failWith(word + " does not take " + name + " (only " + OptionsOf(command) + ")");
    }
    if (command == kForDemo) {
        o.command = Command::kDemo;
        if (positional.size() > 2) return failWith("demo takes at most one directory");
        if (positional.size() == 2) o.demoDir = positional[1];
    } else if (command == kForPreview) {
        o.command = Command::kPreview;
        if (positional.size() < 2) return failWith("preview needs an INPUT (trelvane preview INPUT [DIR])");
        if (positional.size() > 3) return failWith("preview takes an INPUT and at most one directory");
        o.input = positional[1];
        if (positional.size() == 3) o.previewDir = positional[2];
    } else {
        if (positional.size() > 2) {
            return failWith("too many file arguments: '" + positional[2] + "' (expected INPUT and OUTPUT)");
        }
        if (!positional.empty()) o.input = positional[0];
        if (positional.size() > 1) o.output = positional[1];
    }
    out.ok = true;
    return out;
}

std::string UsageText() {
    const FilterSettings d = DefaultStreamSettings();
    std::string presets;
    for (const FilterPreset& p : FilterPresets()) {
        presets += "    " + std::string(p.name) + ": " + p.summary + "\n";
    }
    return "Usage: trelvane [OPTIONS] [INPUT [OUTPUT]]\n"
           "       trelvane --yc48 WxH[:PITCH] [OPTIONS] [INPUT [OUTPUT]]\n"
           "       trelvane preview INPUT [--frame N] [--crop X,Y,W,H] [OPTIONS] [DIR]\n"
           "       trelvane [OPTIONS] demo [DIR]\n"
           "\n"
           "Re-filters the chroma of analog NTSC captures. Reads YUV4MPEG2 (y4m) video,\n"
           "or raw YC48 frames with --yc48, and writes the same format. INPUT and OUTPUT\n"
           "are files or '-' for standard input and output (the default).\n"
           "\n"
           "Filter (the default is mode " + std::to_string(d.mode) + ", strength " + std::to_string(d.strength) +
           ", noise " + std::to_string(d.noise) + ", line auto):\n"
           "  --preset NAME     mode, strength and noise for a kind of capture:\n" +
           presets +
           "                    --mode, --strength and --noise override it\n"
           "  --mode N          0 passes frames through, 1 band-limits Cr/Cb, 2..4 work on\n"
           "                    the I/Q axes with detail restore\n"
           "  --strength S      detail restore strength in 1/32 steps, 0..128\n"
           "  --noise T         coring threshold of mode 4, 0..128\n"
           "  --line auto|640|720  low-pass kernels for a 640- or 720-sample line; auto\n"
           "                    (the default): those the quality bench finds best, the\n"
           "                    640 ones at every width today\n"
           "  --no-mmx          every row on the scalar path, one at a time (default:\n"
           "                    groups of four rows on the packed path)\n"
           "  --test-pattern    replace every frame by the test pattern before filtering\n"
           "\n"
           "Stream:\n"
           "  --yc48 WxH[:PITCH]  raw frames of H rows of PITCH pixels, each pixel three\n"
           "                    little-endian signed 16-bit values y, cb, cr\n"
           "  --frames N        stop after N frames\n"
           "  --threads N       frames filtered in parallel, 1..256 (default: processors)\n"
           "  --progress auto|always|never  the progress line on standard error (auto:\n"
           "                    when it is a terminal)\n"
           "  -q, --quiet       no progress line and no notes on standard error\n"
           "  -h, --help        show this text\n"
           "  --version         show the version\n"
           "\n"
           "preview INPUT writes frame N (default 1) of a y4m file unfiltered, through\n"
           "each preset and through the settings given, as PNG pictures (whole frame,\n"
           "an enlarged crop, its chroma alone) and a contact sheet into DIR (default\n"
           "trelvane-preview/); it never overwrites a picture.\n"
           "demo [DIR] writes PNG pictures of the test pattern and of a built-in capture\n"
           "through every mode into DIR (default trelvane-demo/), with contact sheets.\n"
           "\n"
           "Exit status: 0 success, 1 bad or truncated input or an output error,\n"
           "2 usage error, 130 or 143 stopped by SIGINT or SIGTERM (the output then\n"
           "holds every frame read before it).\n";
}

std::string VersionLine() { return std::string("trelvane ") + TRELVANE_VERSION + "\n"; }

}  // namespace trelvane::cli
