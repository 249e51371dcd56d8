// Helpers for the tool's tests: temporary files, runs of the tool, y4m streams.
#include "tool_test_support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <png.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "cli_app.h"

namespace trelvane::cli::testing {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "trelvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ToolRun RunToolOn(const std::vector<std::string>& args, const std::string& inPath, const std::string& outPath,
                  const ThreadStarter& startThread) {
    const int in = ::open(inPath.empty() ? "/dev/null" : inPath.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(outPath.empty() ? "/dev/null" : outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::FILE* err = std::tmpfile();
    ToolRun run;
    ToolStreams streams;
    streams.in = in;
    streams.out = out;
    streams.err = err;
    streams.startThread = startThread;
    run.status = RunTool(args, streams);
    std::rewind(err);
    for (int c; (c = std::fgetc(err)) != EOF;) run.err += static_cast<char>(c);
    std::fclose(err);
    ::close(in);
    ::close(out);
    return run;
}

int StartTool(const std::vector<std::string>& args, int in, int out, int err, int64_t fileSizeLimit) {
    std::vector<std::string> argv = {ToolPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // In the child: move the descriptors out of the way first, so that one
    // given as, say, 2 is not closed before it is copied to 1.
    const int given[3] = {in, out, err};
    int moved[3];
    for (int fd = 0; fd < 3; ++fd) moved[fd] = given[fd] < 0 ? -1 : ::fcntl(given[fd], F_DUPFD, 10);
    for (int fd = 0; fd < 3; ++fd) {
        if (moved[fd] < 0) {
            ::close(fd);
        } else {
            ::dup2(moved[fd], fd);
        }
    }
    if (fileSizeLimit >= 0) {
        const rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execv(pointers[0], pointers.data());
    ::_exit(127);
}

int WaitTool(int pid, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int raw = 0;
    while (::waitpid(pid, &raw, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &raw, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : WIFSIGNALED(raw) ? 128 + WTERMSIG(raw) : -1;
}

int Shell(const std::string& command) {
    const int raw = std::system(command.c_str());
    return raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool HaveFfmpeg() {
    return Shell("ffmpeg -version >/dev/null 2>&1") == 0 && Shell("ffprobe -version >/dev/null 2>&1") == 0;
}

std::string ToolPath() { return TRELVANE_TOOL_PATH; }

std::vector<uint8_t> NoiseBytes(size_t count, uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(gen());
    return bytes;
}

std::string MakeY4m(const std::string& header, int frames, size_t frameBytes, uint32_t seed, int depth) {
    std::string y4m = header + "\n";
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> data = NoiseBytes(frameBytes, seed + static_cast<uint32_t>(f));
        if (depth > 8) {
            for (size_t i = 1; i < data.size(); i += 2) data[i] &= static_cast<uint8_t>((1 << (depth - 8)) - 1);
        }
        y4m += "FRAME\n";
        y4m.append(data.begin(), data.end());
    }
    return y4m;
}

DecodedPng ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    DecodedPng png;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return png;
    image.format = PNG_FORMAT_RGB;
    png.rgb.resize(PNG_IMAGE_SIZE(image));
    png.valid = png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) != 0;
    png.width = image.width;
    png.height = image.height;
    return png;
}

}  // namespace trelvane::cli::testing
