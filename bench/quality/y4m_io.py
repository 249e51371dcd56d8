"""8-bit 4:2:2 y4m streams as numpy planes: Y (frames, H, W), Cb and Cr
(frames, H, (W + 1) // 2), chroma sample k sitting on pixel 2k."""

import numpy as np


class Clip:
    def __init__(self, y, cb, cr, tags):
        self.y = y
        self.cb = cb
        self.cr = cr
        self.tags = tags  # header tags after W and H, e.g. ["F30000:1001", "It", "A10:11"]

    @property
    def frames(self):
        return self.y.shape[0]


def _plane_sizes(width, height):
    return width * height, ((width + 1) // 2) * height


def parse(data):
    """A whole y4m stream in bytes; only C422 at 8 bits is accepted."""
    end = data.index(b"\n")
    words = data[:end].decode("ascii").split()
    if words[0] != "YUV4MPEG2":
        raise ValueError("not a y4m stream")
    width = height = None
    colour = "420jpeg"
    tags = []
    for word in words[1:]:
        if word[0] == "W":
            width = int(word[1:])
        elif word[0] == "H":
            height = int(word[1:])
        elif word[0] == "C":
            colour = word[1:]
        else:
            tags.append(word)
    if colour != "422":
        raise ValueError(f"colour space C{colour}: the bench reads C422 only")
    luma, chroma = _plane_sizes(width, height)
    frame_bytes = luma + 2 * chroma
    cw = (width + 1) // 2
    body = data[end + 1:]
    # Frames with bare "FRAME" headers, as the tools write them: views, no copies.
    step = 6 + frame_bytes
    if len(body) % step == 0 and body[:6] == b"FRAME\n":
        frames = np.frombuffer(body, np.uint8).reshape(-1, step)
        if (frames[:, :6] == np.frombuffer(b"FRAME\n", np.uint8)).all():
            n = frames.shape[0]
            return Clip(frames[:, 6:6 + luma].reshape(n, height, width),
                        frames[:, 6 + luma:6 + luma + chroma].reshape(n, height, cw),
                        frames[:, 6 + luma + chroma:].reshape(n, height, cw), tags)
    ys, cbs, crs = [], [], []
    pos = end + 1
    while pos < len(data):
        line_end = data.index(b"\n", pos)
        if not data[pos:line_end].startswith(b"FRAME"):
            raise ValueError("expected a FRAME header")
        pos = line_end + 1
        frame = np.frombuffer(data, np.uint8, frame_bytes, pos)
        if frame.size != frame_bytes:
            raise ValueError("truncated frame")
        pos += frame_bytes
        ys.append(frame[:luma].reshape(height, width))
        cbs.append(frame[luma:luma + chroma].reshape(height, cw))
        crs.append(frame[luma + chroma:].reshape(height, cw))
    return Clip(np.stack(ys), np.stack(cbs), np.stack(crs), tags)


def read(path):
    with open(path, "rb") as f:
        return parse(f.read())


def write(path, clip):
    frames, height, width = clip.y.shape
    header = " ".join(["YUV4MPEG2", f"W{width}", f"H{height}", *clip.tags, "C422"]) + "\n"
    with open(path, "wb") as f:
        f.write(header.encode("ascii"))
        for t in range(frames):
            f.write(b"FRAME\n")
            for plane in (clip.y, clip.cb, clip.cr):
                f.write(np.ascontiguousarray(plane[t], dtype=np.uint8).tobytes())
