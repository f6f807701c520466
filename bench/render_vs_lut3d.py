#!/usr/bin/env python3
"""The effect's render against applying its own cube, and against a curve-and-matrix processor.

A manual measurement, not part of the test suite:

    python3 bench/render_vs_lut3d.py build/default [--rounds 3]

On the two UHD float frames of `chromalane_bench`'s render rows (the camera frame of
BM_render_shot_rgba32f and the noise of run/rgba32f_auto), one core each, in one run:
  - ours: those rows (S-Log3 / S-Gamut3.Cine in, Rec. 709 out, deltaE, highlight
    protection), RGBA float;
  - lut3d: ffmpeg's lut3d filter (tetrahedral, planar float) applying the effect's own
    48-point cube of the same settings (`chromalane lut`), `-filter_threads 1`, timed by
    ffmpeg's bench filter around it alone;
  - OCIO: OpenColorIO's CPU processor (if its Python binding is there) on the conversion
    alone (the log curve and gamut to Rec. 709, then the Rec. 709 curve), packed RGBA float.
The rounds alternate the three and the median of each is printed, in Mpixel/s, with ours
over each other.
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

WIDTH, HEIGHT = 3840, 2160
PIXELS = WIDTH * HEIGHT
ROWS = {"camera": "BM_render_shot_rgba32f", "noise": "run/rgba32f_auto"}
FILES = {"camera": "shot.gbrpf32", "noise": "noise.gbrpf32"}


def ours(build, folder=None):
    """Mpixel/s of our two rows, also writing their frames into folder when one is given."""
    pattern = "^(" + "|".join(re.escape(r) for r in ROWS.values()) + ")$"
    env = dict(os.environ)
    if folder is not None:
        env["CHROMALANE_BENCH_FRAMES"] = str(folder)
    out = subprocess.run([str(build / "bench" / "chromalane_bench"),
                          f"--benchmark_filter={pattern}", "--benchmark_min_time=1",
                          "--benchmark_format=json"],
                         env=env, capture_output=True, text=True, check=True)
    rates = {b["name"]: b["items_per_second"] / 1e6 for b in json.loads(out.stdout)["benchmarks"]}
    return {frame: rates[row] for frame, row in ROWS.items()}


def lut3d(frame_file, cube, frames=30):
    """Mpixel/s of ffmpeg's lut3d filter alone, the mean its bench filter reports."""
    graph = f"bench=start,lut3d=file={cube}:interp=tetrahedral,bench=stop"
    out = subprocess.run(["ffmpeg", "-hide_banner", "-nostats", "-v", "info",
                          "-stream_loop", str(frames - 1), "-f", "rawvideo",
                          "-pix_fmt", "gbrpf32le", "-s", f"{WIDTH}x{HEIGHT}",
                          "-i", str(frame_file), "-filter_threads", "1", "-vf", graph,
                          "-f", "null", "-"], capture_output=True, text=True, check=True)
    means = re.findall(r"avg:([0-9.]+)", out.stderr)
    if not means:
        sys.exit("ffmpeg's bench filter printed no timing:\n" + out.stderr[-2000:])
    return PIXELS / float(means[-1]) / 1e6


def ocio_processor():
    try:
        import PyOpenColorIO as ocio
    except ImportError:
        return None
    # XYZ (D65) to linear Rec. 709.
    xyz_to_709 = [3.2409699, -1.5373832, -0.4986108, 0,
                  -0.9692436, 1.8759675, 0.0415551, 0,
                  0.0556301, -0.2039770, 1.0569715, 0,
                  0, 0, 0, 1]
    group = ocio.GroupTransform([
        ocio.BuiltinTransform("SONY_SLOG3-SGAMUT3.CINE_to_ACES2065-1"),
        ocio.BuiltinTransform("UTILITY - ACES-AP0_to_CIE-XYZ-D65_BFD"),
        ocio.MatrixTransform(xyz_to_709),
        ocio.ExponentWithLinearTransform(gamma=[1 / 0.45] * 3 + [1], offset=[0.099] * 3 + [0],
                                         direction=ocio.TRANSFORM_DIR_INVERSE),
    ])
    config = ocio.Config.CreateRaw()
    return config.getProcessor(group).getDefaultCPUProcessor()


def ocio_rate(processor, frame_file, repeats=5):
    import numpy as np
    planes = np.fromfile(frame_file, dtype=np.float32).reshape(3, HEIGHT, WIDTH)
    rgba = np.ones((HEIGHT, WIDTH, 4), dtype=np.float32)
    rgba[..., 0], rgba[..., 1], rgba[..., 2] = planes[2], planes[0], planes[1]
    times = []
    for _ in range(repeats):
        work = rgba.copy()
        start = time.perf_counter()
        processor.applyRGBA(work)
        times.append(time.perf_counter() - start)
    return PIXELS / min(times) / 1e6


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", type=Path, help="the build folder (build/default)")
    parser.add_argument("--rounds", type=int, default=3, help="alternating rounds (median)")
    args = parser.parse_args()
    tool = args.build / "cli" / "chromalane"
    processor = ocio_processor()
    rates = {name: {f: [] for f in ROWS} for name in ("ours", "lut3d", "OCIO")}
    with tempfile.TemporaryDirectory() as folder:
        folder = Path(folder)
        cube = folder / "correction.cube"
        subprocess.run([str(tool), "lut", "--input", "43", "--output", "3", "--chart", "2",
                        "--mode", "deltaE", "--highlight-protection", "on", "-o", str(cube)],
                       check=True, capture_output=True)
        # One core each: the benchmark rows, the filter (-filter_threads 1) and the
        # processor's apply all run on one thread. The first round writes the frames.
        for r in range(args.rounds):
            for frame, rate in ours(args.build, folder if r == 0 else None).items():
                rates["ours"][frame].append(rate)
            for frame, name in FILES.items():
                rates["lut3d"][frame].append(lut3d(folder / name, cube))
                if processor is not None:
                    rates["OCIO"][frame].append(ocio_rate(processor, folder / name))
            print(f"round {r + 1} of {args.rounds} done", file=sys.stderr)
    print(f"{'frame':>7} {'ours':>7} {'lut3d':>7} {'ratio':>6} {'OCIO':>7} {'ratio':>6}   (Mpixel/s)")
    for frame in ROWS:
        o = statistics.median(rates["ours"][frame])
        lut = statistics.median(rates["lut3d"][frame])
        line = f"{frame:>7} {o:7.1f} {lut:7.1f} {o / lut:6.2f}"
        if rates["OCIO"][frame]:
            c = statistics.median(rates["OCIO"][frame])
            line += f" {c:7.1f} {o / c:6.2f}"
        print(line)


if __name__ == "__main__":
    main()
