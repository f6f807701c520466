"""LUT files read back by OpenColorIO against the effect's own render.

Every format the tool writes is applied by OpenColorIO to dense samples, and the result is
compared with the same samples corrected by the effect (through its plug-in). Log inputs
are sampled over the whole code range; scene-linear inputs with moderate colours from
0.001 to 16. Exits 77 (skipped) where OpenColorIO's or OpenImageIO's Python binding is
missing.

usage: lut_ocio_test.py TOOL
"""
import os
import subprocess
import sys
import tempfile

try:
    import numpy as np
    import OpenImageIO as oiio
    import PyOpenColorIO as ocio
except ImportError as e:
    print(f"skipped: {e}")
    sys.exit(77)

TOOL = sys.argv[1]
# The adjustments make the table more than a change of colour space.
ADJUST = ["--highlight-protection", "off", "--exposure", "0.4", "--contrast", "0.6", "--saturation", "120"]


def write_exr(path, rgb):
    h = 1
    w = rgb.shape[0]
    header = oiio.ImageSpec(w, h, 3, "float")
    out = oiio.ImageOutput.create(path)
    assert out.open(path, header), oiio.geterror()
    assert out.write_image(rgb.reshape(h, w, 3).astype(np.float32))
    out.close()


def read_exr(path):
    inp = oiio.ImageInput.open(path)
    assert inp, oiio.geterror()
    px = inp.read_image("float")
    inp.close()
    return px.reshape(-1, px.shape[-1])[:, :3]


def effect_render(d, samples, entries):
    src = os.path.join(d, "samples.exr")
    dst = os.path.join(d, "rendered.exr")
    write_exr(src, samples)
    subprocess.run([TOOL, "correct", src, "-o", dst] + entries + ADJUST, check=True)
    return read_exr(dst)


def ocio_apply(path, samples):
    # OpenColorIO caches files by path, and every case rewrites the same paths.
    ocio.ClearAllCaches()
    cfg = ocio.Config.CreateRaw()
    t = ocio.FileTransform(src=path, interpolation=ocio.INTERP_LINEAR)
    cpu = cfg.getProcessor(t).getDefaultCPUProcessor()
    px = np.ascontiguousarray(samples, dtype=np.float32).copy()
    cpu.applyRGB(px)
    return px


def write_lut(d, fmt, size, entries, extra=()):
    ext = ".clf" if fmt == "clf" else ".cube"
    path = os.path.join(d, f"t-{fmt}-{size}{ext}")
    subprocess.run([TOOL, "lut", "--format", fmt, "--size", str(size), "-o", path]
                   + entries + ADJUST + list(extra), check=True,
                   stderr=subprocess.DEVNULL)
    return path


def errors(a, b):
    diff = np.abs(a - b).max(axis=1)
    return diff.max(), float(np.percentile(diff, 99)), diff.mean()


def log_samples(rng):
    # The whole code range: a lattice off the tables' grids, and random points.
    axis = (np.arange(23) + 0.37) / 23
    grid = np.stack(np.meshgrid(axis, axis, axis, indexing="ij"), -1).reshape(-1, 3)
    return np.concatenate([grid, rng.random((20000, 3)), np.eye(3), np.zeros((1, 3)),
                           np.ones((1, 3))]).astype(np.float32)


def linear_samples(rng):
    # Moderate colours: a level from 0.001 to 16 (log-uniform), each channel within a stop
    # of it, none outside 0.001..16.
    level = np.exp(rng.uniform(np.log(0.001), np.log(16), 30000))
    spread = np.exp2(rng.uniform(-1, 1, (30000, 3)))
    return np.clip(level[:, None] * spread, 0.001, 16).astype(np.float32)


def extreme_samples():
    v = [0.001, 0.01, 1.0, 16.0]
    return np.array([[a, b, c] for a in v for b in v for c in v], dtype=np.float32)


def main():
    rng = np.random.default_rng(17)
    failures = []
    means = {}
    with tempfile.TemporaryDirectory() as d:
        # (name, tool entries, samples, formats with their bound on the 99th percentile of
        # the difference at 33 points; 65 points must halve it). The largest difference
        # comes from cells that straddle a kink of the effect's curves and is reported.
        cases = [
            ("S-Log3 to Rec. 709, code range", ["--input", "43", "--output", "3"],
             log_samples(rng), {"cube": 0.05, "clf": 0.05, "cube-shaper": 0.05}),
            ("ACEScg to sRGB, 0.001-16", ["--input", "ACEScg", "--output", "sRGB"],
             linear_samples(rng), {"clf": 0.04, "cube-shaper": 0.04, "cube": None}),
            ("ACES2065-1 to Rec. 709, 0.001-16", ["--input", "ACES2065-1", "--output", "3"],
             linear_samples(rng), {"clf": 0.06, "cube-shaper": 0.06, "cube": None}),
        ]
        for name, entries, samples, formats in cases:
            truth = effect_render(d, samples, entries)
            # Bounded where the result is a displayable colour: results clipped at black or
            # pushed past white sit on kinks of the effect's curves that no table follows
            # between its points; the extreme colours below show that side.
            ok = np.isfinite(truth).all(axis=1) & (truth > 0).all(axis=1) & (truth < 1).all(axis=1)
            for size in (33, 65):
                for fmt, bound in formats.items():
                    got = ocio_apply(write_lut(d, fmt, size, entries), samples)
                    worst, p99, mean = errors(got[ok], truth[ok])
                    verdict = "" if bound is None else f" (bound {bound})"
                    print(f"{name}: {fmt} at {size}: largest {worst:.2e}, 99th percentile "
                          f"{p99:.2e}, mean {mean:.2e}{verdict}")
                    if bound is not None and p99 > (bound if size == 33 else bound / 2):
                        failures.append(f"{name} {fmt} {size}")
                    means[(fmt, size)] = mean
                # On scene-linear input the shaper formats must beat the plain cube.
                if formats.get("cube", 0) is None:
                    for fmt in ("clf", "cube-shaper"):
                        if not means[(fmt, size)] < means[("cube", size)] / 2:
                            failures.append(f"{name} {fmt} {size} no better than the cube")
            if formats.get("cube", 0) is None:
                ext = extreme_samples()
                truth_x = effect_render(d, ext, entries)
                got = ocio_apply(write_lut(d, "clf", 65, entries), ext)
                okx = np.isfinite(truth_x).all(axis=1)
                worst, p99, mean = errors(got[okx], truth_x[okx])
                print(f"{name}: extreme colours (each channel 0.001, 0.01, 1 or 16) through clf "
                      f"at 65: largest {worst:.2e}, mean {mean:.2e} (reported, not bounded)")
    if failures:
        print("over the bound: " + ", ".join(failures))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
