#!/usr/bin/env bash
# Measures the game beside the floor (the least program that shows the title screen on the same
# libraries) and prints one Markdown table of figures, ratios and targets.
#
#   scripts/bench.sh            20 alternating start-ups of each, then 5 alternating runs of
#                               each with 10 s per CPU sample
#   BENCH_STARTS=5 BENCH_RUNS=3 BENCH_SECONDS=5 scripts/bench.sh
#   BENCH_GAME=/other/build/zellworth BENCH_FRAMES=/other/build/bench/zellworth_frame_bench \
#     scripts/bench.sh          measures another build of the game beside this floor
#
# Needs an X display; without one it starts itself again under xvfb-run. Audio goes to the SDL
# disk driver writing /dev/null, so that the mixer runs (and costs) as it would on a sound card.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
RUNS=${BENCH_RUNS:-5}
STARTS=${BENCH_STARTS:-20}
SECONDS_PER_SAMPLE=${BENCH_SECONDS:-10}
BUILD_DIR=${BENCH_BUILD_DIR:-build}

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

bash scripts/build.sh "$BUILD_DIR" >/dev/null
game=${BENCH_GAME:-$root/$BUILD_DIR/zellworth}
floor="$root/$BUILD_DIR/bench/zellworth_floor"
probe="$root/$BUILD_DIR/bench/zellworth_window_probe"
music="$root/$BUILD_DIR/bench/zellworth_music_start"
frames=${BENCH_FRAMES:-$root/$BUILD_DIR/bench/zellworth_frame_bench}
for tool in "$game" "$floor" "$probe" "$music" "$frames"; do
  [ -x "$tool" ] || { echo "missing $tool (is libbenchmark-dev / libx11-dev installed?)" >&2; exit 1; }
done

export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
clock_ticks=$(getconf CLK_TCK)

# A scratch run directory whose ../Common/ links the committed media: no Settings.bin, so the
# game runs with its default keys, and nothing is written into the repository.
scratch=$(mktemp -d)
probe_pid=""
cleanup() {
  if [ -n "$probe_pid" ]; then kill "$probe_pid" 2>/dev/null || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/Common" "$scratch/run"
for file in "$root"/assets/Common/*.png "$root"/assets/Common/*.wav "$root"/assets/Common/*.mid; do
  ln -s "$file" "$scratch/Common/"
done

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# CPU share of one core used by a process over SECONDS_PER_SAMPLE, in per cent.
cpu_percent() {
  local pid=$1 before after
  before=$(cpu_ticks "$pid")
  sleep "$SECONDS_PER_SAMPLE"
  after=$(cpu_ticks "$pid")
  echo "scale=2; ($after - $before) * 100 / $clock_ticks / $SECONDS_PER_SAMPLE" | bc
}

peak_mb() { awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

# One run: start the program through the probe and, unless $4 is "startup", sample its title
# screen and, for the game, a game with the attack key held; then close it. Appends
# "mapped first title play peak" to $2 (only "mapped first" for a start-up run).
measure_run() {
  local program=$1 results=$2 caption=$3 mode=${4:-full} line pid window mapped first title play peak
  rm -f "$scratch/probe.out"
  (cd "$scratch/run" && exec "$probe" "$caption" 30 "$program" >"$scratch/probe.out" 2>"$scratch/program.log") &
  probe_pid=$!
  for _ in $(seq 300); do
    [ -s "$scratch/probe.out" ] && break
    sleep 0.1
  done
  line=$(cat "$scratch/probe.out")
  pid=$(sed -n 's/.*pid=\([0-9]*\).*/\1/p' <<<"$line")
  mapped=$(sed -n 's/.*mapped_ms=\([-0-9.]*\).*/\1/p' <<<"$line")
  first=$(sed -n 's/.*first_frame_ms=\([-0-9.]*\).*/\1/p' <<<"$line")
  window=$(sed -n 's/.*window=\([0-9]*\).*/\1/p' <<<"$line")
  if [ -z "$pid" ] || [ "$first" = "-1.0" ]; then
    echo "no first frame from $program: $line" >&2
    cat "$scratch/program.log" >&2
    exit 1
  fi
  if [ "$mode" = "startup" ]; then
    kill "$pid"
    wait "$probe_pid" || true
    probe_pid=""
    echo "$mapped $first" >>"$results"
    return
  fi
  sleep 1
  if [ ! -d "/proc/$pid" ]; then
    echo "$program ended on its own; its output:" >&2
    cat "$scratch/program.log" >&2
    exit 1
  fi
  title=$(cpu_percent "$pid")
  play="-"
  if [ "$program" = "$game" ]; then
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key Return
    sleep 1
    xdotool keydown Control_R
    play=$(cpu_percent "$pid")
    xdotool keyup Control_R
    # Proof that the sample was taken in a game: the briefing box is gone, the sky is up.
    import -window "$window" "$scratch/play.png" 2>/dev/null || true
  fi
  peak=$(peak_mb "$pid")
  kill "$pid"
  wait "$probe_pid" || true
  probe_pid=""
  echo "$mapped $first $title $play $peak" >>"$results"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_median() { awk -v c="$2" '{ print $c }' "$1" | median; }
ratio() { echo "scale=3; $1 / $2" | bc | sed 's/^\./0./'; }
verdict() { if [ "$(echo "$1" | bc)" -eq 1 ]; then echo "met"; else echo "missed"; fi; }

echo "Alternating $STARTS start-ups of the game and the floor..." >&2
: >"$scratch/game_start.txt"
: >"$scratch/floor_start.txt"
# Pairs in turned order (game first, then floor first), each start after a short rest, so that
# neither program always follows the other's shut-down.
for run in $(seq "$STARTS"); do
  if [ $((run % 2)) -eq 1 ]; then
    measure_run "$game" "$scratch/game_start.txt" "Zellworth" startup
    sleep 0.5
    measure_run "$floor" "$scratch/floor_start.txt" "Zellworth floor" startup
  else
    measure_run "$floor" "$scratch/floor_start.txt" "Zellworth floor" startup
    sleep 0.5
    measure_run "$game" "$scratch/game_start.txt" "Zellworth" startup
  fi
  sleep 0.5
done
echo "Alternating $RUNS runs of the game and the floor, $SECONDS_PER_SAMPLE s per CPU sample..." >&2
: >"$scratch/game.txt"
: >"$scratch/floor.txt"
for run in $(seq "$RUNS"); do
  measure_run "$game" "$scratch/game.txt" "Zellworth"
  measure_run "$floor" "$scratch/floor.txt" "Zellworth floor"
  echo "  run $run: game $(tail -1 "$scratch/game.txt") | floor $(tail -1 "$scratch/floor.txt")" >&2
done
mkdir -p "$BUILD_DIR/bench"
cp "$scratch/play.png" "$BUILD_DIR/bench/last_play_sample.png" 2>/dev/null || true

echo "Timing the music starts..." >&2
music_out=$("$music" 11 2>/dev/null)
echo "Running the frame benchmark..." >&2
frames_json=$("$frames" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json 2>/dev/null)

g_map=$(column_median "$scratch/game_start.txt" 1);   f_map=$(column_median "$scratch/floor_start.txt" 1)
g_first=$(column_median "$scratch/game_start.txt" 2); f_first=$(column_median "$scratch/floor_start.txt" 2)
g_title=$(column_median "$scratch/game.txt" 3); f_title=$(column_median "$scratch/floor.txt" 3)
g_play=$(column_median "$scratch/game.txt" 4)
g_peak=$(column_median "$scratch/game.txt" 5);  f_peak=$(column_median "$scratch/floor.txt" 5)

# Median wall and CPU microseconds per frame of one benchmark.
frame_figure() {
  jq -r --arg name "$1" '.benchmarks[] | select(.run_name == $name and .aggregate_name == "median")
    | "\(.real_time) \(.cpu_time)"' <<<"$frames_json"
}
frame_row() {
  local name=$1 what=$2 target=$3 figures wall cpu
  figures=$(frame_figure "$name")
  [ -n "$figures" ] || return 0
  read -r wall cpu <<<"$figures"
  printf '| %s | %.1f µs (%.1f%%) | %.0f µs | %s |\n' "$what" "$wall" "$(echo "$wall / 250" | bc -l)" "$cpu" "$target"
}
music_median() { awk -v p="$1" '$1 == p { sub("median_ms=", "", $3); print $3 }' <<<"$music_out"; }
music_first() { awk -v p="$1" '$1 == p { sub("first_ms=", "", $2); print $2 }' <<<"$music_out"; }

echo
echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //');" \
  "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)."
echo
echo "Process figures under Xvfb (start-up times: median of $STARTS alternating start-ups each; the rest:"
echo "median of $RUNS alternating runs each, CPU in per cent of one core over $SECONDS_PER_SAMPLE s):"
echo
echo "| Figure | Game | Floor | Game / floor | Target | |"
echo "|---|---|---|---|---|---|"
echo "| Window mapped after start | $g_map ms | $f_map ms | $(ratio "$g_map" "$f_map") | within 5% of the floor | $(verdict "$g_map <= $f_map * 1.05") |"
echo "| First title frame shown | $g_first ms | $f_first ms | $(ratio "$g_first" "$f_first") | | |"
echo "| CPU on the title screen | $g_title% | $f_title% | $(ratio "$g_title" "$f_title") | within 10% of the floor | $(verdict "$g_title <= $f_title * 1.10") |"
echo "| CPU in a game, attack held | $g_play% | $f_title% (title) | $(ratio "$g_play" "$f_title") | at most 1.3 x the floor's title | $(verdict "$g_play <= $f_title * 1.3") |"
echo "| Peak resident memory | $g_peak MB | $f_peak MB | +$(echo "$g_peak - $f_peak" | bc) MB | at most 16 MB above | $(verdict "$g_peak - $f_peak <= 16") |"
for piece in mus01 mus02 mus03; do
  m=$(music_median "$piece")
  echo "| Start of $piece.mid (load and play) | $m ms (first: $(music_first "$piece") ms) | | | within one frame, 25 ms | $(verdict "$m <= 25") |"
done
echo
echo "Worst-case frame (999 butterflies, 1000 butterfly shots, 18 bird shots; median of 5 repetitions;"
echo "wall time and share of the 25 ms frame, and CPU time of all the process's threads):"
echo
echo "| Frame | Wall time (budget share) | CPU, all threads | Target |"
echo "|---|---|---|---|"
frame_row "Logic/manual_time" "Logic alone: moves and hit tests" "under 200 µs"
frame_row "Frame/opengl/process_time/manual_time" "Whole frame, OpenGL renderer" "within 10% (2500 µs)"
frame_row "Frame/opengl_vsync/process_time/manual_time" "Whole frame, OpenGL with vsync (the game's flags)" ""
frame_row "Frame/opengl_unbatched/process_time/manual_time" "Whole frame, OpenGL, batching off" ""
frame_row "Frame/software/process_time/manual_time" "Whole frame, software renderer" ""
frame_row "Floor/opengl/process_time/manual_time" "Floor's title frame, OpenGL" ""
frame_row "Title/opengl/process_time/manual_time" "Game's title pass, OpenGL" ""
frame_row "Floor/software/process_time/manual_time" "Floor's title frame, software" ""
frame_row "Title/software/process_time/manual_time" "Game's title pass, software" ""
for layer in clear_present sky butterflies shots; do
  frame_row "Layer/opengl/$layer/process_time/manual_time" "Layer alone, OpenGL: $layer" ""
done
for layer in clear_present sky butterflies shots; do
  frame_row "Layer/software/$layer/process_time/manual_time" "Layer alone, software: $layer" ""
done
