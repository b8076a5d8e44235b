#!/bin/sh
# The demo's picture: from an answers file with a warm-up, readings and a run of device
# errors, the plotter writes a PNG of the expected size whose shading shows the warm-up
# at the left and the errors further on; without gnuplot it fails and says what to install.
# usage: check-afr-trace.sh PLOTTER
set -eu
plotter=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-trace-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

# 3 s of nothing (not ready), readings every 81.92 ms, device errors from 8 to 9 s; with
# Windows line ends, as zbhost writes it under Wine.
awk 'BEGIN {
  printf "seconds,answer,raw\r\n"
  for (t = 3.0; t < 12; t += 0.08192) {
    if (t >= 8 && t < 9) printf "%.3f,device error,0\r\n", t
    else printf "%.3f,ok,%d\r\n", t, (12 + t / 2) * 65536
  }
}' >"$work/answers.csv"

bash "$plotter" "$work/answers.csv" "$work/out/trace.png" 12 >"$work/plot.log" 2>&1 || {
  cat "$work/plot.log"
  fail "the plotter failed"
}
[ "$(identify -format '%m %w %h' "$work/out/trace.png")" = "PNG 1000 480" ] ||
  fail "not a 1000x480 PNG: $(identify "$work/out/trace.png" 2>&1)"

# Along a row through the middle of the plot: Y for warm-up shading, R for error shading,
# runs of at least 20 pixels, in order (a grid line across a band does not split it).
bands=$(convert "$work/out/trace.png" -crop 1000x1+0+200 -depth 8 txt:- | awk -F'[(),]' '
  NR > 1 {
    r = $3 + 0; g = $4 + 0; b = $5 + 0
    c = (r > 230 && g > 200 && b < 190) ? "Y" : (r > 220 && g < 200 && b < 200) ? "R" : "."
    if (c == last) n++; else { band(); last = c; n = 1 }
  }
  function band() { if (last != "." && n >= 20 && last != shown) { printf "%s", last; shown = last } }
  END { band() }')
[ "$bands" = YR ] || fail "shading along the plot reads '$bands', expected warm-up then errors (YR)"

if GNUPLOT=/nonexistent/gnuplot bash "$plotter" "$work/answers.csv" "$work/none.png" >"$work/missing.log" 2>&1; then
  fail "the plotter succeeded without gnuplot"
fi
grep -q "gnuplot-nox" "$work/missing.log" || fail "without gnuplot it said: $(cat "$work/missing.log")"
[ ! -e "$work/none.png" ] || fail "a picture appeared without gnuplot"
echo "trace: PNG 1000x480, shading $bands; without gnuplot: $(head -n 1 "$work/missing.log")"
