#!/usr/bin/env bash
# Measures the game beside the floor (the least program that shows the title screen on the same
# libraries) and prints one Markdown table of figures, ratios and targets.
#
#   scripts/bench.sh            20 alternating start-ups of each, then 5 alternating runs of
#                               each with 10 s per CPU sample
#   BENCH_STARTS=5 BENCH_RUNS=3 BENCH_SECONDS=5 scripts/bench.sh
#   BENCH_GAME=/other/build/zellworth BENCH_FRAMES=/other/build/bench/zellworth_frame_bench \
#     scripts/bench.sh          measures another build of the game beside this floor
#   BENCH_BEFORE=/older/build/zellworth scripts/bench.sh
#                               measures an older build beside this one, as built and on the
#                               software renderer
#
# Needs an X display; without one it starts itself again on an X server of its own. Audio goes to the SDL
# disk driver writing /dev/null, so that the mixer runs (and costs) as it would on a sound card.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
RUNS=${BENCH_RUNS:-5}
STARTS=${BENCH_STARTS:-20}
SECONDS_PER_SAMPLE=${BENCH_SECONDS:-10}
BUILD_DIR=${BENCH_BUILD_DIR:-build}

if [ -z "${DISPLAY:-}" ]; then
  exec bash tests/support/x_server.sh 1024x768 "$0" "$@"
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

# One run: start the program through the probe and, unless the mode is "startup", sample its
# title screen and, for a game ("play"), a game with the attack key held; then close it. Appends
# "mapped first title play peak threads" to RESULTS (only "mapped first" for a start-up run).
#   measure_run RESULTS CAPTION MODE COMMAND...     (MODE: startup, title or play)
measure_run() {
  local results=$1 caption=$2 mode=$3 line pid window mapped first title play peak threads
  shift 3
  rm -f "$scratch/probe.out"
  (cd "$scratch/run" && exec "$probe" "$caption" 30 "$@" >"$scratch/probe.out" 2>"$scratch/program.log") &
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
    echo "no first frame from $*: $line" >&2
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
    echo "$* ended on its own; its output:" >&2
    cat "$scratch/program.log" >&2
    exit 1
  fi
  title=$(cpu_percent "$pid")
  play="-"
  if [ "$mode" = "play" ]; then
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
  threads=$(awk '/^Threads/ { print $2 }' "/proc/$pid/status")
  kill "$pid"
  wait "$probe_pid" || true
  probe_pid=""
  echo "$mapped $first $title $play $peak $threads" >>"$results"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.2f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
column_median() { awk -v c="$2" '{ print $c }' "$1" | median; }
ratio() { echo "scale=3; $1 / $2" | bc | sed 's/^\./0./'; }
verdict() { if [ "$(echo "$1" | bc)" -eq 1 ]; then echo "met"; else echo "missed"; fi; }

# The programs measured side by side: name, caption, mode, command. "before" is another build of
# the game (BENCH_BEFORE), measured as built and once more forced onto the software renderer, so
# that the two builds can be compared on the same renderer too.
subjects=(
  "game|Zellworth|play|$game"
  "game_gl|Zellworth|play|env SDL_RENDER_DRIVER=opengl $game"
  "floor_sw|Zellworth floor|title|$floor --software"
  "floor_gl|Zellworth floor|title|$floor"
)
if [ -n "${BENCH_BEFORE:-}" ]; then
  subjects+=("before|Zellworth|play|$BENCH_BEFORE"
             "before_sw|Zellworth|play|env SDL_RENDER_DRIVER=software SDL_FRAMEBUFFER_ACCELERATION=0 $BENCH_BEFORE")
fi
subject_field() { cut -d'|' -f"$2" <<<"$1"; }

# Each round runs every subject once, starting with a different one each round, so that no
# program always follows the same other's shut-down.
run_rounds() {
  local rounds=$1 mode_override=$2 suffix=$3 round offset count=${#subjects[@]} index subject name mode
  for round in $(seq "$rounds"); do
    offset=$((round % count))
    for index in $(seq 0 $((count - 1))); do
      subject=${subjects[$(((index + offset) % count))]}
      name=$(subject_field "$subject" 1)
      mode=${mode_override:-$(subject_field "$subject" 3)}
      # shellcheck disable=SC2046
      measure_run "$scratch/$name$suffix.txt" "$(subject_field "$subject" 2)" "$mode" $(subject_field "$subject" 4)
      sleep 0.5
    done
    [ -n "$mode_override" ] || echo "  round $round done" >&2
  done
}

echo "Alternating $STARTS start-ups of each of ${#subjects[@]} programs..." >&2
rm -f "$scratch"/*.txt
run_rounds "$STARTS" startup _start
echo "Alternating $RUNS runs of each, $SECONDS_PER_SAMPLE s per CPU sample..." >&2
run_rounds "$RUNS" "" ""
mkdir -p "$BUILD_DIR/bench"
cp "$scratch/play.png" "$BUILD_DIR/bench/last_play_sample.png" 2>/dev/null || true

echo "Timing the music starts..." >&2
music_out=$("$music" 11 2>/dev/null)
echo "Running the frame benchmark..." >&2
frames_json=$(bash tests/support/x_server.sh 1920x1080 "$frames" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json 2>/dev/null)

figure() { [ -s "$scratch/$1.txt" ] && column_median "$scratch/$1.txt" "$2" || echo "-"; }
for name in game game_gl floor_sw floor_gl before before_sw; do
  [ -s "$scratch/${name}_start.txt" ] || continue
  declare "map_$name=$(column_median "$scratch/${name}_start.txt" 1)"
  declare "first_$name=$(column_median "$scratch/${name}_start.txt" 2)"
  declare "title_$name=$(figure "$name" 3)" "play_$name=$(figure "$name" 4)"
  declare "peak_$name=$(figure "$name" 5)" "threads_$name=$(figure "$name" 6)"
done
columns=(game game_gl)
[ -z "${BENCH_BEFORE:-}" ] || columns+=(before before_sw)
columns+=(floor_sw floor_gl)
row() {
  local label=$1 var=$2 unit=$3 name value cells=""
  for name in "${columns[@]}"; do
    value="${var}_$name"
    cells+=" ${!value:--}${unit} |"
  done
  echo "| $label |$cells"
}

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
if [ -n "${BENCH_BEFORE:-}" ]; then
  echo "| Figure | Game | Game on OpenGL | Other build | Other build, software | Floor, software | Floor, OpenGL |"
  echo "|---|---|---|---|---|---|---|"
else
  echo "| Figure | Game | Game on OpenGL | Floor, software | Floor, OpenGL |"
  echo "|---|---|---|---|---|"
fi
row "Window mapped after start" map " ms"
row "First title frame shown" first " ms"
row "CPU on the title screen" title "%"
row "CPU in a game, attack held" play "%"
row "Peak resident memory" peak " MB"
row "Threads" threads ""
echo
echo "| Target | Figure | |"
echo "|---|---|---|"
echo "| Window mapped within 10% of the software floor | $(ratio "$map_game" "$map_floor_sw") x | $(verdict "$map_game <= $map_floor_sw * 1.10") |"
echo "| Title screen at most 4% of a core | $title_game% | $(verdict "$title_game <= 4") |"
echo "| Play with firing at most 7% of a core | $play_game% | $(verdict "$play_game <= 7") |"
echo "| Peak resident memory at most 48 MB | $peak_game MB | $(verdict "$peak_game <= 48") |"
if [ -n "${BENCH_BEFORE:-}" ]; then
  echo "| Title screen within 5% of the other build on the same renderer | $(ratio "$title_game" "$title_before_sw") x | $(verdict "$title_game <= $title_before_sw * 1.05") |"
  echo "| Play within 5% of the other build on the same renderer | $(ratio "$play_game" "$play_before_sw") x | $(verdict "$play_game <= $play_before_sw * 1.05") |"
fi
echo
echo "| Music start | Time | Target | |"
echo "|---|---|---|---|"
for piece in mus01 mus02 mus03; do
  m=$(music_median "$piece")
  echo "| Start of $piece.mid (load and play) | $m ms (first: $(music_first "$piece") ms) | within one frame, 25 ms | $(verdict "$m <= 25") |"
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
frame_row "Frame/window_800x600/process_time/manual_time" "Whole frame, the game's window and renderer, 800 x 600" ""
frame_row "Frame/window_1920x1080/process_time/manual_time" "Whole frame, the game's window and renderer, 1920 x 1080" "within 25 ms"
frame_row "Title/window_800x600/process_time/manual_time" "Title pass, the game's window and renderer, 800 x 600" ""
frame_row "Title/window_1920x1080/process_time/manual_time" "Title pass, the game's window and renderer, 1920 x 1080" ""
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
