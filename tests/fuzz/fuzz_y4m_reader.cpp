// Fuzz target: the tool's y4m reading and filtering on arbitrary bytes.
//
// Three bytes choose the settings (byte 0: mode, "640", "MMX", test pattern;
// byte 1: strength and the worker count; byte 2: noise), the top bits of
// bytes 0 and 2 whether the whole tool runs too; the rest is the input
// stream. Streams whose header asks for more than kMaxFuzzPixels pixels a
// frame are left to the header parser alone, so that a run stays fast.
//
// The stream is read with the tool's reader from memory and checked against
// a walk of the bytes written here: the header parses the same (or the
// input is named as another container by its first bytes), exactly the
// complete frames before the first fault come out, each with its
// parameters and data, then a clean end or a one-line reason. Each frame goes through
// the tool's frame filter, which must keep luma and give the chroma of the
// YC frame built from the planes (tests/support/chroma_reference.h).
//
// For about one input in four the whole tool runs as well (RunTool from one
// memory file to another; building its conversion tables makes such a run
// slow): status 0 and silence for a whole stream, status 1 and one line
// naming the frame otherwise, and every complete frame before the fault in
// the output as filtered above (nothing at all when the first frame is bad).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli_app.h"
#include "convert/sample_convert.h"
#include "frame/frame_driver.h"
#include "io/byte_io.h"
#include "io/container_magic.h"
#include "io/y4m.h"
#include "pipeline/y4m_frame_filter.h"
#include "support/chroma_reference.h"

namespace {

using namespace trelvane::cli;
using trelvane::FilterSettings;
using trelvane::ConversionTables;
using trelvane::SampleScale;

constexpr int64_t kMaxFuzzPixels = 1 << 14;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool OneLine(std::string_view message) {
    if (message.empty()) return false;
    for (const char c : message) {
        if (c < 0x20 || c >= 0x7f) return false;
    }
    return true;
}

// The conversion tables of a scale, built once.
const ConversionTables& TablesFor(const Y4mHeader& header) {
    static std::map<std::pair<int, bool>, std::unique_ptr<ConversionTables>> cache;
    auto& tables = cache[{header.depth, header.fullRange}];
    if (!tables) tables = std::make_unique<ConversionTables>(SampleScale{header.depth, header.fullRange});
    return *tables;
}

// One frame through the tool's frame filter. Without the test pattern luma
// must not change, and the chroma planes must be those of the YC frame built
// from them, or, where the settings change nothing, the frame as it was.
std::string Filter(const Y4mHeader& header, const Y4mFrameLayout& layout, const FilterSettings& settings,
                   const std::string& frame) {
    const ConversionTables& tables = TablesFor(header);
    std::string out = frame;
    Y4mFrameFilter filter(header, tables, settings);
    Require(filter.Filter(reinterpret_cast<uint8_t*>(out.data())));
    if (settings.test != 0) return out;
    Require(out.compare(0, layout.lumaBytes, frame, 0, layout.lumaBytes) == 0);
    if (!ChangesFrames(header, settings)) {
        Require(out == frame);
        return out;
    }
    const auto cb = frame.begin() + static_cast<ptrdiff_t>(layout.lumaBytes);
    const auto cr = cb + static_cast<ptrdiff_t>(layout.chromaBytes);
    const std::vector<uint8_t> chroma = trelvane::test::ChromaThroughYcFrame(
        {cb, cr}, {cr, frame.end()}, PixelsPerChromaSample(header.layout), header.width, layout.chromaHeight,
        layout.bytesPerSample, tables, settings);
    Require(out.compare(layout.lumaBytes, std::string::npos, std::string(chroma.begin(), chroma.end())) == 0);
    return out;
}

struct Walk {
    std::vector<std::pair<std::string, std::string>> frames;  // parameters and data of each complete frame
    bool whole = false;  // the stream ends cleanly after its last frame
};

// The stream after its header, walked here by the format's rules: frames
// until the end or the first fault.
Walk WalkFrames(std::string_view rest, size_t frameBytes) {
    Walk walk;
    while (!rest.empty()) {
        const size_t nl = rest.find('\n');
        if (nl == std::string_view::npos || nl > kMaxY4mHeaderBytes) return walk;
        const std::string_view line = rest.substr(0, nl);
        if (line.substr(0, 5) != "FRAME" || (line.size() > 5 && line[5] != ' ')) return walk;
        if (rest.size() - nl - 1 < frameBytes) return walk;
        walk.frames.emplace_back(line.substr(5), rest.substr(nl + 1, frameBytes));
        rest.remove_prefix(nl + 1 + frameBytes);
    }
    walk.whole = true;
    return walk;
}

// A file in memory, read and written through its descriptor.
class MemoryFile {
public:
    MemoryFile() : fd_(::memfd_create("fuzz", 0)) { Require(fd_ >= 0); }
    ~MemoryFile() { ::close(fd_); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    int fd() const { return fd_; }

    void Reset(std::string_view bytes) {
        Require(::ftruncate(fd_, 0) == 0);
        Require(::pwrite(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
        Require(::lseek(fd_, 0, SEEK_SET) == 0);
    }

    std::string Contents() const {
        std::string bytes(static_cast<size_t>(::lseek(fd_, 0, SEEK_END)), '\0');
        Require(::pread(fd_, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size()));
        return bytes;
    }

private:
    int fd_;
};

struct ToolResult {
    int status = -1;
    std::string output;
    std::string message;  // standard error
};

ToolResult RunWholeTool(std::string_view stream, const FilterSettings& s, bool twoWorkers) {
    static MemoryFile in;
    static MemoryFile out;
    static MemoryFile err;
    static std::FILE* const errFile = ::fdopen(::dup(err.fd()), "w+");
    Require(errFile != nullptr);
    in.Reset(stream);
    out.Reset("");
    err.Reset("");
    std::rewind(errFile);
    std::vector<std::string> args = {"--mode", std::to_string(s.mode), "--strength", std::to_string(s.strength),
                                     "--noise", std::to_string(s.noise), "--line", s.line640 ? "640" : "720",
                                     "--threads", twoWorkers ? "2" : "1", "-q"};
    if (s.mmx == 0) args.push_back("--no-mmx");
    if (s.test != 0) args.push_back("--test-pattern");
    ToolResult r;
    ToolStreams streams;
    streams.in = in.fd();
    streams.out = out.fd();
    streams.err = errFile;
    r.status = RunTool(args, streams);
    std::fflush(errFile);
    r.output = out.Contents();
    r.message = err.Contents();
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    FilterSettings settings;
    settings.mode = data[0] % 5;
    settings.line640 = (data[0] >> 3) & 1;
    settings.mmx = (data[0] >> 4) & 1;
    settings.test = ((data[0] >> 5) & 3) == 3;
    settings.strength = data[1] % 129;
    const bool twoWorkers = data[1] >= 129;
    settings.noise = data[2] % 129;
    const bool wholeTool = ((data[0] >> 7) & 1) != 0 && data[2] >= 129;
    const std::string_view stream(reinterpret_cast<const char*>(data + 3), size - 3);

    // The header line by the format's rules, and as the parser takes it.
    const size_t nl = stream.find('\n');
    Y4mHeader expectedHeader;
    std::string expectedError;
    const bool headerOk = nl != std::string_view::npos && nl <= kMaxY4mHeaderBytes &&
                          ParseY4mStreamHeader(stream.substr(0, nl), expectedHeader, expectedError);
    // Another format's first bytes are named, and never those of a y4m stream.
    if (const char* container = RecogniseContainer(stream.substr(0, kContainerMagicBytes))) {
        Require(!headerOk);
        expectedError = DecodeFirstMessage(container, "");
    } else if (expectedError.rfind("not a y4m stream", 0) == 0) {
        // The reader refuses such bytes before the line, with what to do.
        expectedError = NotY4mMessage("");
    }
    if (headerOk && int64_t{expectedHeader.width} * expectedHeader.height > kMaxFuzzPixels) return 0;

    MemorySource source(stream.data(), stream.size());
    Y4mReader reader(source);
    Y4mHeader header;
    std::string error;
    Require(reader.ReadHeader(header, error) == headerOk);
    std::vector<std::string> filtered;
    Walk walk;
    if (!headerOk) {
        Require(OneLine(error));
        if (!expectedError.empty()) Require(error == expectedError);
    } else {
        Require(FormatY4mStreamHeader(header) == FormatY4mStreamHeader(expectedHeader));
        Require(reader.headerBytes() == nl + 1);
        const Y4mFrameLayout layout = FrameLayoutOf(header);
        walk = WalkFrames(stream.substr(nl + 1), layout.frameBytes);
        std::string params;
        std::string frame(layout.frameBytes, '\0');
        for (const auto& [wantParams, wantData] : walk.frames) {
            Require(reader.ReadFrame(params, reinterpret_cast<uint8_t*>(frame.data()), frame.size(), error) ==
                    Y4mReader::FrameResult::kFrame);
            Require(params == wantParams && frame == wantData);
            filtered.push_back(Filter(header, layout, settings, frame));
        }
        const Y4mReader::FrameResult last =
            reader.ReadFrame(params, reinterpret_cast<uint8_t*>(frame.data()), frame.size(), error);
        Require(last == (walk.whole ? Y4mReader::FrameResult::kEnd : Y4mReader::FrameResult::kError));
        if (!walk.whole) Require(OneLine(error));
    }
    if (!wholeTool) return 0;

    const ToolResult tool = RunWholeTool(stream, settings, twoWorkers);
    if (!headerOk) {
        // Refused before anything is written.
        Require(tool.status == 1 && tool.output.empty() && tool.message == "trelvane: " + error + "\n");
        return 0;
    }
    if (walk.whole) {
        Require(tool.status == 0 && tool.message.empty());
    } else {
        const std::string frameNumber = "frame " + std::to_string(walk.frames.size() + 1) + ": ";
        Require(tool.status == 1 && tool.message == "trelvane: " + frameNumber + error + "\n");
    }
    // A fault before the first frame leaves the output as it was (empty).
    if (!walk.whole && walk.frames.empty()) {
        Require(tool.output.empty());
        return 0;
    }
    // The header as the tool formats it, then every complete frame; with the
    // test pattern the frames' bytes are the tool's to draw.
    std::string expected = FormatY4mStreamHeader(header);
    for (size_t f = 0; f < walk.frames.size(); ++f) {
        expected += "FRAME" + walk.frames[f].first + "\n";
        const size_t at = expected.size();
        expected += filtered[f];
        if (settings.test != 0 && tool.output.size() >= expected.size()) {
            expected.replace(at, filtered[f].size(), tool.output, at, filtered[f].size());
        }
    }
    Require(tool.output == expected);
    return 0;
}
