#!/usr/bin/env python3
"""The card finder against OpenCV's chart detector (its mcc module), on the same frames.

A manual measurement, not part of the test suite:

    python3 bench/finder_vs_opencv.py build/default/cli/chromalane [--runs 5] [--seeds 4]

For every size (1280x720, 1920x1080, 3840x2160) it writes ColorChecker 24 shots with the
tool's own renderer (8-bit sRGB PNG, an ordinary camera, the card 30-50 % of the frame's
height), and times on each frame, one thread each, the median of several runs:
  - ours: `chromalane find --json`, whose "milliseconds" is the search alone;
  - OpenCV: CCheckerDetector.process on the decoded frame (cv2.setNumThreads(1)).
It prints per size the median time of both, their ratio, and how many of the shots each
placed right (every corner within 2 % of the card's diagonal of the truth).
Needs Debian's python3-opencv.
"""
import argparse
import json
import math
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

try:
    import cv2
except ImportError:
    sys.exit("needs OpenCV's Python binding (Debian: apt-get install python3-opencv)")

SIZES = ["1280x720", "1920x1080", "3840x2160"]
CHART = "6"  # the popup's ColorChecker Classic (after Nov 2014): OpenCV's MCC24


def right(found, truth):
    """Every corner within 2 % of the card's diagonal, in any of the four turns."""
    if found is None or len(found) != 4:
        return False
    diagonal = math.dist(truth[0], truth[2])
    for turn in range(4):
        worst = max(math.dist(found[(k + turn) % 4], truth[k]) for k in range(4))
        if worst <= 0.02 * diagonal:
            return True
    return False


def ours(tool, frame, runs):
    times, corners = [], None
    for _ in range(runs):
        out = subprocess.run([tool, "find", str(frame), "--chart", CHART, "--json"],
                             capture_output=True, text=True)
        answer = json.loads(out.stdout)
        times.append(answer["milliseconds"])
        corners = answer.get("corners")
    return statistics.median(times), corners


def opencv(frame, runs):
    img = cv2.imread(str(frame))
    detector = cv2.mcc.CCheckerDetector_create()
    times, corners = [], None
    for _ in range(runs):
        start = time.perf_counter()
        ok = detector.process(img, cv2.mcc.MCC24, 1)
        times.append((time.perf_counter() - start) * 1000.0)
        checkers = detector.getListColorChecker() if ok else []
        corners = [list(map(float, p)) for p in checkers[0].getBox()] if checkers else None
    return statistics.median(times), corners


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool", help="the chromalane command-line tool")
    parser.add_argument("--runs", type=int, default=5, help="runs per frame (median)")
    parser.add_argument("--seeds", type=int, default=4, help="shots per size")
    args = parser.parse_args()
    cv2.setNumThreads(1)
    print(f"{'size':>10} {'ours ms':>9} {'OpenCV ms':>10} {'ratio':>6} {'ours right':>11} "
          f"{'OpenCV right':>13}")
    with tempfile.TemporaryDirectory() as folder:
        for size in SIZES:
            ours_ms, their_ms, ours_right, their_right = [], [], 0, 0
            for seed in range(args.seeds):
                frame = Path(folder) / f"shot-{size}-{seed}.png"
                truth = json.loads(subprocess.run(
                    [args.tool, "synth", "--chart", CHART, "--seed", str(100 + seed), "--size",
                     size, "--card-share", "0.3,0.5", "-o", str(frame)],
                    capture_output=True, text=True, check=True).stdout)["corners"]
                ms, corners = ours(args.tool, frame, args.runs)
                ours_ms.append(ms)
                ours_right += right(corners, truth)
                ms, corners = opencv(frame, args.runs)
                their_ms.append(ms)
                their_right += right(corners, truth)
            a, b = statistics.median(ours_ms), statistics.median(their_ms)
            print(f"{size:>10} {a:9.1f} {b:10.1f} {a / b:6.2f} {ours_right:>7}/{args.seeds:<3} "
                  f"{their_right:>9}/{args.seeds:<3}")


if __name__ == "__main__":
    main()
