#!/usr/bin/env bash
# Draws AFR against time from a `zbhost --answers` file as a PNG, with gnuplot.
# Readings are the line; stretches without an answer (the host saw only "not ready": the
# sensor warming up, calibrating, or nothing sent) and runs of device errors or "not
# connected" answers are shaded bands.
#
# usage: tools/plot-afr-trace.sh ANSWERS_CSV PNG [END_SECONDS]
#   END_SECONDS: how long the host polled, so a silent stretch at the end shows too.
# Environment: GNUPLOT names the program (default gnuplot, from Debian's gnuplot-nox).
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 ANSWERS_CSV PNG [END_SECONDS]" >&2
  exit 2
fi
answers=$1
png=$2
end=${3:-}
gnuplot=${GNUPLOT:-gnuplot}
width=1000
height=480

if ! command -v "$gnuplot" >/dev/null 2>&1; then
  echo "plot-afr-trace: gnuplot is missing, so no picture of the readings was made." >&2
  echo "plot-afr-trace: install it with 'apt-get install gnuplot-nox' (make deps does)." >&2
  exit 1
fi
# Written under Wine the file has Windows line ends.
if [ ! -r "$answers" ] || [ "$(head -n 1 "$answers" | tr -d '\r')" != "seconds,answer,raw" ]; then
  echo "plot-afr-trace: $answers is not a zbhost --answers file (seconds,answer,raw)." >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lamdex-plot.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Readings as "seconds afr" (a blank line breaks the trace where answers stop), and the
# bands as "from to kind". The host polls far more often than a quarter second, so a
# longer silence means every answer in it was "not ready".
awk -F, -v end="$end" -v readings="$work/readings.dat" -v bands="$work/bands.dat" '
  function band(from, to, kind) { printf "%.3f %.3f %s\n", from, to, kind >bands }
  function close_run(at) { if (run != "") band(run_from, at, run); run = "" }
  BEGIN { gap = 0.25; last = 0; run = "" }
  NR == 1 { next }
  {
    sub(/\r$/, "")
    t = $1 + 0
    kind = $2
    if (t - last > gap) {
      close_run(last)
      band(last, t, "not-ready")
      print "" >readings
    }
    if (kind == "ok") {
      close_run(t)
      printf "%.3f %.4f\n", t, $3 / 65536 >readings
    } else {
      gsub(/ /, "-", kind)
      if (kind != run) { close_run(t); run = kind; run_from = t; print "" >readings }
    }
    last = t
  }
  END {
    stop = end != "" ? end + 0 : last
    close_run(stop > last ? stop : last)
    if (stop - last > gap) band(last, stop, "not-ready")
    printf "%.3f\n", stop >(bands ".end")
  }
' "$answers"
touch "$work/readings.dat" "$work/bands.dat"
stop=$(cat "$work/bands.dat.end")

colour_of() {
  case $1 in
    not-ready) echo "#f2d16b" ;;
    device-error) echo "#e8837d" ;;
    *) echo "#9fb8e0" ;;
  esac
}

{
  echo "set terminal pngcairo size $width,$height font 'DejaVu Sans,11'"
  echo "set output '$work/trace.png'"
  echo "set title 'Air-fuel ratio read through Lamdex.dll'"
  echo "set xlabel 'Time since the host opened the plug-in (s)'"
  echo "set ylabel 'Air-fuel ratio (AFR)'"
  echo "set xrange [0:$stop]"
  echo "set grid front linetype 1 linecolor rgb '#c8c8c8' dashtype 1"
  echo "set key below horizontal height 1"
  echo "set bmargin 6"
  if grep -q . "$work/readings.dat"; then
    echo "set offsets 0, 0, 0.5, 0.5"
  else
    echo "set yrange [10:20]"
  fi
  while read -r from to kind; do
    echo "set object rectangle from $from, graph 0 to $to, graph 1 behind fillcolor rgb '$(colour_of "$kind")' fillstyle solid 0.6 noborder"
  done <"$work/bands.dat"
  plots=()
  if grep -q . "$work/readings.dat"; then
    plots+=("'$work/readings.dat' using 1:2 with lines linewidth 2 linecolor rgb '#1f4e9c' title 'AFR'")
  else
    plots+=("NaN notitle")
  fi
  while read -r kind; do
    plots+=("keyentry with boxes fillstyle solid 0.6 noborder fillcolor rgb '$(colour_of "$kind")' title '${kind//-/ }'")
  done < <(cut -d' ' -f3 "$work/bands.dat" | sort -u)
  (
    IFS=,
    echo "plot ${plots[*]}"
  )
} >"$work/trace.gp"

if ! "$gnuplot" "$work/trace.gp" 2>"$work/gnuplot.err"; then
  cat "$work/gnuplot.err" >&2
  echo "plot-afr-trace: gnuplot failed (its script: see above)." >&2
  exit 1
fi

# A PNG starts with its signature, then the header chunk holding width and height.
header=$(od -An -tx1 -N24 "$work/trace.png" | tr -d ' \n')
expected=89504e470d0a1a0a0000000d49484452$(printf '%08x%08x' "$width" "$height")
if [ "$header" != "$expected" ]; then
  echo "plot-afr-trace: gnuplot did not write a ${width}x$height PNG." >&2
  exit 1
fi
mkdir -p "$(dirname "$png")"
mv "$work/trace.png" "$png"
echo "AFR trace: $png"
