// YUV4MPEG2 stream and frame headers, frame layouts, and the stream reader.
#include "io/y4m.h"

#include <charconv>

#include "io/container_magic.h"
#include "io/frame_limits.h"

namespace trelvane::cli {

namespace {

constexpr std::string_view kSignature = "YUV4MPEG2";
constexpr std::string_view kFrameTag = "FRAME";

struct ColourSpaceForm {
    std::string_view prefix;
    ChromaLayout layout;
};

// Accepts the 8-bit names and the high-depth forms ffmpeg and the y4m tools
// write (420p10, 422p12, 444p16, ..., mono16).
bool ParseColourSpace(std::string_view cs, ChromaLayout& layout, int& depth) {
    if (cs == "420jpeg" || cs == "420mpeg2" || cs == "420paldv" || cs == "420") {
        layout = ChromaLayout::k420;
        depth = 8;
        return true;
    }
    if (cs == "411") {  // DV NTSC; 8 bits only, as ffmpeg and GStreamer write it
        layout = ChromaLayout::k411;
        depth = 8;
        return true;
    }
    static constexpr ColourSpaceForm kForms[] = {{"420", ChromaLayout::k420},
                                                 {"422", ChromaLayout::k422},
                                                 {"444", ChromaLayout::k444},
                                                 {"mono", ChromaLayout::kMono}};
    for (const ColourSpaceForm& form : kForms) {
        if (cs.substr(0, form.prefix.size()) != form.prefix) continue;
        std::string_view rest = cs.substr(form.prefix.size());
        if (rest.empty()) {
            layout = form.layout;
            depth = 8;
            return true;
        }
        // Mono writes its depth without the 'p': mono10, mono16.
        if (form.layout != ChromaLayout::kMono) {
            if (rest[0] != 'p') return false;
            rest.remove_prefix(1);
        }
        int d = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), d);
        if (ec != std::errc() || end != rest.data() + rest.size()) return false;
        if (d != 9 && d != 10 && d != 12 && d != 14 && d != 16) return false;
        layout = form.layout;
        depth = d;
        return true;
    }
    return false;
}

// Header bytes as they may appear in a one-line message: control bytes
// (NUL included) shown as '?', and at most 40 of them.
std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) {
        out += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    if (text.size() > 40) out += "...";
    return out;
}

// A positive size tag value within the side limit: digits only, reported
// as malformed before any question of size.
bool ParseSide(std::string_view text, char tag, int& value, std::string& error) {
    const std::string what = tag == 'W' ? "width" : "height";
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
        error = "y4m header: malformed " + what + " '" + Printable(text) + "'";
        return false;
    }
    uint64_t v = 0;
    const std::errc ec = std::from_chars(text.data(), text.data() + text.size(), v).ec;
    if (ec == std::errc::result_out_of_range || v > static_cast<uint64_t>(kMaxFrameSide)) {
        error = "y4m header: " + what + " " + Printable(text) + " is larger than the limit of " +
                std::to_string(kMaxFrameSide);
        return false;
    }
    if (v == 0) {
        error = "y4m header: " + what + " must be at least 1";
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

// "N:D" with two runs of digits (F and A tags; 0:0 means unknown).
bool IsRatio(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == text.size()) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != colon && (text[i] < '0' || text[i] > '9')) return false;
    }
    return true;
}

}  // namespace

bool ParseY4mStreamHeader(std::string_view line, Y4mHeader& header, std::string& error) {
    header = Y4mHeader{};
    if (line.substr(0, kSignature.size()) != kSignature ||
        (line.size() > kSignature.size() && line[kSignature.size()] != ' ')) {
        error = "not a y4m stream: it does not start with 'YUV4MPEG2 '";
        return false;
    }
    // A '\r' would otherwise end up inside the last tag, where it would
    // quietly change its meaning (XCOLORRANGE=FULL\r is not FULL).
    if (line.back() == '\r') {
        error = "y4m header: the line ends in CR LF; y4m lines end in LF alone";
        return false;
    }
    bool haveW = false;
    bool haveH = false;
    size_t pos = kSignature.size();
    while (pos < line.size()) {
        const size_t next = line.find(' ', pos);
        const std::string_view tag =
            line.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
        pos = next == std::string_view::npos ? line.size() : next + 1;
        if (tag.empty()) continue;
        const std::string_view value = tag.substr(1);
        switch (tag[0]) {
            case 'W':
                if (!ParseSide(value, 'W', header.width, error)) return false;
                haveW = true;
                break;
            case 'H':
                if (!ParseSide(value, 'H', header.height, error)) return false;
                haveH = true;
                break;
            case 'F':
            case 'A':
                if (!IsRatio(value)) {
                    error = std::string("y4m header: malformed ") +
                            (tag[0] == 'F' ? "frame rate" : "pixel aspect") + " '" +
                            Printable(tag) + "'";
                    return false;
                }
                break;
            case 'I':
                if (value.size() != 1 || std::string_view("ptbm?").find(value[0]) == std::string_view::npos) {
                    error = "y4m header: malformed interlacing '" + Printable(tag) + "'";
                    return false;
                }
                break;
            case 'C':
                header.colourSpace = std::string(value);
                if (!ParseColourSpace(value, header.layout, header.depth)) {
                    error = "y4m colour space 'C" + Printable(value) +
                            "' is not supported (4:2:0, 4:2:2 and 4:4:4 at 8, 9, 10, 12, 14 or 16 bits, 4:1:1 and"
                            " mono are): have ffmpeg write one with -pix_fmt yuv422p (or yuv422p10le -strict -1)";
                    return false;
                }
                break;
            case 'X':
                if (value == "COLORRANGE=FULL") header.fullRange = true;
                if (value == "COLORRANGE=LIMITED") header.fullRange = false;
                break;
            default:
                break;  // reserved tags are kept and passed on
        }
        header.tags.emplace_back(tag);
    }
    if (!haveW || !haveH) {
        error = std::string("y4m header: no ") + (!haveW ? "width (W)" : "height (H)") + " tag";
        return false;
    }
    const int64_t pixels = int64_t{header.width} * header.height;
    if (pixels > kMaxFramePixels) {
        error = "y4m header: a frame of " + std::to_string(header.width) + "x" +
                std::to_string(header.height) + " pixels is larger than the limit of " +
                std::to_string(kMaxFramePixels) + " pixels";
        return false;
    }
    return true;
}

std::string FormatY4mStreamHeader(const Y4mHeader& header) {
    std::string line(kSignature);
    for (const std::string& tag : header.tags) {
        line += ' ';
        line += tag;
    }
    line += '\n';
    return line;
}

bool ParseY4mFrameHeader(std::string_view line, std::string& params, std::string& error) {
    if (line.substr(0, kFrameTag.size()) != kFrameTag ||
        (line.size() > kFrameTag.size() && line[kFrameTag.size()] != ' ')) {
        error = "expected a 'FRAME' header, found '" + Printable(line) + "'";
        return false;
    }
    params.assign(line.substr(kFrameTag.size()));
    return true;
}

int PixelsPerChromaSample(ChromaLayout layout) {
    switch (layout) {
        case ChromaLayout::k444:
            return 1;
        case ChromaLayout::k411:
            return 4;
        case ChromaLayout::k420:
        case ChromaLayout::k422:
        case ChromaLayout::kMono:
            break;
    }
    return 2;
}

Y4mFrameLayout FrameLayoutOf(const Y4mHeader& header) {
    Y4mFrameLayout f;
    f.bytesPerSample = header.depth > 8 ? 2 : 1;
    const int across = PixelsPerChromaSample(header.layout);
    const bool halfHeight = header.layout == ChromaLayout::k420;
    const bool chroma = header.layout != ChromaLayout::kMono;
    f.chromaWidth = chroma ? (header.width + across - 1) / across : 0;
    f.chromaHeight = !chroma ? 0 : halfHeight ? (header.height + 1) / 2 : header.height;
    // Within the limits these products stay far below 2^32 samples.
    f.lumaBytes = static_cast<size_t>(header.width) * static_cast<size_t>(header.height) *
                  static_cast<size_t>(f.bytesPerSample);
    f.chromaBytes = static_cast<size_t>(f.chromaWidth) * static_cast<size_t>(f.chromaHeight) *
                    static_cast<size_t>(f.bytesPerSample);
    f.frameBytes = f.lumaBytes + 2 * f.chromaBytes;
    return f;
}

bool Y4mReader::ReadHeader(Y4mHeader& header, std::string& error) {
    // Another format altogether gets the command that decodes it.
    std::string_view head = in_.Peek(12);
    if (!head.empty() && head[0] == '\x47') head = in_.Peek(kContainerMagicBytes);
    if (const char* container = RecogniseContainer(head)) {
        error = DecodeFirstMessage(container, inputPath_);
        return false;
    }
    // Anything else that is not y4m is refused at its first bytes, before a
    // binary file is searched for the end of a header line.
    // (The signature, then a space or the end of the line.)
    head = in_.Peek(kSignature.size() + 1).substr(0, kSignature.size() + 1);
    const std::string_view signature = head.substr(0, kSignature.size());
    const bool y4m = signature == kSignature.substr(0, signature.size()) &&
                     (head.size() <= kSignature.size() || head.back() == ' ' || head.back() == '\n');
    if (!y4m) {
        error = NotY4mMessage(inputPath_);
        return false;
    }
    switch (in_.ReadLine(line_, kMaxY4mHeaderBytes)) {
        case BufferedReader::LineResult::kLine:
            break;
        case BufferedReader::LineResult::kEnd:
            error = "the input is empty (no y4m header)";
            return false;
        case BufferedReader::LineResult::kTooLong:
            error = "y4m header: longer than " + std::to_string(kMaxY4mHeaderBytes) + " bytes";
            return false;
        case BufferedReader::LineResult::kUnterminated:
            error = "y4m header: the input ends inside the header";
            return false;
        case BufferedReader::LineResult::kError:
            error = "cannot read " + inputName_ + ": " + in_.error();
            return false;
    }
    headerBytes_ = line_.size() + 1;
    return ParseY4mStreamHeader(line_, header, error);
}

Y4mReader::FrameResult Y4mReader::ReadFrame(std::string& params, uint8_t* data, size_t frameBytes,
                                            std::string& error) {
    switch (in_.ReadLine(line_, kMaxY4mHeaderBytes)) {
        case BufferedReader::LineResult::kLine:
            break;
        case BufferedReader::LineResult::kEnd:
            return FrameResult::kEnd;
        case BufferedReader::LineResult::kTooLong:
            error = "frame header longer than " + std::to_string(kMaxY4mHeaderBytes) + " bytes";
            return FrameResult::kError;
        case BufferedReader::LineResult::kUnterminated:
            error = "truncated frame header '" + Printable(line_) + "'";
            return FrameResult::kError;
        case BufferedReader::LineResult::kError:
            error = "cannot read " + inputName_ + ": " + in_.error();
            return FrameResult::kError;
    }
    if (!ParseY4mFrameHeader(line_, params, error)) return FrameResult::kError;
    const size_t got = in_.ReadExact(data, frameBytes);
    if (got == frameBytes) return FrameResult::kFrame;
    error = in_.failed() ? "cannot read " + inputName_ + ": " + in_.error()
                         : "truncated (" + std::to_string(got) + " of " +
                               std::to_string(frameBytes) + " bytes)";
    return FrameResult::kError;
}

}  // namespace trelvane::cli
