#!/usr/bin/env bash
# Export, extraction and listing of large mail folders, each against a yardstick measured in the
# same run, the two interleaved so that a machine whose load changes treats both alike:
#   extract of 100,000 messages      against writing them as plain files (plain_write_baseline)
#   export --format mbox of them     against dd of the folder file (bs=1M), and against the same dd
#                                    made durable (conv=fsync), as the export's own last flush makes it
#   export of 100 folders x 1,000    throughput against the single folder's
#   list of the 100,000 messages     wall, CPU and peak memory; against dd of the folder to /dev/null
# Every output is flushed (sync) between runs, outside the timings, and kept in a directory of its
# own until the end: removing 100,000 files takes long and keeps the disk busy into the next run.
# Figures are the medians of RUNS rounds.
#
#   bench/export_bench.sh BUILD_DIR [RUNS]     (BUILD_DIR built with -DQUILLORY_BENCH=ON)
#
# The work goes under $TMPDIR (else /tmp). A file system where many files were just removed makes
# every new file slow to create for minutes (ext4 without a journal looks past each recently
# freed inode), and whichever run comes first pays most: a file system of its own keeps the
# figures comparable. Five rounds write about 12 GB; as root, for instance:
#   truncate -s 24G img && mkfs.ext4 -q -N 4000000 -E lazy_itable_init=0,lazy_journal_init=0 img
#   mkdir m && mount -o loop img m && TMPDIR=$PWD/m bench/export_bench.sh BUILD_DIR 5
# (inode tables written at once: otherwise a kernel thread writes them during the first runs).
set -euo pipefail
build="$(cd "$1" && pwd)"
runs="${2:-3}"
cli="$build/src/cli/quillory-cli"
gen="$build/tests/dbx/quillory-dbxgen"
baseline="$build/bench/plain_write_baseline"
work="$(mktemp -d "${TMPDIR:-/tmp}/quillory-export-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# About 2.4 KB a message, a three-level index scattered between the messages.
"$gen" "$work/F.dbx" --messages 100000 --body 2000 --layout scattered
mkdir "$work/tree"
for i in $(seq -w 1 100); do
  "$gen" "$work/tree/F$i.dbx" --messages 1000 --body 2000 --layout scattered
done
folder_bytes=$(stat -c %s "$work/F.dbx")
tree_bytes=$(du -cb "$work"/tree/*.dbx | tail -1 | cut -f1)
cat "$work/F.dbx" "$work"/tree/*.dbx > /dev/null

declare -A times
n=0
# run NAME COMMAND...: the command's wall time in ms, appended to times[NAME]. @OUT@ in the command
# stands for a new output path.
run() {
  local name="$1"; shift
  n=$((n + 1))
  local out="$work/out$n"
  local args=()
  for a in "$@"; do args+=("${a//@OUT@/$out}"); done
  sync
  sleep 1  # the flush's own aftermath (journal, the disk's queue) is not the next run's to pay
  local start end
  start=$(date +%s%N)
  "${args[@]}" > /dev/null
  end=$(date +%s%N)
  times[$name]+="$(( (end - start) / 1000000 )) "
  sync
}
median() { tr ' ' '\n' | grep -v '^$' | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The sources are read before each run that uses them: a machine that reclaims idle page cache
# would otherwise time the disk for one and the cache for the other.
warm() { cat "$@" > /dev/null; }
for round in $(seq 1 "$runs"); do
  warm "$work/F.dbx"
  run plain "$baseline" "$work/F.dbx" @OUT@
  run extract "$cli" extract "$work/F.dbx" @OUT@
  run dd dd if="$work/F.dbx" of=@OUT@ bs=1M status=none
  run mbox "$cli" export "$work/F.dbx" @OUT@
  run ddsync dd if="$work/F.dbx" of=@OUT@ bs=1M conv=fsync status=none
  warm "$work"/tree/*.dbx
  run tree "$cli" export "$work/tree" @OUT@ --recursive
  warm "$work/F.dbx"
  run maildir "$cli" export "$work/F.dbx" @OUT@ --format maildir
  run eml "$cli" export "$work/F.dbx" @OUT@ --format eml
  run ddread dd if="$work/F.dbx" of=/dev/null bs=1M status=none
  run list "$cli" list "$work/F.dbx"
  echo "round $round (ms):$(for n in plain extract dd mbox ddsync tree maildir eml ddread list; do printf ' %s %s' "$n" "$(echo "${times[$n]}" | awk '{ print $NF }')"; done)" >&2
done

# The ratios of each round, yardstick and subject measured next to each other.
paired() {
  paste <(echo "${times[$1]}" | tr ' ' '\n' | grep -v '^$') <(echo "${times[$2]}" | tr ' ' '\n' | grep -v '^$') |
    awk '{ printf "%.2f ", $1 / $2 }'
}
echo "per round: extract/plain $(paired extract plain); mbox/dd $(paired mbox dd); mbox/dd-fsync $(paired mbox ddsync); tree/mbox $(paired tree mbox)"

declare -A m
for name in "${!times[@]}"; do
  m[$name]=$(echo "${times[$name]}" | median)
done
list_peak=$( { /usr/bin/time -f '%M %U %S' "$cli" list "$work/F.dbx" > /dev/null; } 2>&1 | tail -1)

echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg); medians of $runs rounds, ms"
printf '%-44s %8s %8s %7s %s\n' "what" "ms" "yardst." "ratio" "goal"
printf '%-44s %8s %8s %7s %s\n' "extract, 100,000 messages" "${m[extract]}" "${m[plain]}" "$(ratio "${m[extract]}" "${m[plain]}")" "<= 1.2 (plain open/write/close)"
printf '%-44s %8s %8s %7s %s\n' "export --format mbox, same folder" "${m[mbox]}" "${m[dd]}" "$(ratio "${m[mbox]}" "${m[dd]}")" "<= 4 (dd bs=1M)"
printf '%-44s %8s %8s %7s %s\n' "export --format mbox, against a durable dd" "${m[mbox]}" "${m[ddsync]}" "$(ratio "${m[mbox]}" "${m[ddsync]}")" "(dd bs=1M conv=fsync)"
printf '%-44s %8s %8s %7s %s\n' "export --format maildir, same folder" "${m[maildir]}" "${m[plain]}" "$(ratio "${m[maildir]}" "${m[plain]}")" "(plain files)"
printf '%-44s %8s %8s %7s %s\n' "export --format eml, same folder" "${m[eml]}" "${m[plain]}" "$(ratio "${m[eml]}" "${m[plain]}")" "(plain files)"
single=$(awk -v b="$folder_bytes" -v t="${m[mbox]}" 'BEGIN { printf "%.1f", b / 1e3 / t }')
tree=$(awk -v b="$tree_bytes" -v t="${m[tree]}" 'BEGIN { printf "%.1f", b / 1e3 / t }')
printf '%-44s %8s %8s %7s %s\n' "export tree 100 x 1,000 (MB/s vs single)" "$tree" "$single" "$(ratio "$single" "$tree")" "<= 1.5 (single / tree)"
printf '%-44s %8s %8s %7s %s\n' "list, 100,000 messages" "${m[list]}" "${m[ddread]}" "$(ratio "${m[list]}" "${m[ddread]}")" "<= 500 ms (dd to /dev/null)"
echo "list: peak memory KB, user s, system s: $list_peak (goal <= 150 MB)"
