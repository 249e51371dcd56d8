// Parses the command line into ToolOptions; the --help text.
#include "cli_options.h"

#include <charconv>
#include <string_view>

#include "io/frame_limits.h"

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

ParseOutcome ParseCommandLine(const std::vector<std::string>& args) {
    ParseOutcome out;
    ToolOptions& o = out.options;
    std::vector<std::string> positional;
    bool optionsDone = false;
    size_t positionalBeforeDashes = 0;  // "demo" is a command only before "--"
    std::string notForDemo;  // the first option given that the demo does not take
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
        const bool demoTakes = name == "--strength" || name == "--noise" || name == "--no-mmx" ||
                               name == "--quiet" || name == "-q";
        if (!demoTakes && notForDemo.empty()) notForDemo = name;
        const bool isFlag = name == "--help" || name == "-h" || name == "--no-mmx" ||
                            name == "--test-pattern" || name == "--quiet" || name == "-q";
        if (isFlag && word.hasInline) return failWith(name + " takes no value");

        if (name == "--help" || name == "-h") {
            o.command = Command::kHelp;
            out.ok = true;
            return out;
        }
        if (name == "--no-mmx") {
            o.settings.mmx = 0;
            continue;
        }
        if (name == "--test-pattern") {
            o.settings.test = 1;
            continue;
        }
        if (name == "--quiet" || name == "-q") {
            o.quiet = true;
            continue;
        }

        const bool takesValue = name == "--mode" || name == "--strength" || name == "--noise" ||
                                name == "--line" || name == "--threads" || name == "--frames" ||
                                name == "--yc48";
        if (!takesValue) return failWith("unknown option '" + arg + "'");
        std::string value = word.value;
        if (!word.hasInline) {
            if (i + 1 >= args.size()) return failWith(name + " needs a value");
            value = args[++i];
        }

        int64_t v = 0;
        if (name == "--mode") {
            if (!ParseBounded(value, 0, 4, v)) return failWith(OutOfRange(name, 0, 4, value));
            o.settings.mode = static_cast<int>(v);
        } else if (name == "--strength" || name == "--noise") {
            if (!ParseBounded(value, 0, 128, v)) return failWith(OutOfRange(name, 0, 128, value));
            (name == "--strength" ? o.settings.strength : o.settings.noise) = static_cast<int>(v);
        } else if (name == "--line") {
            if (value != "640" && value != "720") {
                return failWith("--line: expected 640 or 720, got '" + value + "'");
            }
            o.settings.line640 = value == "640" ? 1 : 0;
        } else if (name == "--threads") {
            if (!ParseBounded(value, 1, 256, v)) return failWith(OutOfRange(name, 1, 256, value));
            o.threads = static_cast<int>(v);
        } else if (name == "--frames") {
            constexpr int64_t kMostFrames = int64_t{1} << 53;
            if (!ParseBounded(value, 0, kMostFrames, v)) {
                return failWith(OutOfRange(name, 0, kMostFrames, value));
            }
            o.maxFrames = v;
        } else {
            Yc48Geometry g;
            std::string error;
            if (!ParseYc48Geometry(value, g, error)) return failWith(error);
            o.yc48 = g;
        }
    }

    if (!optionsDone) positionalBeforeDashes = positional.size();
    if (positionalBeforeDashes > 0 && positional[0] == "demo") {
        o.command = Command::kDemo;
        if (positional.size() > 2) return failWith("demo takes at most one directory");
        if (!notForDemo.empty()) {
            return failWith("demo does not take " + notForDemo +
                            " (only --strength, --noise, --no-mmx and --quiet)");
        }
        if (positional.size() == 2) o.demoDir = positional[1];
        out.ok = true;
        return out;
    }
    if (positional.size() > 2) {
        return failWith("too many file arguments: '" + positional[2] + "' (expected INPUT and OUTPUT)");
    }
    if (!positional.empty()) o.input = positional[0];
    if (positional.size() > 1) o.output = positional[1];
    out.ok = true;
    return out;
}

const char* UsageText() {
    return "Usage: trelvane [OPTIONS] [INPUT [OUTPUT]]\n"
           "       trelvane --yc48 WxH[:PITCH] [OPTIONS] [INPUT [OUTPUT]]\n"
           "       trelvane [OPTIONS] demo [DIR]\n"
           "\n"
           "Re-filters the chroma of analog NTSC captures. Reads YUV4MPEG2 (y4m) video,\n"
           "or raw YC48 frames with --yc48, and writes the same format. INPUT and OUTPUT\n"
           "are files or '-' for standard input and output (the default).\n"
           "\n"
           "Filter:\n"
           "  --mode N          0 passes frames through, 1 band-limits Cr/Cb, 2..4 work on\n"
           "                    the I/Q axes with detail restore (default 4)\n"
           "  --strength S      detail restore strength in 1/32 steps, 0..128 (default 64)\n"
           "  --noise T         coring threshold of mode 4, 0..128 (default 48)\n"
           "  --line 640|720    low-pass kernels for a 640- or 720-sample line (default 640)\n"
           "  --no-mmx          every row on the scalar path, one at a time (default:\n"
           "                    groups of four rows on the packed path)\n"
           "  --test-pattern    replace every frame by the test pattern before filtering\n"
           "\n"
           "Stream:\n"
           "  --yc48 WxH[:PITCH]  raw frames of H rows of PITCH pixels, each pixel three\n"
           "                    little-endian signed 16-bit values y, cb, cr\n"
           "  --frames N        stop after N frames\n"
           "  --threads N       frames filtered in parallel, 1..256 (default: processors)\n"
           "  -q, --quiet       no progress line and no notes on standard error\n"
           "  -h, --help        show this text\n"
           "\n"
           "demo [DIR] writes PNG pictures of the test pattern through every mode into DIR\n"
           "(default trelvane-demo/), with a labelled contact sheet.\n"
           "\n"
           "Exit status: 0 success, 1 bad or truncated input or an output error,\n"
           "2 usage error, 130 or 143 stopped by SIGINT or SIGTERM (the output then\n"
           "holds every frame read before it).\n";
}

}  // namespace trelvane::cli
