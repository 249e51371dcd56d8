"""The quality bench: clean pictures from ffmpeg, degraded along analog paths,
through every setting in settings.txt, measured against the clean source.
Run it through bench/quality/run (see README.md there)."""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import analog
import measure
import report
import y4m_io

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
HEIGHT = 480

# 704-wide lines are sampled as 720-wide ones (13.5 MHz), so two pictures
# there show that the kernels behave the same on both.
FULL_PLAN = {
    "frames": 8,
    "pictures": ([(p, 720) for p in analog.PICTURES] + [("testsrc2", 704), ("smptebars", 704)]
                 + [(p, 640) for p in analog.PICTURES]),
}
QUICK_PLAN = {
    "frames": 3,
    "pictures": [("testsrc2", 720), ("smptebars", 720)],
}
DEGRADATIONS = (["clean", "broadcast", "broadcast-weak", "vhs", "vhs-worn"]
                + [f"noise{s:g}" for s in analog.NOISE_LEVELS])


class Setting:
    def __init__(self, label, args):
        self.label = label
        self.args = args

    @property
    def peer_line(self):
        return self.args[1] if self.args[:1] == ["@ffmpeg"] else None

    @property
    def line(self):
        """The kernel the setting names, or None when it leaves the tool's choice."""
        if self.peer_line:
            return self.peer_line
        for i, arg in enumerate(self.args):
            if arg == "--line" and i + 1 < len(self.args):
                return self.args[i + 1]
            if arg.startswith("--line="):
                return arg.split("=", 1)[1]
        return None


def read_settings(path):
    settings = []
    with open(path) as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            setting = Setting(words[0], words[1:])
            if setting.args[:1] == ["@ffmpeg"] and setting.args[1:] not in (["640"], ["720"]):
                sys.exit(f"quality: {path}: '{line.strip()}': @ffmpeg takes 640 or 720")
            if any(s.label == setting.label for s in settings):
                sys.exit(f"quality: {path}: label '{setting.label}' appears twice")
            settings.append(setting)
    return settings


def peer_filters():
    """ffmpeg convolution graphs with the kernels' own 19 taps, read from the
    tool's source so that the peer cannot drift from what the tool applies."""
    text = open(os.path.join(ROOT, "src", "kernels", "scalar", "chroma_filters.h")).read()
    graphs = {}
    for line in ("640", "720"):
        match = re.search(r"kLowPass%sTaps\[10\]\s*=\s*\{([^}]*)\}" % line, text)
        half = [int(v) for v in match.group(1).replace("\n", " ").split(",")]
        taps = half[:0:-1] + half
        if len(taps) != 19 or sum(taps) != 65536:
            sys.exit(f"quality: cannot read the {line}-sample taps")
        matrix = " ".join(str(t) for t in taps)
        rdiv = 1.0 / 65536.0
        graphs[line] = (f"convolution=1m='{matrix}':2m='{matrix}':1rdiv={rdiv}:2rdiv={rdiv}"
                        ":1bias=0:2bias=0:1mode=row:2mode=row")
    return graphs


def make_sources(picture, width, frames):
    """The clean 4:2:2 source and each degradation of it, as (y, cb, cr) uint8."""
    planes = analog.render(picture, width, HEIGHT, frames)
    y, cb, cr = analog.clean_full_rate(planes)
    clean = analog.to_422(y, cb, cr)
    def rng(degradation):
        return analog.rng_for(f"{picture}-{width}-{degradation}")
    sources = {
        "clean": clean,
        "broadcast": analog.to_422(*analog.broadcast(y, cb, cr, width)),
        "broadcast-weak": analog.to_422(*analog.broadcast(
            y, cb, cr, width, rng("broadcast-weak"), analog.WEAK_SIGNAL_SNR_DB)),
        "vhs": analog.to_422(*analog.vhs(y, cb, cr, width, rng("vhs"))),
        "vhs-worn": analog.to_422(*analog.vhs(y, cb, cr, width, rng("vhs-worn"),
                                              analog.WORN_VHS_NOISE_SIGMA)),
    }
    for sigma in analog.NOISE_LEVELS:
        noisy = analog.chroma_noise(clean[1], clean[2], sigma, rng(f"noise{sigma:g}"))
        sources[f"noise{sigma:g}"] = (clean[0], *noisy)
    assert list(sources) == DEGRADATIONS
    return clean, sources


def run_setting(setting, path, tool, peers):
    """The setting's output for the source at path (written beside it, read
    back and removed: a file is quicker to take in than a pipe)."""
    result = path[:-len(".y4m")] + ".out.y4m"
    if setting.peer_line:
        command = ["ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-filter_threads", "1",
                   "-i", path, "-vf", peers[setting.peer_line], "-f", "yuv4mpegpipe", "-y", result]
    else:
        command = [tool, "-q", "--threads", "1", *setting.args, path, result]
    done = subprocess.run(command, stderr=subprocess.PIPE)
    try:
        if done.returncode != 0:
            raise RuntimeError(f"{' '.join(command)}: status {done.returncode}: "
                               f"{done.stderr.decode(errors='replace').strip()}")
        return y4m_io.read(result)
    finally:
        if os.path.exists(result):
            os.unlink(result)


def scores(out_cb, out_cr, clean, groups):
    row = {"mse_cb": measure.mse(out_cb, clean[1]), "mse_cr": measure.mse(out_cr, clean[2])}
    if groups is not None:
        row["overshoot"] = max(measure.overshoot(out_cb, clean[1], groups),
                               measure.overshoot(out_cr, clean[2], groups))
    return row


def measure_picture(picture, width, frames, settings, tool, peers, workdir):
    """Every degradation of one picture through every setting: result rows."""
    clean, sources = make_sources(picture, width, frames)
    still = measure.is_still(clean[1]) and measure.is_still(clean[2])
    groups = measure.row_groups(clean[1].astype(int) * 256 + clean[2]) if still else None
    aspect = "A1:1" if width == 640 else "A10:11"
    rows = []
    for degradation in DEGRADATIONS:
        y, cb, cr = sources[degradation]
        source = f"{picture}-{width}-{degradation}"
        path = os.path.join(workdir, source + ".y4m")
        y4m_io.write(path, y4m_io.Clip(y, cb, cr, ["F30000:1001", "It", aspect]))
        base = {"picture": picture, "width": width, "degradation": degradation}
        rows.append({**base, "setting": "input", **scores(cb, cr, clean, groups)})
        for setting in settings:
            out = run_setting(setting, path, tool, peers)
            if out.y.shape != y.shape or out.cb.shape != cb.shape:
                raise RuntimeError(f"{setting.label} on {source}: the output's geometry differs")
            rows.append({**base, "setting": setting.label, "luma_same": bool((out.y == y).all()),
                         **scores(out.cb, out.cr, clean, groups)})
    return rows


def main():
    parser = argparse.ArgumentParser(prog="bench/quality/run", description=__doc__)
    parser.add_argument("--quick", action="store_true",
                        help="smoke run: two pictures at 720 wide, 3 frames")
    parser.add_argument("--tool",
                        default=os.path.join(ROOT, "build", "default", "tools", "trelvane"))
    parser.add_argument("--settings", default=os.path.join(HERE, "settings.txt"))
    parser.add_argument("--out", help="the report (default bench/QUALITY.md; "
                        "with --quick build/quality/QUALITY-quick.md)")
    parser.add_argument("--jobs", type=int, default=2, help="pictures measured at once (default 2)")
    parser.add_argument("--keep", metavar="DIR", help="keep the degraded sources in DIR")
    args = parser.parse_args()

    started = time.monotonic()
    plan = QUICK_PLAN if args.quick else FULL_PLAN
    out = args.out
    if out is None:
        out = os.path.join(ROOT, "build", "quality", "QUALITY-quick.md") if args.quick \
            else os.path.join(ROOT, "bench", "QUALITY.md")
    if not os.access(args.tool, os.X_OK):
        sys.exit(f"quality: no trelvane program at '{args.tool}' (build it, or give --tool)")
    settings = read_settings(args.settings)
    peers = peer_filters()
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        workdir = args.keep
    else:
        workdir = tempfile.mkdtemp(prefix="trelvane-quality.")
    pool = concurrent.futures.ProcessPoolExecutor(max_workers=max(1, args.jobs))
    try:
        rows = []
        futures = [pool.submit(measure_picture, picture, width, plan["frames"], settings,
                               args.tool, peers, workdir)
                   for picture, width in plan["pictures"]]
        for (picture, width), future in zip(plan["pictures"], futures):
            rows.extend(future.result())
            print(f"quality: {picture} {width} wide measured "
                  f"({time.monotonic() - started:.0f} s)", file=sys.stderr)
    except (RuntimeError, OSError, subprocess.CalledProcessError, ValueError) as error:
        pool.shutdown(cancel_futures=True)
        sys.exit(f"quality: {error}")
    finally:
        pool.shutdown()
        if not args.keep:
            shutil.rmtree(workdir, ignore_errors=True)
    elapsed = time.monotonic() - started

    bad = [r for r in rows if r.get("luma_same") is False]
    command = "bench/quality/run" + "".join(f" {a}" for a in sys.argv[1:])
    context = report.Context(command=command, frames=plan["frames"], elapsed=elapsed,
                             settings=settings, degradations=DEGRADATIONS)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    report.write(out, rows, context)
    print(f"quality: {len(rows)} measurements in {elapsed:.0f} s; report in {out}", file=sys.stderr)
    if bad:
        for r in bad:
            print(f"quality: luma changed: {r['setting']} on "
                  f"{r['picture']}-{r['width']}-{r['degradation']}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
