// Containers recognised by their first bytes, and the command that decodes them.
#include "io/container_magic.h"

namespace trelvane::cli {

namespace {

bool At(std::string_view head, size_t offset, std::string_view mark) {
    return head.size() >= offset + mark.size() && head.substr(offset, mark.size()) == mark;
}

// A file name as one shell word: left as it is when it holds only
// characters no shell treats specially, else in single quotes. Control
// bytes show as '?', as everywhere in the tool's messages.
std::string ShellWord(const std::string& name) {
    std::string shown;
    bool plain = !name.empty() && name[0] != '-';
    for (const char c : name) {
        const bool printable = c >= 0x20 && c < 0x7f;
        shown += printable ? c : '?';
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("_./-+,:@%=").find(c) != std::string_view::npos;
        plain = plain && safe;
    }
    if (plain) return shown;
    std::string quoted = "'";
    for (const char c : shown) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that decodes any video ffmpeg reads into a y4m stream for the
// tool.
std::string DecoderCommand(const std::string& path) {
    const std::string input = path.empty() || path == "-" ? "INPUT" : ShellWord(path);
    return "ffmpeg -i " + input + " -f yuv4mpegpipe - | trelvane - OUTPUT";
}

}  // namespace

const char* RecogniseContainer(std::string_view head) {
    if (At(head, 0, "\x1a\x45\xdf\xa3")) return "a Matroska file";
    if (At(head, 0, "RIFF") && At(head, 8, "AVI ")) return "an AVI file";
    for (const std::string_view box : {"ftyp", "moov", "mdat", "wide", "free", "skip"}) {
        if (At(head, 4, box)) return "an MP4 or QuickTime file";
    }
    if (At(head, 0, std::string_view("\x00\x00\x01\xba", 4))) return "an MPEG program stream";
    if (At(head, 0, "\x47") && At(head, 188, "\x47")) return "an MPEG transport stream";
    // A DV DIF sequence opens with its header section: 1F 07 00.
    if (At(head, 0, std::string_view("\x1f\x07\x00", 3))) return "a DV stream";
    if (At(head, 0, "OggS")) return "an Ogg file";
    return nullptr;
}

std::string DecodeFirstMessage(const char* container, const std::string& path) {
    return std::string("this is ") + container + ", not a y4m stream: decode it with ffmpeg first: " +
           DecoderCommand(path);
}

std::string NotY4mMessage(const std::string& path) {
    return "not a y4m stream: it does not start with 'YUV4MPEG2 '; if it is video in another format, have "
           "ffmpeg decode it: " +
           DecoderCommand(path) + " (raw .yuv also needs -f rawvideo -pix_fmt ... -s WxH before -i)";
}

}  // namespace trelvane::cli
