"""Clean pictures from ffmpeg and the analog paths that degrade them.

Every picture is handled as floating-point Y'CbCr in 8-bit code values (BT.601
limited range: luma 16..235, chroma 128 +/- 112) at the full pixel rate.
Filters are zero-phase and act along rows only, applied in the frequency
domain on rows extended by mirroring; their responses are given in MHz at the
picture's sampling rate: 13.5 MHz for the BT.601 widths (720 and 704 pixels a
line) and 12 3/11 MHz (780 samples a line) for 640-pixel square-pixel lines.
"""

import subprocess
import zlib

import numpy as np

SUBCARRIER_MHZ = 315.0 / 88.0  # 3.579545 MHz
LINE_CYCLES = 227.5  # subcarrier cycles a line


def sampling_mhz(width):
    return 135.0 / 11.0 if width == 640 else 13.5


# The clean pictures: ffmpeg lavfi graphs, all in motion but the bars.
# {w} and {h} are the picture size. They are rendered at a fifth of the NTSC
# frame rate (and stored as 30000/1001), so that a few frames span seconds of
# motion.
RATE = "6000/1001"
_ZONE_PHASE = "PI*{fmax}*((X-W/2)*(X-W/2)+(Y-H/2)*(Y-H/2))/(W/2)-2*PI*0.3*T"
PICTURES = {
    "testsrc2": "testsrc2=size={w}x{h}:rate=" + RATE + ",format=yuv444p",
    "smptebars": "smptebars=size={w}x{h}:rate=" + RATE + ",format=yuv444p",
    "mandelbrot": "mandelbrot=size={w}x{h}:rate=" + RATE + ",format=yuv444p",
    # Colour rings of constant luma whose chroma frequency rises from 0 at
    # the centre to 0.15 cycles a pixel (2 MHz at 13.5 MHz) at the left and
    # right edges, drifting outwards.
    "zoneplate": ("color=c=gray:size={w}x{h}:rate=" + RATE + ",format=yuv444p,"
                  "geq=lum='126':cb='128+60*cos(" + _ZONE_PHASE.format(fmax=0.15) + ")'"
                  ":cr='128+60*sin(" + _ZONE_PHASE.format(fmax=0.15) + ")'"),
    # Four colours blended smoothly, turning: chroma with little detail.
    "gradients": ("gradients=size={w}x{h}:rate=" + RATE + ":c0=0xc02020:c1=0x2040c0"
                  ":c2=0x20a040:c3=0xd0c030:n=4:speed=0.04:x0=100:y0=60:x1=620:y1=420"
                  ",format=yuv444p"),
}


def render(picture, width, height, frames):
    """Frames of a picture as float Y'CbCr 4:4:4 (frames, 3, height, width)."""
    graph = PICTURES[picture].format(w=width, h=height)
    raw = subprocess.run(
        ["ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", graph,
         "-frames:v", str(frames), "-pix_fmt", "yuv444p", "-f", "rawvideo", "-"],
        check=True, stdout=subprocess.PIPE).stdout
    planes = np.frombuffer(raw, np.uint8).reshape(frames, 3, height, width)
    return planes.astype(np.float64)


def rng_for(name):
    """A generator seeded from the source's name, so every run adds the same noise."""
    return np.random.default_rng(zlib.crc32(name.encode()))


# ---------------------------------------------------------------- row filters

def lowpass_response(cutoff_mhz, transition_mhz):
    """1 below cutoff - transition/2, 0 above cutoff + transition/2, a cos^2
    ramp between (so -6 dB at the cutoff)."""
    def response(f):
        x = np.clip((f - cutoff_mhz) / transition_mhz + 0.5, 0.0, 1.0)
        return np.cos(0.5 * np.pi * x) ** 2
    return response


def gaussian_response(cutoff_mhz):
    """A Gaussian low-pass, -3 dB at the cutoff: the smooth roll-off of
    analog filters, with no ringing (-23 dB at 2.8 times the cutoff)."""
    return lambda f: np.exp(-0.5 * np.log(2.0) * (f / cutoff_mhz) ** 2)


def gaussian_bandpass(centre_mhz, half_width_mhz):
    low = gaussian_response(half_width_mhz)
    return lambda f: low(np.abs(f - centre_mhz))


def filter_rows(x, fs_mhz, response, delay_samples=0.0):
    """Rows of x (last axis) through a response of frequency in MHz, and a
    delay in samples (positive: later, to the right)."""
    width = x.shape[-1]
    n = _fft_size(width + 128)
    left = (n - width) // 2
    right = n - width - left
    ext = np.concatenate([x[..., left:0:-1], x, x[..., -2:-right - 2:-1]], axis=-1)
    freq = np.fft.rfftfreq(n)  # cycles a sample
    h = response(freq * fs_mhz).astype(np.complex128)
    if delay_samples:
        h *= np.exp(-2j * np.pi * freq * delay_samples)
    out = np.fft.irfft(np.fft.rfft(ext, axis=-1) * h, n, axis=-1)
    return out[..., left:left + width]


def _fft_size(at_least):
    """The smallest 2^a 3^b 5^c not below at_least (fast for the FFT)."""
    n = at_least
    while True:
        m = n
        for p in (2, 3, 5):
            while m % p == 0:
                m //= p
        if m == 1:
            return n
        n += 1


# ----------------------------------------------------------- clean 4:2:2

# Chroma before taking every second sample, in cycles a pixel: flat to 0.12,
# nothing from 0.28 on (1.6 and 3.8 MHz at 13.5 MHz); a gentle slope, so that
# the clean picture's colour edges do not ring.
CLEAN_CHROMA_CUTOFF = 0.2
CLEAN_CHROMA_TRANSITION = 0.16


def clean_full_rate(planes):
    """Luma as rendered; chroma band-limited so that every second sample
    represents it (the clean 4:2:2 source is that chroma's even samples)."""
    y, cb, cr = planes[:, 0], planes[:, 1], planes[:, 2]
    # The cutoff is in cycles a pixel: pass fs = 1.
    response = lowpass_response(CLEAN_CHROMA_CUTOFF, CLEAN_CHROMA_TRANSITION)
    return y, filter_rows(cb, 1.0, response), filter_rows(cr, 1.0, response)


def to_codes(x):
    return np.clip(np.rint(x), 0, 255).astype(np.uint8)


def to_422(y, cb, cr):
    """Float full-rate planes to 8-bit 4:2:2 (chroma sample k on pixel 2k)."""
    return to_codes(y), to_codes(cb[..., ::2]), to_codes(cr[..., ::2])


# ------------------------------------------------------------ broadcast NTSC

# Y'CbCr codes <-> U, V of the composite signal (luma 0..1 over 16..235).
U_PER_CB = 0.492111 * 1.772 / 224.0
V_PER_CR = 0.877283 * 1.402 / 224.0
IQ_ANGLE = np.deg2rad(33.0)

BROADCAST = {
    "luma_mhz": 4.2,  # transmitted luma band: -6 dB, cos^2 from 3.9 to 4.5 MHz
    "i_mhz": 1.3,  # I: Gaussian, -3 dB (-23 dB at 3.6 MHz)
    "q_mhz": 0.4,  # Q: Gaussian, -3 dB (-4.7 dB at 0.5 MHz, -6.8 dB at 0.6 MHz)
    # The decoder's chroma band-pass: Gaussian, subcarrier +/- 1.3 MHz at -3 dB.
    "bandpass_half_mhz": 1.3,
    "demod_mhz": 1.3,  # decoder's low-pass after demodulation, U and V alike: Gaussian, -3 dB
}
WEAK_SIGNAL_SNR_DB = 36.0  # broadcast-weak: white noise on the composite, luma range to rms


def line_phase(frame_index, height):
    """Subcarrier phase (cycles) at the start of each row: rows alternate
    between the fields (even rows the first), a field's lines follow each
    other at 227.5 cycles and the second field starts 262.5 lines after the
    first; a frame lasts 525 lines."""
    rows = np.arange(height)
    scan_line = np.where(rows % 2 == 0, rows // 2, 262.5 + rows // 2)
    cycles = LINE_CYCLES * (scan_line + 525.0 * frame_index)
    return np.mod(cycles, 1.0)


def broadcast(y, cb, cr, width, rng=None, snr_db=None, first_frame=0, p=BROADCAST):
    """Composite NTSC through a band-pass/complementary-notch decoder; with
    snr_db, white noise (from rng) on the composite signal as received."""
    fs = sampling_mhz(width)
    frames, height, _ = y.shape
    # The line goes on beyond the picture (mirrored) so that the decoder
    # sees a modulated signal up to the picture's edges.
    margin = 32
    y, cb, cr = (np.pad(p, ((0, 0), (0, 0), (margin, margin)), mode="reflect") for p in (y, cb, cr))
    u = (cb - 128.0) * U_PER_CB
    v = (cr - 128.0) * V_PER_CR
    s, c = np.sin(IQ_ANGLE), np.cos(IQ_ANGLE)
    i_sig = filter_rows(-u * s + v * c, fs, gaussian_response(p["i_mhz"]))
    q_sig = filter_rows(u * c + v * s, fs, gaussian_response(p["q_mhz"]))
    u = -i_sig * s + q_sig * c
    v = i_sig * c + q_sig * s
    luma = filter_rows((y - 16.0) / 219.0, fs, lowpass_response(p["luma_mhz"], 0.6))

    x = np.arange(y.shape[-1]) - margin
    theta = np.empty_like(y)
    for t in range(frames):
        phase = line_phase(first_frame + t, height)[:, None] + SUBCARRIER_MHZ / fs * x[None, :]
        theta[t] = 2.0 * np.pi * phase
    composite = luma + u * np.sin(theta) + v * np.cos(theta)
    if snr_db is not None:
        composite += rng.normal(0.0, 10.0 ** (-snr_db / 20.0), composite.shape)

    chroma = filter_rows(composite, fs, gaussian_bandpass(SUBCARRIER_MHZ, p["bandpass_half_mhz"]))
    luma_out = composite - chroma
    demod = gaussian_response(p["demod_mhz"])
    u_out = filter_rows(2.0 * chroma * np.sin(theta), fs, demod)
    v_out = filter_rows(2.0 * chroma * np.cos(theta), fs, demod)
    inside = slice(margin, -margin)
    return (16.0 + 219.0 * luma_out[..., inside], 128.0 + u_out[..., inside] / U_PER_CB,
            128.0 + v_out[..., inside] / V_PER_CR)


# ------------------------------------------------------------ VHS colour-under

VHS = {
    "chroma_mhz": 0.5,  # both chroma axes: Gaussian, -3 dB
    "delay_ns": 150.0,  # chroma later than luma
    "noise_sigma": 3.0,  # chroma noise, codes, per plane after its band limit
    "noise_mhz": 1.3,  # the capture decoder's chroma band (Gaussian, -3 dB) shapes the noise
}
WORN_VHS_NOISE_SIGMA = 6.0  # vhs-worn: the same with twice the noise


def band_limited_noise(rng, shape, fs, cutoff_mhz, sigma):
    noise = filter_rows(rng.standard_normal(shape), fs, gaussian_response(cutoff_mhz))
    return noise * (sigma / noise.std())


def vhs(y, cb, cr, width, rng, noise_sigma=VHS["noise_sigma"], p=VHS):
    """Colour-under chroma: both axes band-limited, delayed, then noise."""
    fs = sampling_mhz(width)
    delay = p["delay_ns"] * 1e-3 * fs
    band = gaussian_response(p["chroma_mhz"])
    out = []
    for plane in (cb, cr):
        limited = filter_rows(plane - 128.0, fs, band, delay)
        noise = band_limited_noise(rng, plane.shape, fs, p["noise_mhz"], noise_sigma)
        out.append(128.0 + limited + noise)
    return y, out[0], out[1]


# ---------------------------------------------------------- plain chroma noise

NOISE_LEVELS = (2.0, 4.0, 8.0)  # sigma in codes, white, on the 4:2:2 chroma samples


def chroma_noise(cb422, cr422, sigma, rng):
    """White Gaussian noise on the stored half-rate chroma samples."""
    return tuple(to_codes(plane + rng.normal(0.0, sigma, plane.shape))
                 for plane in (cb422.astype(np.float64), cr422.astype(np.float64)))
