// YUV4MPEG2 (y4m) streams: the stream header, frame headers and frame data.
//
// The reader takes arbitrary bytes: every size is checked against the frame
// limits, in 64-bit arithmetic, before a caller allocates anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/byte_io.h"

namespace trelvane::cli {

// kMono: luma alone, no chroma planes.
enum class ChromaLayout { k420, k422, k444, k411, kMono };

// The parts of a stream header the tool acts on, plus every tag as written so
// that the output header can repeat them.
struct Y4mHeader {
    int width = 0;
    int height = 0;
    std::string colourSpace;  // the C tag's value; empty when absent (4:2:0)
    ChromaLayout layout = ChromaLayout::k420;
    int depth = 8;            // bits per sample, 8..16
    bool fullRange = false;   // XCOLORRANGE=FULL
    std::vector<std::string> tags;  // every tag after the signature, in order
};

// Plane sizes of one frame. Luma is width x height samples; each chroma
// plane chromaWidth x chromaHeight; samples of more than 8 bits take two
// little-endian bytes.
struct Y4mFrameLayout {
    int bytesPerSample = 1;
    int chromaWidth = 0;
    int chromaHeight = 0;
    size_t lumaBytes = 0;
    size_t chromaBytes = 0;  // one chroma plane
    size_t frameBytes = 0;   // luma + Cb + Cr, without the frame header
};

// Longest header line accepted, stream or frame.
constexpr size_t kMaxY4mHeaderBytes = 4096;

// Parses a stream header line (without its '\n'). On failure `error` holds a
// one-line reason and the header is left unspecified.
bool ParseY4mStreamHeader(std::string_view line, Y4mHeader& header, std::string& error);

// The header line, '\n' included, repeating the tags in their order.
std::string FormatY4mStreamHeader(const Y4mHeader& header);

// Checks a frame header line (without '\n') and returns its parameters: the
// text after "FRAME", leading space included, empty when there is none.
bool ParseY4mFrameHeader(std::string_view line, std::string& params, std::string& error);

Y4mFrameLayout FrameLayoutOf(const Y4mHeader& header);

// Pixels across that one chroma sample covers: 1 (4:4:4), 2 (4:2:x), 4 (4:1:1).
int PixelsPerChromaSample(ChromaLayout layout);

// Reads a y4m stream from a byte source.
class Y4mReader {
public:
    // inputName: how read errors name the input ("input 'clip.y4m'");
    // inputPath: the file, for the command that decodes another format.
    explicit Y4mReader(ByteSource& source, std::string inputName = "input", std::string inputPath = "")
        : in_(source), inputName_(std::move(inputName)), inputPath_(std::move(inputPath)) {}

    bool ReadHeader(Y4mHeader& header, std::string& error);

    enum class FrameResult { kFrame, kEnd, kError };
    // Reads the next frame header and `frameBytes` bytes of data. kEnd when
    // the stream ended cleanly before a frame header; kError with a reason
    // for a malformed header, a truncated frame or a read failure.
    FrameResult ReadFrame(std::string& params, uint8_t* data, size_t frameBytes, std::string& error);

    // Bytes consumed by the stream header, for estimating the frame count.
    size_t headerBytes() const { return headerBytes_; }

private:
    BufferedReader in_;
    std::string inputName_;
    std::string inputPath_;
    std::string line_;
    size_t headerBytes_ = 0;
};

}  // namespace trelvane::cli
