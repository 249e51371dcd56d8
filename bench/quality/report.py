"""bench/QUALITY.md and its CSV of every measurement, from the result rows."""

import csv
import datetime
import math
import os
import platform
import subprocess
from dataclasses import dataclass

import measure

IMPROVABLE_DB = 0.1  # a source counts as improvable when some setting gains this much
OVERSHOOT_LIMIT = 8.0  # codes, on the SMPTE bars


@dataclass
class Context:
    command: str
    frames: int
    elapsed: float
    tool: str
    settings: list
    degradations: list


def chroma_psnr(row):
    return measure.psnr((row["mse_cb"] + row["mse_cr"]) / 2.0)


def source_name(row):
    return f"{row['picture']}-{row['width']}-{row['degradation']}"


def fmt_db(value):
    if math.isinf(value):
        return "∞" if value > 0 else "−∞"
    return f"{value:.2f}"


def fmt_delta(value):
    return f"{value:+.2f}".replace("-", "−")


def fmt_codes(value):
    return "" if value is None else f"{value:.1f}"


class Results:
    def __init__(self, rows, context):
        self.context = context
        self.labels = ["input"] + [s.label for s in context.settings]
        self.by = {(source_name(r), r["setting"]): r for r in rows}
        self.sources = []
        for r in rows:
            name = source_name(r)
            if name not in self.sources:
                self.sources.append(name)
        self.meta = {source_name(r): r for r in rows if r["setting"] == "input"}

    def psnr(self, source, label):
        return chroma_psnr(self.by[(source, label)])

    def delta(self, source, label):
        return self.psnr(source, label) - self.psnr(source, "input")

    def overshoot(self, source, label):
        return self.by[(source, label)].get("overshoot")

    def of_class(self, degradation, width=None):
        return [s for s in self.sources if self.meta[s]["degradation"] == degradation
                and (width is None or self.meta[s]["width"] == width)]

    def degraded(self):
        return [s for s in self.sources if self.meta[s]["degradation"] != "clean"]

    def best(self, source):
        label = max(self.labels[1:], key=lambda l: self.psnr(source, l))
        return label, self.delta(source, label)

    def improvable(self):
        return [s for s in self.degraded() if self.best(s)[1] >= IMPROVABLE_DB]

    def max_overshoot(self, label, sources=None):
        values = [self.overshoot(s, label) for s in (sources or self.sources)]
        values = [v for v in values if v is not None]
        return max(values) if values else None

    def widths(self):
        return sorted({self.meta[s]["width"] for s in self.sources}, reverse=True)


def mean(values):
    return sum(values) / len(values) if values else float("nan")


def machine_line():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    load = " ".join(open("/proc/loadavg").read().split()[:3]) if os.path.exists("/proc/loadavg") else "?"
    return f"{model}, {os.cpu_count()} processors, load average {load} at the end"


def tool_version(tool):
    root = os.path.dirname(os.path.abspath(__file__))
    try:
        commit = subprocess.run(["git", "-C", root, "describe", "--always", "--dirty"],
                                capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "unknown"
    ffmpeg = subprocess.run(["ffmpeg", "-version"], capture_output=True, text=True).stdout
    return commit, " ".join(ffmpeg.split("\n", 1)[0].split()[:3])


def settings_table(res):
    lines = ["| label | arguments |", "|---|---|"]
    for s in res.context.settings:
        args = " ".join(s.args) if s.args else "(none: the tool's defaults)"
        if s.peer_line:
            args = f"ffmpeg `convolution`, row mode, the {s.peer_line}-sample taps on Cb and Cr"
        else:
            args = f"`{args}`"
        lines.append(f"| {s.label} | {args} |")
    return lines


def summary_table(res):
    degraded = [d for d in res.context.degradations if d != "clean"]
    improvable = res.improvable()
    head = (["setting", "clean: dB"] + [f"{d}: Δ dB" for d in degraded]
            + ["bars overshoot", f"improves (of {len(improvable)})", "worst Δ there"])
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for label in res.labels:
        cells = [label, fmt_db(mean([res.psnr(s, label) for s in res.of_class("clean")]))]
        for d in degraded:
            sources = res.of_class(d)
            if label == "input":
                cells.append(fmt_db(mean([res.psnr(s, label) for s in sources])) + " dB")
            else:
                cells.append(fmt_delta(mean([res.delta(s, label) for s in sources])))
        cells.append(fmt_codes(res.max_overshoot(label)))
        if label == "input":
            cells += ["", ""]
        else:
            gains = [res.delta(s, label) for s in improvable]
            cells += [str(sum(g > 0 for g in gains)), fmt_delta(min(gains)) if gains else ""]
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def best_by_class(res, count=5):
    lines = []
    for d in res.context.degradations:
        sources = res.of_class(d)
        fit = [l for l in res.labels[1:]
               if (res.max_overshoot(l, sources) or 0.0) <= OVERSHOOT_LIMIT]
        if d == "clean":
            ranked = sorted(fit, key=lambda l: -mean([res.psnr(s, l) for s in sources]))
            text = ", ".join(f"{l} {fmt_db(mean([res.psnr(s, l) for s in sources]))} dB"
                             for l in ranked[:count])
        else:
            ranked = sorted(fit, key=lambda l: -mean([res.delta(s, l) for s in sources]))
            text = ", ".join(f"{l} {fmt_delta(mean([res.delta(s, l) for s in sources]))}"
                             for l in ranked[:count])
        lines.append(f"- **{d}**: {text}")
    return lines


def line_table(res):
    """The two kernels on each width: mode 1 alone, and every pair of settings
    that differ only in the kernel."""
    pairs = []
    for s in res.context.settings:
        if s.line == "640":
            twin = [t for t in res.context.settings
                    if t.line == "720" and t.label == s.label.replace("640", "720")]
            if twin:
                pairs.append((s.label, twin[0].label))
    degraded = [d for d in res.context.degradations if d != "clean"]
    head = ["width", "degradation", "m1-640 Δ", "m1-720 Δ",
            f"720 − 640, mean over {len(pairs)} pairs", "pairs where 720 is better"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for width in res.widths():
        for d in degraded:
            sources = res.of_class(d, width)
            if not sources:
                continue
            diffs = [res.psnr(s, b) - res.psnr(s, a) for a, b in pairs for s in sources]
            wins = sum(x > 0 for x in diffs)
            m1 = [fmt_delta(mean([res.delta(s, l) for s in sources]))
                  if (sources[0], l) in res.by else "" for l in ("m1-640", "m1-720")]
            lines.append(f"| {width} | {d} | {m1[0]} | {m1[1]} | {fmt_delta(mean(diffs))} "
                         f"| {wins} of {len(diffs)} |")
    return lines


def source_table(res):
    head = ["source", "input Cb / Cr dB", "default Cb / Cr", "default Δ", "best setting",
            "best Cb / Cr", "best Δ", "bars overshoot: input / default / best"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for s in res.sources:
        def planes(label):
            r = res.by[(s, label)]
            return f"{fmt_db(measure.psnr(r['mse_cb']))} / {fmt_db(measure.psnr(r['mse_cr']))}"
        best, gain = res.best(s)
        has_default = (s, "default") in res.by
        over = ""
        if res.overshoot(s, "input") is not None:
            over = " / ".join(fmt_codes(res.overshoot(s, l)) if (s, l) in res.by else ""
                              for l in ("input", "default", best))
        lines.append("| " + " | ".join([
            s, planes("input"), planes("default") if has_default else "",
            fmt_delta(res.delta(s, "default")) if has_default else "",
            best, planes(best), fmt_delta(gain), over]) + " |")
    return lines


def unimprovable(res):
    lines = []
    for s in res.degraded():
        label, gain = res.best(s)
        if gain < IMPROVABLE_DB:
            lines.append(f"- {s}: best {label}, {fmt_delta(gain)} dB")
    return lines or ["- none: some setting gains at least "
                     f"{IMPROVABLE_DB} dB on every degraded source"]


def default_candidates(res):
    improvable = res.improvable()
    lines = []
    for label in res.labels[1:]:
        gains = [res.delta(s, label) for s in improvable]
        over = res.max_overshoot(label)
        if gains and min(gains) > 0 and (over is None or over <= OVERSHOOT_LIMIT):
            degraded = mean([res.delta(s, label) for s in res.degraded()])
            lines.append((degraded, f"- {label}: mean Δ {fmt_delta(degraded)} dB over the degraded "
                                    f"sources, worst {fmt_delta(min(gains))} dB on an improvable one, "
                                    f"bars overshoot {fmt_codes(over)}"))
    lines.sort(key=lambda x: -x[0])
    return [text for _, text in lines] or ["- none"]


def write_csv(path, res):
    with open(path, "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["picture", "width", "degradation", "setting", "psnr_cb", "psnr_cr",
                      "psnr_chroma", "delta_db", "overshoot", "luma_same"])
        for s in res.sources:
            m = res.meta[s]
            for label in res.labels:
                r = res.by[(s, label)]
                out.writerow([m["picture"], m["width"], m["degradation"], label,
                              f"{measure.psnr(r['mse_cb']):.3f}", f"{measure.psnr(r['mse_cr']):.3f}",
                              f"{chroma_psnr(r):.3f}", f"{res.delta(s, label):.3f}",
                              fmt_codes(r.get("overshoot")), r.get("luma_same", "")])


def write(path, rows, context):
    res = Results(rows, context)
    csv_path = os.path.splitext(path)[0] + ".csv"
    commit, ffmpeg = tool_version(context.tool)
    runs = [r for r in rows if "luma_same" in r]
    same = sum(r["luma_same"] for r in runs)
    text = [
        "# Chroma quality of Trelvane's settings",
        "",
        "Written by the quality bench; do not edit by hand. Made with",
        "",
        "```sh",
        context.command,
        "```",
        "",
        f"on {datetime.date.today().isoformat()} in {context.elapsed:.0f} s "
        f"({machine_line()}; {platform.python_implementation()} {platform.python_version()}), "
        f"tree {commit}, {ffmpeg}, {context.frames} frames a source. Every measurement is in "
        f"[{os.path.basename(csv_path)}]({os.path.basename(csv_path)}); the sources, degradations "
        "and measures are described in [quality/README.md](quality/README.md).",
        "",
        "## How to read this",
        "",
        "- A *source* is a clean picture from ffmpeg (`testsrc2`, `smptebars`, `mandelbrot`, a "
        "colour zone plate), 4:2:2 8-bit, 480 lines, 720, 704 or 640 pixels wide, either clean "
        "or degraded along one analog path: `broadcast` (composite NTSC through a band-pass "
        "decoder), `vhs` (colour-under: 0.5 MHz chroma, delay, noise), `noiseN` (white chroma "
        "noise of σ N codes).",
        "- Each setting's output is compared with the clean source. **dB** is chroma PSNR "
        "(peak 255, both chroma planes pooled over every sample of every frame); **Δ** is its "
        "gain over the degraded input itself (positive: closer to the clean picture; the "
        "`input` row gives the input's own dB). Per-plane figures (Cb, Cr) are in the table of "
        "every source and in the CSV.",
        "- **bars overshoot** (SMPTE bars only, in 8-bit code values): how far Cb or Cr goes "
        f"beyond the range the clean bars span within {measure.OVERSHOOT_REACH} chroma samples "
        f"({2 * measure.OVERSHOOT_REACH} pixels, the reach of the 19-tap filters), measured on "
        "the mean over frames and over identical rows, so that noise and cross-colour, which "
        "change from frame to frame and line to line, average away and the fringes a filter "
        "adds at colour edges stay. Largest over every bars source.",
        f"- A degraded source is *improvable* when some setting gains at least {IMPROVABLE_DB} dB "
        "on it. **improves** counts the improvable sources on which the setting gains anything, "
        "**worst Δ there** is its smallest gain (or largest loss) among them.",
        f"- Luma: every output's luma was compared with its input's: identical in {same} of "
        f"{len(runs)} runs.",
        "",
        "## Summary: mean over the pictures and widths of each degradation",
        "",
        *summary_table(res),
        "",
        f"## Best settings for each degradation (mean Δ, bars overshoot at most {OVERSHOOT_LIMIT:g})",
        "",
        *best_by_class(res),
        "",
        f"## Settings that improve every improvable source, bars overshoot at most "
        f"{OVERSHOOT_LIMIT:g} codes",
        "",
        *default_candidates(res),
        "",
        "## Sources no setting improves by 0.1 dB",
        "",
        *unimprovable(res),
        "",
        "## The line kernel on each width",
        "",
        "Δ of mode 1 with either kernel, and the difference the kernel makes over every pair "
        "of settings that differ only in `--line` (mean over the pairs and pictures).",
        "",
        *line_table(res),
        "",
        "## Every source",
        "",
        *source_table(res),
        "",
        "## The settings",
        "",
        "From `bench/quality/settings.txt`; each trelvane run also gets `-q --threads 1`.",
        "",
        *settings_table(res),
        "",
    ]
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(text))
    write_csv(csv_path + ".tmp", res)
    os.replace(csv_path + ".tmp", csv_path)
    os.replace(tmp, path)
