#!/usr/bin/env python3
"""Writes the bundled station scripts: a short Toledo shift and a short Yaohua shift.

The scripts are what the live monitor records (one received chunk a line, each chunk one indicator frame)
plus the operator's actions. Run it from anywhere; it rewrites the files beside it. Deterministic.
"""
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
FRAME_MS = 50  # 20 readings a second


def toledo_frame(hundredths):
    digits = "%06d" % max(0, min(999999, hundredths))
    swa, swb, swc = 0x2C, 0x30, 0x20  # XXXX.XX, increment 1; gross, kg; no print request
    body = bytes([0x02, swa, swb, swc]) + digits.encode() + b"000000" + b"\r"
    checksum = (-sum(body)) & 0x7F
    return body + bytes([checksum])


def yaohua_frame(tenths):
    sign = b"-" if tenths < 0 else b"+"
    inner = sign + ("%06d" % min(999999, abs(tenths))).encode() + b"1"
    xor = 0
    for b in inner:
        xor ^= b
    return b"\x02" + inner + ("%02X" % xor).encode() + b"\x03"


class Shift:
    def __init__(self, seed, frame, scale):
        self.rng = random.Random(seed)
        self.frame = frame      # weight in kg -> bytes
        self.scale = scale      # indicator counts per kg
        self.t = 0
        self.lines = []
        self.zero_drift = 0.0

    def note(self, text):
        self.lines.append("# " + text)

    def act(self, text):
        self.lines.append("%d %s" % (self.t, text))

    def reading(self, kg):
        counts = round((kg + self.zero_drift) * self.scale + self.rng.gauss(0, 0.6))
        self.lines.append("%d chunk %s" % (self.t, self.frame(counts).hex(" ").upper()))
        self.t += FRAME_MS + self.rng.choice((0, 0, 1, 2))

    def empty(self, readings):
        for _ in range(readings):
            self.reading(0.0)

    def product(self, kg):
        profile = (0.25, 0.8, 0.97, 1.0, 1.0, 1.0, 1.01, 0.99, 0.9, 0.4, 0.05)
        for share in profile:
            self.reading(kg * share)


def shift(path, seed, frame, scale, header):
    s = Shift(seed, frame, scale)
    for line in header:
        s.note(line)
    s.act("set LabeledEdit1 200")
    s.act("set LabeledEdit2 180")
    s.t += 500
    s.act("select 罐装A-500 12.500 13.000 12.000")
    s.t += 300
    s.act("click BtnClear")
    s.empty(10)
    for n in range(1, 301):
        if n == 120:
            s.zero_drift = 0.08
            s.empty(6)
            s.act("click BtnBullets")
            s.empty(4)
        if n == 160:
            s.empty(4)
            s.act("click BtnSetTabs")
            s.t += 4000
            s.act("select 罐装B-480 12.300 12.800 11.800")
            s.t += 500
            s.act("click BtnWordWrap")
            s.empty(4)
        target = 12.3 if n >= 160 else 12.5
        weight = s.rng.gauss(target, 0.3)
        s.product(weight)
        s.empty(s.rng.randint(5, 9))
    s.empty(40)
    s.act("click BtnSetTabs")
    s.t += 2000
    s.act("close")
    with open(path, "w", encoding="utf-8", newline="\n") as out:
        out.write("\n".join(s.lines) + "\n")


def damaged(source, path):
    """The shift as a noisy line delivers it: a third of the frames cut in two reads (at every position in
    turn), stray bytes before every 11th, and every 29th with a weight digit changed under its checksum."""
    out = []
    k = 0
    for line in open(source, encoding="utf-8").read().splitlines():
        parts = line.split(" ", 2)
        if len(parts) < 3 or parts[1] != "chunk":
            out.append(line)
            continue
        t, frame = int(parts[0]), bytes.fromhex(parts[2])
        k += 1
        if k % 29 == 0:
            frame = frame[:7] + (b"5" if frame[7:8] != b"5" else b"6") + frame[8:]
        if k % 11 == 0:
            frame = b"\xff\x31\x02\x39" + frame
        reads = [frame]
        if k % 3 == 1:
            cut = 1 + k % (len(frame) - 1)
            reads = [frame[:cut], frame[cut:]]
        for n, read in enumerate(reads):
            out.append("%d chunk %s" % (t, read.hex(" ").upper()))
    out[0] = "# The Toledo shift as a noisy line delivers it (frames cut in two reads, stray bytes, wrong checksums)."
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def main():
    common = [
        "A batch of 200 with the reminder at 180. 300 products pass, about one a second, 20 readings a second;",
        "some fall outside the limits. Zero is pressed at product 120 after the platform drifted by 0.08 kg;",
        "at product 160 the run is stopped, model B is chosen and the run continues with the count kept.",
        "The count passes the reminder value (lamp red, reminder bit set) and the batch value (bit cleared).",
    ]
    shift(os.path.join(HERE, "toledo-shift.txt"), 7, toledo_frame, 100,
          ["A Toledo-series shift: 18-byte continuous frames with checksum, 2 decimals (read as hundredths)."] + common)
    shift(os.path.join(HERE, "yaohua-shift.txt"), 11, yaohua_frame, 10,
          ["A Yaohua-series shift: 12-byte tF=0 frames, 1 decimal (read as tenths). The decoder joins the last",
           "three chunks and reads the oldest frame among them, so the shown weight trails the line by two frames."]
          + common)
    with open(os.path.join(HERE, "Option.ini"), "w", encoding="ascii", newline="\r\n") as ini:
        ini.write("[Word]\nNum=200\nTX_Num=180\nSC_Num=0\n")
    with open(os.path.join(HERE, "Option-yaohua.ini"), "wb") as ini:
        ini.write("[Word]\r\nNum=200\r\nTX_Num=180\r\nSC_Num=0\r\n[仪表]\r\n1=0\r\n2=1\r\n".encode("gbk"))
    with open(os.path.join(HERE, "Option-stable.ini"), "wb") as ini:
        ini.write("[Word]\r\nNum=200\r\nTX_Num=180\r\nSC_Num=0\r\n[算法]\r\n取样=稳定\r\n".encode("gbk"))
    damaged(os.path.join(HERE, "toledo-shift.txt"), os.path.join(HERE, "toledo-shift-damaged.txt"))
    with open(os.path.join(HERE, "Option-checked.ini"), "wb") as ini:
        ini.write("[Word]\r\nNum=200\r\nTX_Num=180\r\nSC_Num=0\r\n[算法]\r\n取样=稳定\r\n[仪表]\r\n解码=完整帧\r\n"
                  .encode("gbk"))


if __name__ == "__main__":
    main()
