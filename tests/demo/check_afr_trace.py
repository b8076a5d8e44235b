#!/usr/bin/env python3
"""The demo's picture: from an answers file with a warm-up, readings and a run of device
errors, the plotter writes a PNG of the expected size whose shading shows the warm-up at
the left and the errors further on; without gnuplot it fails and says what to install.

usage: check_afr_trace.py PLOTTER
"""
import os
import re
import subprocess
import sys
import tempfile


def fail(message):
    print(f"FAIL: {message}")
    sys.exit(1)


def write_answers(path):
    """3 s of nothing (not ready), readings every 81.92 ms, device errors from 8 to 9 s;
    with Windows line ends, as zbhost writes it under Wine."""
    lines = ["seconds,answer,raw"]
    t = 3.0
    while t < 12:
        if 8 <= t < 9:
            lines.append(f"{t:.3f},device error,0")
        else:
            lines.append(f"{t:.3f},ok,{int((12 + t / 2) * 65536)}")
        t += 0.08192
    with open(path, "w", newline="") as answers:
        answers.write("\r\n".join(lines) + "\r\n")


def shading_along_row(png, row):
    """Y for warm-up shading, R for error shading: runs of at least 20 pixels, in order
    (a grid line across a band does not split it)."""
    pixels = subprocess.run(["convert", png, "-crop", f"1000x1+0+{row}", "-depth", "8", "txt:-"],
                            capture_output=True, text=True, check=True).stdout.splitlines()[1:]
    shown, last, run = "", ".", 0

    def close_run():
        nonlocal shown
        if last != "." and run >= 20 and not shown.endswith(last):
            shown += last

    for pixel in pixels:
        r, g, b = (int(v) for v in re.search(r"\((\d+),(\d+),(\d+)", pixel).groups())
        kind = "Y" if r > 230 and g > 200 and b < 190 else "R" if r > 220 and g < 200 and b < 200 else "."
        if kind == last:
            run += 1
        else:
            close_run()
            last, run = kind, 1
    close_run()
    return shown


def main():
    plotter = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="lamdex-trace-test.") as work:
        answers = os.path.join(work, "answers.csv")
        trace = os.path.join(work, "out", "trace.png")
        write_answers(answers)
        plot = subprocess.run(["bash", plotter, answers, trace, "12"], capture_output=True, text=True)
        if plot.returncode != 0:
            print(plot.stdout + plot.stderr)
            fail("the plotter failed")
        kind = subprocess.run(["identify", "-format", "%m %w %h", trace], capture_output=True, text=True)
        if kind.stdout != "PNG 1000 480":
            fail(f"not a 1000x480 PNG: {kind.stdout}{kind.stderr}")
        bands = shading_along_row(trace, 200)
        if bands != "YR":
            fail(f"shading along the plot reads '{bands}', expected warm-up then errors (YR)")

        none = os.path.join(work, "none.png")
        missing = subprocess.run(["bash", plotter, answers, none], capture_output=True, text=True,
                                 env={**os.environ, "GNUPLOT": "/nonexistent/gnuplot"})
        said = missing.stdout + missing.stderr
        if missing.returncode == 0:
            fail("the plotter succeeded without gnuplot")
        if "gnuplot-nox" not in said:
            fail(f"without gnuplot it said: {said}")
        if os.path.exists(none):
            fail("a picture appeared without gnuplot")
        print(f"trace: PNG 1000x480, shading {bands}; without gnuplot: {said.splitlines()[0]}")


if __name__ == "__main__":
    main()
