// Container and stream formats a user may hand the tool instead of y4m,
// recognised by their first bytes, so that the refusal can say what to do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trelvane::cli {

// Bytes RecogniseContainer needs to see at most (an MPEG transport stream's
// second sync byte).
constexpr size_t kContainerMagicBytes = 189;

// "a Matroska file", "an AVI file", ... for the first bytes of one; null for
// anything else (y4m included). Fewer bytes than a format's mark needs do
// not match it.
const char* RecogniseContainer(std::string_view head);

// The one line that refuses such an input: what it is, and the ffmpeg
// command that turns it into a y4m stream for the tool. `path` names the
// input in that command ("" or "-": standard input).
std::string DecodeFirstMessage(const char* container, const std::string& path);

// The same for bytes of no format the tool recognises (raw .yuv, FLV, ...).
std::string NotY4mMessage(const std::string& path);

}  // namespace trelvane::cli
