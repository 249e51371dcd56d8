"""bench/QUALITY.md and the CSV of every measurement, from the result rows."""

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
TOP = 6  # settings shown for each degradation in the table by picture
# The kinds of capture a user can name, and the degradations that stand for them.
KINDS = {
    "broadcast": ["broadcast", "broadcast-weak"],
    "vhs": ["vhs", "vhs-worn"],
    "noisy digital": ["noise2", "noise4", "noise8"],
}


@dataclass
class Context:
    command: str
    frames: int
    elapsed: float
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


def mean(values):
    return sum(values) / len(values) if values else float("nan")


def table(head, rows):
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    lines += ["| " + " | ".join(cells) + " |" for cells in rows]
    return lines


class Results:
    def __init__(self, rows, context):
        self.context = context
        self.labels = [s.label for s in context.settings]
        self.by = {(source_name(r), r["setting"]): r for r in rows}
        self.meta = {source_name(r): r for r in rows if r["setting"] == "input"}
        self.sources = list(self.meta)
        self.degraded_classes = [d for d in context.degradations if d != "clean"]

    def psnr(self, source, label):
        return chroma_psnr(self.by[(source, label)])

    def delta(self, source, label):
        return self.psnr(source, label) - self.psnr(source, "input")

    def overshoot(self, source, label):
        return self.by[(source, label)].get("overshoot")

    def select(self, degradation=None, width=None, picture=None):
        return [s for s in self.sources
                if (degradation is None or self.meta[s]["degradation"] == degradation)
                and (width is None or self.meta[s]["width"] == width)
                and (picture is None or self.meta[s]["picture"] == picture)]

    def degraded(self):
        return [s for s in self.sources if self.meta[s]["degradation"] != "clean"]

    def best(self, source):
        label = max(self.labels, key=lambda l: self.psnr(source, l))
        return label, self.delta(source, label)

    def improvable(self):
        return [s for s in self.degraded() if self.best(s)[1] >= IMPROVABLE_DB]

    def max_overshoot(self, label, sources=None):
        values = [self.overshoot(s, label) for s in (self.sources if sources is None else sources)]
        values = [v for v in values if v is not None]
        return max(values) if values else None

    def mean_delta(self, label, sources):
        return mean([self.delta(s, label) for s in sources])

    def pictures(self):
        return list(dict.fromkeys(self.meta[s]["picture"] for s in self.sources))

    def widths(self):
        return sorted({self.meta[s]["width"] for s in self.sources}, reverse=True)

    def picture_widths(self):
        return list(dict.fromkeys((self.meta[s]["picture"], self.meta[s]["width"])
                                  for s in self.sources))


def machine_line():
    model = "unknown processor"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
        load = " ".join(open("/proc/loadavg").read().split()[:3])
    except OSError:
        load = "?"
    return f"{model}, {os.cpu_count()} processors, load average {load} at the end"


def versions():
    root = os.path.dirname(os.path.abspath(__file__))
    try:
        tree = subprocess.run(["git", "-C", root, "describe", "--always", "--dirty"],
                              capture_output=True, text=True, check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        tree = "unknown"
    ffmpeg = subprocess.run(["ffmpeg", "-version"], capture_output=True, text=True).stdout
    return tree, " ".join(ffmpeg.split("\n", 1)[0].split()[:3])


def summary_table(res):
    improvable = res.improvable()
    head = (["setting", "clean: dB"] + [f"{d}: Δ" for d in res.degraded_classes]
            + ["bars overshoot", f"improves (of {len(improvable)})", "worst Δ there"])
    rows = []
    for label in ["input"] + res.labels:
        cells = [label, fmt_db(mean([res.psnr(s, label) for s in res.select("clean")]))]
        for d in res.degraded_classes:
            sources = res.select(d)
            cells.append(fmt_db(mean([res.psnr(s, label) for s in sources])) + " dB"
                         if label == "input" else fmt_delta(res.mean_delta(label, sources)))
        cells.append(fmt_codes(res.max_overshoot(label)))
        if label == "input":
            cells += ["", ""]
        else:
            gains = [res.delta(s, label) for s in improvable]
            cells += [str(sum(g > 0 for g in gains)), fmt_delta(min(gains)) if gains else ""]
        rows.append(cells)
    return table(head, rows)


def best_matrix(res):
    """The best any setting does on each source: what can be gained at all."""
    rows = []
    for picture, width in res.picture_widths():
        cells = [f"{picture} {width}"]
        for d in res.degraded_classes:
            source = res.select(d, width, picture)[0]
            label, gain = res.best(source)
            cells.append(f"{fmt_delta(gain)} {label}" if gain >= IMPROVABLE_DB else fmt_delta(gain))
        rows.append(cells)
    return table(["picture, width"] + res.degraded_classes, rows)


def class_tables(res):
    """For each degradation, the best settings (by mean Δ, overshoot on that
    degradation's bars within the limit), the tool's default and mode 1, Δ
    on each picture."""
    lines = []
    pictures = res.pictures()
    for d in res.degraded_classes:
        sources = res.select(d)
        fit = [l for l in res.labels if (res.max_overshoot(l, sources) or 0.0) <= OVERSHOOT_LIMIT]
        ranked = sorted(fit, key=lambda l: -res.mean_delta(l, sources))[:TOP]
        shown = ranked + [l for l in ("default", "m1-640") if l in res.labels and l not in ranked]
        rows = []
        for label in shown:
            cells = [label, fmt_delta(res.mean_delta(label, sources))]
            cells += [fmt_delta(res.mean_delta(label, res.select(d, picture=p))) for p in pictures]
            cells.append(fmt_codes(res.max_overshoot(label, sources)))
            rows.append(cells)
        lines += [f"**{d}** (input {fmt_db(mean([res.psnr(s, 'input') for s in sources]))} dB)", ""]
        lines += table(["setting", "mean Δ"] + pictures + ["overshoot on these bars"], rows)
        lines.append("")
    return lines


def kind_table(res):
    """For each kind of capture, the settings with the best mean Δ over its
    degradations (each degradation weighing the same), overshoot on their
    bars within the limit."""
    rows = []
    for kind, degradations in KINDS.items():
        present = [d for d in degradations if res.select(d)]
        if not present:
            continue
        bars = [s for d in present for s in res.select(d)]
        def score(label):
            return mean([res.mean_delta(label, res.select(d)) for d in present])
        fit = [l for l in res.labels if (res.max_overshoot(l, bars) or 0.0) <= OVERSHOOT_LIMIT]
        for rank, label in enumerate(sorted(fit, key=lambda l: -score(l))[:3]):
            rows.append([kind if rank == 0 else "", label, fmt_delta(score(label)),
                         " / ".join(fmt_delta(res.mean_delta(label, res.select(d)))
                                    for d in present),
                         fmt_codes(res.max_overshoot(label, bars))])
    return table(["kind of capture", "setting", "mean Δ", "Δ on each of its degradations",
                  "overshoot on their bars"], rows)


def default_candidates(res):
    improvable = res.improvable()
    found = []
    for label in res.labels:
        gains = [res.delta(s, label) for s in improvable]
        over = res.max_overshoot(label)
        if gains and min(gains) > 0 and (over is None or over <= OVERSHOOT_LIMIT):
            found.append((res.mean_delta(label, res.degraded()), label, min(gains),
                          res.mean_delta(label, improvable), over))
    found.sort(key=lambda x: -x[0])
    rows = [[label, fmt_delta(every), fmt_delta(m), fmt_delta(worst), fmt_codes(over)]
            for every, label, worst, m, over in found]
    if not rows:
        return ["None."]
    return table(["setting", "mean Δ, every degraded source", "mean Δ, improvable sources",
                  "worst Δ there", "bars overshoot (every bars source)"], rows)


def line_pairs(res):
    """Settings that differ only in the line kernel: (640 label, 720 label)."""
    pairs = []
    for s in res.context.settings:
        if s.line == "640":
            twin = s.label.replace("640", "720")
            if any(t.label == twin and t.line == "720" for t in res.context.settings):
                pairs.append((s.label, twin))
    return pairs


def line_table(res):
    pairs = line_pairs(res)
    rows = []
    for picture, width in res.picture_widths():
        cells = [f"{picture} {width}"]
        for d in res.degraded_classes:
            source = res.select(d, width, picture)[0]
            cells.append(fmt_delta(mean([res.psnr(source, b) - res.psnr(source, a)
                                         for a, b in pairs])))
        rows.append(cells)
    for width in res.widths():
        cells = [f"**all pictures {width}**"]
        for d in res.degraded_classes:
            sources = res.select(d, width)
            diffs = [res.psnr(s, b) - res.psnr(s, a) for a, b in pairs for s in sources]
            cells.append(f"{fmt_delta(mean(diffs))} ({sum(x > 0 for x in diffs)}/{len(diffs)})")
        rows.append(cells)
    return pairs, table(["picture, width"] + res.degraded_classes, rows)


def source_table(res):
    head = ["source", "input Cb / Cr", "default Cb / Cr", "default Δ", "best setting",
            "best Cb / Cr", "best Δ", "bars overshoot: input / default / best"]
    rows = []
    for s in res.sources:
        def planes(label):
            r = res.by[(s, label)]
            return f"{fmt_db(measure.psnr(r['mse_cb']))} / {fmt_db(measure.psnr(r['mse_cr']))}"
        label, gain = res.best(s)
        has_default = "default" in res.labels
        over = ""
        if res.overshoot(s, "input") is not None:
            over = " / ".join(fmt_codes(res.overshoot(s, l)) if (s, l) in res.by else ""
                              for l in ("input", "default", label))
        rows.append([s, planes("input"), planes("default") if has_default else "",
                     fmt_delta(res.delta(s, "default")) if has_default else "",
                     label, planes(label), fmt_delta(gain), over])
    return table(head, rows)


def settings_table(res):
    rows = []
    for s in res.context.settings:
        if s.peer_line:
            args = f"ffmpeg `convolution`, row mode, the {s.peer_line}-sample taps on Cb and Cr"
        else:
            args = f"`{' '.join(s.args)}`" if s.args else "(none: the tool's defaults)"
        rows.append([s.label, args])
    return table(["label", "arguments"], rows)


def write_csv(path, res):
    with open(path, "w", newline="") as f:
        out = csv.writer(f)
        out.writerow(["picture", "width", "degradation", "setting", "psnr_cb", "psnr_cr",
                      "psnr_chroma", "delta_db", "overshoot", "luma_same"])
        for s in res.sources:
            m = res.meta[s]
            for label in ["input"] + res.labels:
                r = res.by[(s, label)]
                out.writerow([m["picture"], m["width"], m["degradation"], label,
                              f"{measure.psnr(r['mse_cb']):.3f}",
                              f"{measure.psnr(r['mse_cr']):.3f}",
                              f"{chroma_psnr(r):.3f}", f"{res.delta(s, label):.3f}",
                              fmt_codes(r.get("overshoot")), r.get("luma_same", "")])


def write(path, rows, context):
    res = Results(rows, context)
    csv_path = os.path.splitext(path)[0] + ".csv"
    csv_name = os.path.basename(csv_path)
    tree, ffmpeg = versions()
    runs = [r for r in rows if "luma_same" in r]
    same = sum(r["luma_same"] for r in runs)
    pairs, kernel_table = line_table(res)
    reach = measure.OVERSHOOT_REACH
    text = [
        "# Chroma quality of Trelvane's settings",
        "",
        "Written by the quality bench (bench/quality/); do not edit by hand. Made with",
        "",
        "```sh",
        context.command,
        "```",
        "",
        f"on {datetime.date.today().isoformat()} in {context.elapsed:.0f} s ({machine_line()}; "
        f"{platform.python_implementation()} {platform.python_version()}), tree {tree}, "
        f"{ffmpeg}, {context.frames} frames a source. Every measurement is in "
        f"[{csv_name}]({csv_name}); the pictures, the degradation models with their parameters "
        "and the measures are described in [quality/README.md](quality/README.md).",
        "",
        "## How to read this",
        "",
        "- A *source* is a clean picture made by ffmpeg (`testsrc2`, `smptebars`, `mandelbrot`, "
        "a colour zone plate, colour gradients), 4:2:2 8-bit, 480 lines, 720, 704 or 640 pixels "
        "wide, either left clean or degraded along one path: `broadcast` (composite NTSC, "
        "band-pass decoder), `broadcast-weak` (the same with noise on the received signal), "
        "`vhs` and `vhs-worn` (colour-under: 0.5 MHz chroma, delay, chroma noise of σ 3 and 6 "
        "codes), `noiseN` (white chroma noise of σ N codes on the clean picture).",
        "- Each setting's output is compared with the clean source. **dB** is chroma PSNR "
        "(peak 255, Cb and Cr pooled, every sample of every frame); **Δ** is the gain over the "
        "degraded input itself in dB (positive: closer to the clean picture). The `input` row "
        "gives the inputs' own dB. Means are over pictures and widths. Per-plane figures are in "
        "the table of every source and in the CSV.",
        "- **bars overshoot** (SMPTE bars only, 8-bit code values): how far Cb or Cr goes beyond "
        f"the range the clean bars span within {reach} chroma samples ({2 * reach} pixels, the "
        "reach of the 19-tap filters), on the mean over the frames and over the rows the clean "
        "bars hold identical, so that noise and cross-colour, which change from frame to frame "
        "and line to line, average away and the fringes that filtering adds at colour edges "
        "stay. The largest over the bars sources concerned.",
        f"- A degraded source is *improvable* when some setting gains at least {IMPROVABLE_DB} dB "
        "on it. **improves** counts the improvable sources on which a setting gains anything; "
        "**worst Δ there** is its smallest gain (or largest loss) among them.",
        f"- Luma: every output's luma was compared with its input's and was identical in {same} "
        f"of {len(runs)} runs.",
        "",
        "## Summary: mean over the pictures and widths of each degradation",
        "",
        *summary_table(res),
        "",
        "## The best any setting does on each source",
        "",
        f"The largest Δ of all settings and which one gives it; a bare figure means no setting "
        f"gains {IMPROVABLE_DB} dB there (the best is then mode 0, passing the input through).",
        "",
        *best_matrix(res),
        "",
        "## Each degradation, picture by picture",
        "",
        f"The {TOP} best settings by mean Δ among those with at most {OVERSHOOT_LIMIT:g} codes of "
        "overshoot on that degradation's bars, then the tool's default and mode 1 for "
        "comparison; Δ on each picture (mean over its widths).",
        "",
        *class_tables(res),
        "## Kinds of capture",
        "",
        "The three best settings for each kind of capture a user can name: mean Δ over its "
        f"degradations, at most {OVERSHOOT_LIMIT:g} codes of overshoot on their bars.",
        "",
        *kind_table(res),
        "",
        f"## Settings that improve every improvable source, at most {OVERSHOOT_LIMIT:g} codes of "
        "overshoot on every bars source",
        "",
        *default_candidates(res),
        "",
        "## The line kernel",
        "",
        f"dB of the 720-sample kernel minus dB of the 640-sample kernel, mean over the "
        f"{len(pairs)} pairs of settings that differ only in `--line`; in the last rows, over "
        "all pictures of a width, with the number of (pair, source) cases where the 720 kernel "
        "is the better one.",
        "",
        *kernel_table,
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
