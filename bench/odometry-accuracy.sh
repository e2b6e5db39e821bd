#!/usr/bin/env bash
# Accuracy and speed of the odometry on simulated drives through the town. For each drive and
# each of 600 rpm single echo and 1200 rpm dual echo: hvk32-sim writes a capture and the true
# poses, "hvk32-cli odometry" (default options) estimates the trajectory on one core, and
# hvk32-bench-trajectory-error compares the two. Prints one table: the ground truth's length,
# the KITTI relative errors over sub-paths of 100..400 m, the absolute trajectory error after a
# rigid alignment, and frames per second (per second of CPU time on one core, which a shared
# machine disturbs least, and per second of wall time as the command reports it); then
# deskewing against none on the drives at up to 15 m/s, and the targets. A missed target is
# reported, not an error; the exit status is 1 only when a run fails.
#
#   bash bench/odometry-accuracy.sh [build-dir] [out-dir]
#
# Drives: loop, the simulator's built-in loop (about 1.2 km at 10 m/s, starting at speed);
# straight and turns, trajectory files from bench/drive-trajectories.py (from rest, up to
# 15 m/s, turns at intersections). DRIVES="loop straight turns" and MODES="600s 1200d" choose
# fewer (any drive of drive-trajectories.py --list will do); NO_DESKEW="straight turns" names
# the drives also run with --no-deskew at 600 rpm single echo. JOBS=2 (default when there are
# two cores) runs two queues of about the same number of frames side by side, the first pinned
# to core 0, the second to core 1; JOBS=1 runs all on core 0. out-dir (default: a new folder under /tmp) keeps the trajectories, ground truths,
# logs and the table; the captures are removed at the end unless KEEP_CAPTURES=1.
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$source_dir/build}" && pwd) || exit 2
out="${2:-}"
[ -n "$out" ] || out=$(mktemp -d /tmp/hvk32-odometry-accuracy.XXXXXX)
mkdir -p "$out/results" && out=$(cd "$out" && pwd) || exit 2
drives="${DRIVES:-loop straight turns}"
modes="${MODES:-600s 1200d}"
compare="${NO_DESKEW:-straight turns}"
jobs="${JOBS:-$(($(nproc) >= 2 ? 2 : 1))}"
sim="$build/sim/hvk32-sim"
cli="$build/cli/hvk32-cli"
evaluator="$build/bench/hvk32-bench-trajectory-error"
python=/usr/bin/python3
for program in "$sim" "$cli" "$evaluator"; do
  [ -x "$program" ] || { echo "missing $program (build hvk32-sim, hvk32-cli, hvk32-bench-trajectory-error)" >&2; exit 2; }
done
# The built-in loop: 1174 m at 10 m/s; it starts over after that.
loop_seconds=117
start_time=2026-03-05T10:00:00
for mode in $modes; do
  case $mode in 600s | 1200d) ;; *) echo "unknown mode $mode (600s or 1200d)" >&2; exit 2 ;; esac
done
rm -f "$out"/results/* "$out"/*.pcap

mode_options() { case $1 in 600s) echo "--rpm 600 --echo single" ;; 1200d) echo "--rpm 1200 --echo dual" ;; esac; }
mode_text() { case $1 in 600s) echo "600 single" ;; 1200d) echo "1200 dual" ;; esac; }

# capture DRIVE MODE CORE: the drive's capture and ground truth, once per run of this script.
capture() {
  local drive=$1 mode=$2 core=$3 base="$out/$1-$2"
  [ -s "$base.pcap" ] && return 0
  local path=(--drive loop) seconds=$loop_seconds
  if [ "$drive" != loop ]; then
    [ -s "$out/$drive.tum" ] || return 1
    seconds=$(drive_seconds "$drive")
    path=(--trajectory "$out/$drive.tum")
  fi
  # shellcheck disable=SC2046
  taskset -c "$core" "$sim" --quiet --scene town "${path[@]}" $(mode_options "$mode") --seconds "$seconds" \
    --start-time "$start_time" --pcap "$base.pcap" --ground-truth "$base.gt.txt" 2>"$base.sim.log"
}

# run DRIVE MODE DESKEW(deskew|no-deskew) CORE: one odometry run and its figures, into results/.
run() {
  local drive=$1 mode=$2 deskew=$3 core=$4 base="$out/$1-$2"
  local name="$drive-$mode-$deskew" result="$out/results/$drive-$mode-$deskew"
  if ! capture "$drive" "$mode" "$core"; then
    echo "$drive $mode $deskew failed(sim)" >"$result"
    return
  fi
  local options=()
  [ "$deskew" = no-deskew ] && options=(--no-deskew)
  if ! /usr/bin/time -f '%e %U %S' -o "$out/$name.time" \
      taskset -c "$core" "$cli" odometry --pcap "$base.pcap" --trajectory "$out/$name.txt" "${options[@]}" \
      2>"$out/$name.log"; then
    echo "$drive $mode $deskew failed(odometry)" >"$result"
    return
  fi
  if ! "$evaluator" "$base.gt.txt" "$out/$name.txt" >"$out/$name.errors" 2>>"$out/$name.log"; then
    echo "$drive $mode $deskew failed(evaluation)" >"$result"
    return
  fi
  local frames cpu wallfps
  frames=$(sed -n 's/^odometry: \([0-9,]*\) frames\{0,1\},.*/\1/p' "$out/$name.log" | tr -d , | tail -1)
  wallfps=$(sed -n 's/.*, \([0-9.]*\) frames\/s$/\1/p' "$out/$name.log" | tail -1)
  cpu=$(awk '{ print $2 + $3 }' "$out/$name.time")
  awk -v d="$drive" -v m="$mode" -v k="$deskew" -v f="${frames:-0}" -v c="$cpu" -v w="${wallfps:--}" '
    { v[$1] = $2 }
    END { printf "%s %s %s %.3f %s %s %s %s %.1f %s\n", d, m, k, v["truth_length_m"] / 1000, v["rpe_percent"],
          v["rpe_deg_per_100m"], v["ate_m"], f, (c > 0 ? f / c : 0), w }' "$out/$name.errors" >"$result"
}

# The trajectory files, before the queues start (two of them may need one).
for drive in $drives; do
  if [ "$drive" != loop ] && ! "$python" "$source_dir/bench/drive-trajectories.py" "$drive" "$out/$drive.tum"; then
    rm -f "$out/$drive.tum"
    exit 2
  fi
done

# The runs, in queues of about the same number of frames: each job weighs its drive's seconds
# times its frames a second (a frame of 1200 rpm dual echo has as many points as one of 600 rpm
# single echo); the heaviest go first, each to the lighter queue. Deskewing against none at
# 600 rpm single echo is one job per drive of $compare, both runs reading one capture.
drive_seconds() {
  if [ "$1" = loop ]; then echo $loop_seconds; else awk 'END { s = $1; printf "%d", (s == int(s)) ? s : int(s) + 1 }' "$out/$1.tum"; fi
}
jobs_list=$(for drive in $drives; do
  for mode in $modes; do
    weight=$(drive_seconds "$drive")
    [ "$mode" = 1200d ] && weight=$((weight * 2))
    kinds=deskew
    if [[ " $compare " == *" $drive "* ]] && [ "$mode" = 600s ]; then kinds=deskew,no-deskew; weight=$((weight * 2)); fi
    echo "$weight $drive $mode $kinds"
  done
done | sort -k1,1nr -k2,2 -k3,3)
queue0=() queue1=()
load0=0 load1=0
while read -r weight drive mode kinds; do
  [ -n "$drive" ] || continue
  if [ "$jobs" -lt 2 ] || [ "$load0" -le "$load1" ]; then
    queue0+=("$drive $mode $kinds") load0=$((load0 + weight))
  else
    queue1+=("$drive $mode $kinds") load1=$((load1 + weight))
  fi
done <<<"$jobs_list"

echo "odometry accuracy: $(git -C "$source_dir" rev-parse --short HEAD 2>/dev/null || echo '?'), build $build, output $out"
echo "jobs: ${#queue0[@]} on core 0${queue1[*]:+, ${#queue1[@]} on core 1} ..."
started=$SECONDS
worker() {
  local core=$1
  shift
  local drive mode kinds kind
  for job in "$@"; do
    read -r drive mode kinds <<<"$job"
    for kind in ${kinds//,/ }; do
      run "$drive" "$mode" "$kind" "$core"
    done
  done
}
worker 0 "${queue0[@]}" &
first=$!
second=
if [ ${#queue1[@]} -gt 0 ]; then
  worker 1 "${queue1[@]}" &
  second=$!
fi
wait "$first"
[ -n "$second" ] && wait "$second"
[ "${KEEP_CAPTURES:-0}" = 1 ] || rm -f "$out"/*.pcap

# The table, in a fixed order; figures that miss a target are marked with *.
status=0
{
  echo
  printf '%-10s %-11s %6s %8s %9s %7s %7s %9s %9s\n' drive rpm/echo km "RPE %" "deg/100m" "ATE m" frames "fps(cpu)" "fps(wall)"
  for drive in $drives; do
    for mode in $modes; do
      r="$out/results/$drive-$mode-deskew"
      if [ ! -s "$r" ] || grep -q failed "$r"; then
        printf '%-10s %-11s %s\n' "$drive" "$(mode_text "$mode")" "$(cut -d' ' -f4 "$r" 2>/dev/null || echo 'no result')"
        status=1
        continue
      fi
      read -r _ _ _ km rpe rot ate frames fps wall <"$r"
      awk -v d="$drive" -v m="$(mode_text "$mode")" -v km="$km" -v rpe="$rpe" -v rot="$rot" -v ate="$ate" \
          -v frames="$frames" -v fps="$fps" -v wall="$wall" '
        function mark(value, limit, above) {
          if (value == "-") return "-"
          return sprintf("%.2f%s", value, (above ? value < limit : value > limit) ? "*" : " ")
        }
        BEGIN { printf "%-10s %-11s %6.3f %8s %9s %7s %7d %9s %9s\n", d, m, km, mark(rpe, 1.0, 0), mark(rot, 0.5, 0),
                mark(ate, 2.0, 0), frames, mark(fps, 20, 1), wall }'
    done
  done
  # Deskewing against none: the same capture, the same figures.
  heading=0
  for drive in $drives; do
    [[ " $compare " == *" $drive "* && " $modes " == *" 600s "* ]] || continue
    if [ $heading = 0 ]; then
      echo
      printf '%-36s %8s %9s %7s\n' "deskewing against none, 600 single" "RPE %" "deg/100m" "ATE m"
      heading=1
    fi
    for kind in deskew no-deskew; do
      r="$out/results/$drive-600s-$kind"
      if [ ! -s "$r" ] || grep -q failed "$r"; then
        printf '%-10s %-25s %s\n' "$drive" "$kind" "$(cut -d' ' -f4 "$r" 2>/dev/null || echo 'no result')"
        status=1
        continue
      fi
      read -r _ _ _ _ rpe rot ate _ <"$r"
      printf '%-10s %-25s %8s %9s %7s\n' "$drive" "$kind" "$rpe" "$rot" "$ate"
    done
  done
  echo
  echo "targets: RPE <= 1.0 %, rotation <= 0.5 deg/100 m, ATE <= 2 m over 1.2 km, >= 20 frames/s on one core"
  echo "         (600 single and 1200 dual), deskewing better than none at 15 m/s; * marks a figure that misses"
  echo "RPE: KITTI relative errors averaged over sub-paths of 100, 200, 300, 400 m; ATE: RMSE after a rigid alignment"
  echo "fps(cpu): frames per second of CPU time, one core; fps(wall): the command's own summary"
  echo "took $((SECONDS - started)) s on $((${#queue1[@]} > 0 ? 2 : 1)) core(s)"
} >"$out/table.txt"
cat "$out/table.txt"
exit $status
