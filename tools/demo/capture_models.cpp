// The demo's built-in capture and its broadcast and VHS models.
#include "demo/capture_models.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "pictures/bitmap_font.h"

namespace trelvane::cli {

namespace {

constexpr double kSampleRate = 13.5e6;
constexpr double kSubcarrier = 3579545.0;
constexpr double kIqAngle = 33.0 * std::numbers::pi / 180.0;

using Row = std::vector<double>;

// Y'CbCr of one pixel in 8-bit code values, chroma centred on 0.
struct Pixel {
    double y;
    double cb;
    double cr;
};

// BT.601 limited range from R'G'B' in 0..1.
Pixel FromRgb(double r, double g, double b) {
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    return {16 + 219 * y, 224 * (b - y) / 1.772, 224 * (r - y) / 1.402};
}

// The clean picture, one pixel at a time.
std::vector<Pixel> CleanPicture() {
    const int w = kCaptureWidth;
    const int h = kCaptureHeight;
    std::vector<Pixel> p(static_cast<size_t>(w) * h);
    const auto at = [&](int x, int y) -> Pixel& { return p[static_cast<size_t>(y) * w + x]; };
    // 75 % colour bars.
    constexpr std::array<std::array<double, 3>, 7> kBars = {{{.75, .75, .75}, {.75, .75, 0}, {0, .75, .75}, {0, .75, 0},
                                                            {.75, 0, .75}, {.75, 0, 0}, {0, 0, .75}}};
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto& c = kBars[static_cast<size_t>(x * 7 / w)];
            at(x, y) = FromRgb(c[0], c[1], c[2]);
        }
    }
    // A luma sweep on grey, 0.5 MHz at the left to 5 MHz at the right.
    double phase = 0;
    for (int x = 0; x < w; ++x) {
        phase += 2 * std::numbers::pi * (0.5e6 + 4.5e6 * x / w) / kSampleRate;
        for (int y = 200; y < 300; ++y) at(x, y) = {126 + 80 * std::sin(phase), 0, 0};
    }
    // Yellow lettering on blue, then a hue ramp.
    RgbImage letters(w, 90);
    FillRect(letters, 0, 0, w, 90, {255, 0, 0});
    DrawText(letters, 36, 10, "NTSC 1987", 10, {0, 255, 0});
    for (int y = 300; y < 390; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool ink = letters.At(x, y - 300)[1] != 0;
            at(x, y) = ink ? FromRgb(.8, .75, .1) : FromRgb(.1, .15, .55);
        }
    }
    for (int x = 0; x < w; ++x) {
        const double hue = 2 * std::numbers::pi * x / w;
        const Pixel c = FromRgb(.45 + .3 * std::cos(hue), .45 + .3 * std::cos(hue - 2.094), .45 + .3 * std::cos(hue + 2.094));
        for (int y = 390; y < h; ++y) at(x, y) = c;
    }
    return p;
}

// A Gaussian low-pass, -3 dB at `frequency`, edges extended.
Row Gaussian(const Row& in, double frequency) {
    const double sigma = std::sqrt(std::log(2.0)) / (2 * std::numbers::pi * frequency) * kSampleRate;
    const int radius = static_cast<int>(std::ceil(4 * sigma));
    Row taps(static_cast<size_t>(2 * radius + 1));
    double sum = 0;
    for (int k = -radius; k <= radius; ++k) sum += taps[static_cast<size_t>(k + radius)] = std::exp(-k * k / (2 * sigma * sigma));
    const int n = static_cast<int>(in.size());
    Row out(in.size(), 0.0);
    for (int x = 0; x < n; ++x) {
        double acc = 0;
        for (int k = -radius; k <= radius; ++k) acc += taps[static_cast<size_t>(k + radius)] * in[static_cast<size_t>(std::clamp(x + k, 0, n - 1))];
        out[static_cast<size_t>(x)] = acc / sum;
    }
    return out;
}

// Composite NTSC through a band-pass decoder; luma stays as it was.
void Broadcast(Row& y, Row& cb, Row& cr, int rowIndex) {
    const size_t n = y.size();
    Row i(n), q(n);
    for (size_t x = 0; x < n; ++x) {
        const double u = 0.492 * cb[x] * 1.772 / 224;
        const double v = 0.877 * cr[x] * 1.402 / 224;
        i[x] = v * std::cos(kIqAngle) - u * std::sin(kIqAngle);
        q[x] = v * std::sin(kIqAngle) + u * std::cos(kIqAngle);
    }
    i = Gaussian(i, 1.3e6);
    q = Gaussian(q, 0.4e6);
    // Rows alternate in subcarrier phase (227.5 cycles a line).
    const double step = 2 * std::numbers::pi * kSubcarrier / kSampleRate;
    const double start = rowIndex % 2 == 0 ? 0 : std::numbers::pi;
    Row composite(n), sinRow(n), cosRow(n);
    for (size_t x = 0; x < n; ++x) {
        const double u = -i[x] * std::sin(kIqAngle) + q[x] * std::cos(kIqAngle);
        const double v = i[x] * std::cos(kIqAngle) + q[x] * std::sin(kIqAngle);
        const double theta = start + step * static_cast<double>(x);
        composite[x] = (y[x] - 16) / 219 + u * std::sin(theta) + v * std::cos(theta);
    }
    // The band-pass: the composite minus its low band.
    const Row low = Gaussian(composite, 2.0e6);
    for (size_t x = 0; x < n; ++x) {
        const double theta = start + step * static_cast<double>(x);
        const double chroma = composite[x] - low[x];
        sinRow[x] = 2 * chroma * std::sin(theta);
        cosRow[x] = 2 * chroma * std::cos(theta);
    }
    const Row u = Gaussian(sinRow, 1.3e6);
    const Row v = Gaussian(cosRow, 1.3e6);
    for (size_t x = 0; x < n; ++x) {
        cb[x] = u[x] / 0.492 / 1.772 * 224;
        cr[x] = v[x] / 0.877 / 1.402 * 224;
    }
}

// Deterministic Gaussian noise (splitmix64 and Box-Muller).
class Noise {
public:
    double Next() {
        const double u1 = (static_cast<double>(Bits() >> 11) + 0.5) / 9007199254740992.0;
        const double u2 = static_cast<double>(Bits() >> 11) / 9007199254740992.0;
        return std::sqrt(-2 * std::log(u1)) * std::cos(2 * std::numbers::pi * u2);
    }

private:
    uint64_t Bits() {
        uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    uint64_t state_ = 1987;
};

// Noise of sigma codes after a 1.3 MHz band limit.
Row ChromaNoise(size_t n, double sigma, Noise& noise) {
    Row white(n);
    for (double& v : white) v = noise.Next();
    Row band = Gaussian(white, 1.3e6);
    double power = 0;
    for (const double v : band) power += v * v;
    const double scale = sigma / std::sqrt(power / static_cast<double>(n));
    for (double& v : band) v *= scale;
    return band;
}

void Vhs(Row& cb, Row& cr, Noise& noise) {
    for (Row* c : {&cb, &cr}) {
        const Row low = Gaussian(*c, 0.5e6);
        const Row grain = ChromaNoise(c->size(), 3.0, noise);
        for (size_t x = 0; x < c->size(); ++x) (*c)[x] = low[x < 2 ? 0 : x - 2] + grain[x];
    }
}

uint8_t Code(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

}  // namespace

std::string CaptureHeaderLine() { return "YUV4MPEG2 W720 H480 F30000:1001 It A10:11 C422"; }

std::vector<uint8_t> CaptureFrame(AnalogPath path) {
    const int w = kCaptureWidth;
    const int h = kCaptureHeight;
    const std::vector<Pixel> clean = CleanPicture();
    const size_t lumaBytes = static_cast<size_t>(w) * h;
    const size_t chromaBytes = lumaBytes / 2;
    std::vector<uint8_t> frame(lumaBytes + 2 * chromaBytes);
    Noise noise;
    Row y(static_cast<size_t>(w)), cb(y.size()), cr(y.size());
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x) {
            const Pixel& p = clean[static_cast<size_t>(r) * w + x];
            y[static_cast<size_t>(x)] = p.y;
            cb[static_cast<size_t>(x)] = p.cb;
            cr[static_cast<size_t>(x)] = p.cr;
        }
        if (path == AnalogPath::kBroadcast) Broadcast(y, cb, cr, r);
        if (path == AnalogPath::kVhs) Vhs(cb, cr, noise);
        // 4:2:2: chroma sample k on pixel 2k, after a (1, 2, 1)/4 smoothing.
        for (int x = 0; x < w; ++x) frame[static_cast<size_t>(r) * w + x] = Code(y[static_cast<size_t>(x)]);
        for (int k = 0; k < w / 2; ++k) {
            const size_t x = static_cast<size_t>(2 * k);
            const size_t left = x == 0 ? 0 : x - 1;
            const size_t at = lumaBytes + static_cast<size_t>(r) * (w / 2) + static_cast<size_t>(k);
            frame[at] = Code(128 + (cb[left] + 2 * cb[x] + cb[x + 1]) / 4);
            frame[at + chromaBytes] = Code(128 + (cr[left] + 2 * cr[x] + cr[x + 1]) / 4);
        }
    }
    return frame;
}

}  // namespace trelvane::cli
