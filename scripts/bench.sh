#!/usr/bin/env bash
# The performance benchmark (not a test, not part of CI). Builds the frozen corpus of
# tests/bench/corpus.txt (PE files and documents that Debian packages ship, in three sets of
# about 50 KB, 5 MB in 100 files, and 50 MB), measures ours beside Debian's mscompress,
# msexpand and makensis on the same bytes, and prints one Markdown table, every figure from
# this one run, times as medians of RUNS runs.
#
#   scripts/bench.sh              (RUNS=3, BUILD=build; root installs missing packages)
#   BENCH_SETS="small medium" RUNS=1 scripts/bench.sh     (a quicker look)
#
# Needs the host build (cmake -S . -B build); builds orv-pack and bench_szdd_bench itself.
# `orv build` is measured when build/orv exists; scripts/bench-install.py, when present, adds
# its rows (installation under Wine, start-up time).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
RUNS=${RUNS:-3}
CORPUS=$ROOT/tests/bench/corpus.txt
read -r -a SETS <<< "${BENCH_SETS:-small medium large}"
WORK=$(mktemp -d /tmp/orv_bench_XXXXXX)
trap 'rm -rf "$WORK"' EXIT

log() { echo "bench: $*" >&2; }

# --- Tools and corpus packages ---------------------------------------------------------------
need=()
command -v mscompress >/dev/null || need+=(mscompress)
command -v makensis >/dev/null || need+=(nsis)
while read -r set hash size pkg path; do
  [ -f "$path" ] || need+=("$pkg")
done < <(grep -v '^#' "$CORPUS")
if [ ${#need[@]} -ne 0 ]; then
  mapfile -t need < <(printf '%s\n' "${need[@]}" | sort -u)
  [ "$(id -u)" = 0 ] || { log "missing packages (${need[*]}) and not root; install them first"; exit 1; }
  log "installing ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j2 --target orv-pack bench_szdd_bench >/dev/null
PACK=$BUILD/orv-pack
SZB=$BUILD/bench_szdd_bench
ORV=$BUILD/orv

# --- The corpus, checked against its frozen hashes ------------------------------------------
declare -A BYTES FILES
for set in "${SETS[@]}"; do
  mkdir -p "$WORK/$set/payload"
  BYTES[$set]=0
  FILES[$set]=0
done
bad=0
while read -r set hash size pkg path; do
  [ -d "$WORK/$set" ] || continue
  got=$(sha256sum "$path" | cut -d' ' -f1)
  if [ "$got" != "$hash" ]; then
    log "$path ($pkg) differs from the frozen corpus: expected $hash got $got"
    bad=1
    continue
  fi
  dest=$WORK/$set/payload/$(basename "$path")
  [ ! -e "$dest" ] || { log "two corpus files named $(basename "$path") in $set"; exit 1; }
  cp "$path" "$dest"
  touch -d '2024-01-02 03:04:05' "$dest"
  BYTES[$set]=$((BYTES[$set] + size))
  FILES[$set]=$((FILES[$set] + 1))
done < <(grep -v '^#' "$CORPUS")
[ $bad = 0 ] || { log "the corpus differs (package versions changed?): nothing measured"; exit 1; }
for set in "${SETS[@]}"; do
  # The payload stream's bytes: the files back to back in the packer's order (sorted names).
  (cd "$WORK/$set/payload" && LC_ALL=C ls | while read -r f; do cat "$f"; done) > "$WORK/$set/all"
done

# --- Helpers ---------------------------------------------------------------------------------
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# timed OUT CMD...: runs CMD, appends "wall_seconds peak_kb cpu_seconds" to OUT. The machine
# may be shared: CPU time shows what the wall time does not.
timed() {
  local out=$1
  shift
  /usr/bin/time -f '%e %M %U %S' -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; return 1; }
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$WORK/time" > "$WORK/time2"
  mv "$WORK/time2" "$WORK/time"
  tail -1 "$WORK/time" >> "$out"
}
mbs() { awk -v b="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s; else print "n/a" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }
fsize() { stat -c %s "$1"; }

write_nsi() {  # write_nsi DIR COMPRESSOR
  cat > "$1/bench-$2.nsi" <<EOF
Unicode true
SetCompressor $( [ "$2" = lzma ] && echo "/SOLID lzma" || echo zlib )
Name "Bench"
OutFile "setup-$2.exe"
InstallDir "\$PROGRAMFILES\\Orv\\Bench"
RequestExecutionLevel user
Section
  SetOutPath \$INSTDIR
  File /r "payload\\*.*"
SectionEnd
EOF
}

write_product() {  # write_product DIR: the SCRIPT and LICENCE of a product for orv build
  printf '%s\r\n' "95,98,NT,W2" "UnstOrv.exe,1,0,0,3" "Kestrel Lane Software" "Bench" "1.0" \
    "http://www.kestrellane.co.uk/" "." "." 'Orv\Bench\' "Bench" "." "." "." "." > "$1/SCRIPT"
  printf '%s\r\n' "Benchmark product: no licence terms." > "$1/LICENCE"
}

# --- Measurements ----------------------------------------------------------------------------
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A R
for set in "${SETS[@]}"; do
  d=$WORK/$set
  n=${BYTES[$set]}
  log "$set: ${FILES[$set]} files, $n bytes"

  for t in 1 2; do
    : > "$d/pack$t"
    for _ in $(seq "$RUNS"); do
      rm -rf "$d/out" && mkdir "$d/out"
      timed "$d/pack$t" "$PACK" --threads "$t" "$d/payload" "$d/out"
    done
    R[$set.packs$t]=$(cut -d' ' -f1 "$d/pack$t" | median)
    R[$set.packkb$t]=$(cut -d' ' -f2 "$d/pack$t" | median)
    R[$set.packcpu$t]=$(cut -d' ' -f3 "$d/pack$t" | median)
  done
  R[$set.ours]=$(fsize "$d/out/DATA")
  R[$set.optimal]=$("$SZB" --optimal "$d/all")

  : > "$d/ms"
  for _ in $(seq "$RUNS"); do
    rm -f "$d/all_"
    (cd "$d" && timed "$d/ms" mscompress all)
  done
  R[$set.ms]=$(fsize "$d/all_")
  R[$set.mss]=$(cut -d' ' -f1 "$d/ms" | median)
  R[$set.mscpu]=$(cut -d' ' -f3 "$d/ms" | median)

  R[$set.exps]=$("$SZB" --expand "$d/out/DATA" $((RUNS * 3)))
  : > "$d/mx"
  for _ in $(seq "$RUNS"); do
    timed "$d/mx" sh -c "msexpand < '$d/out/DATA' > '$d/back'"
  done
  cmp -s "$d/back" "$d/all" || { log "$set: msexpand did not give the payload back"; exit 1; }
  R[$set.mxs]=$(cut -d' ' -f1 "$d/mx" | median)

  # Installers of the same payload. Build times are taken on the medium set only.
  reps=1
  [ "$set" = medium ] && reps=$RUNS
  for c in zlib lzma; do
    write_nsi "$d" $c
    : > "$d/nsis$c"
    for _ in $(seq $reps); do
      (cd "$d" && timed "$d/nsis$c" makensis -V1 "bench-$c.nsi")
    done
    R[$set.nsis$c]=$(fsize "$d/setup-$c.exe")
    R[$set.nsiss$c]=$(cut -d' ' -f1 "$d/nsis$c" | median)
  done
  if [ -x "$ORV" ]; then
    mkdir -p "$d/product"
    write_product "$d/product"
    ln -sfn "$d/payload" "$d/product/payload"
    : > "$d/orv"
    ok=1
    for _ in $(seq $reps); do
      timed "$d/orv" "$ORV" build -q "$d/product" -o "$d/setup-orv.exe" || { ok=0; break; }
    done
    if [ $ok = 1 ]; then
      R[$set.orv]=$(fsize "$d/setup-orv.exe")
      R[$set.orvs]=$(cut -d' ' -f1 "$d/orv" | median)
      R[$set.orvkb]=$(cut -d' ' -f2 "$d/orv" | median)
    else
      R[$set.orv]="orv build failed"
    fi
  else
    R[$set.orv]="orv not built"
  fi
done

# --- The table -------------------------------------------------------------------------------
row() {  # row LABEL KEY-FORMATTER: one cell per set
  local label=$1 fn=$2 line
  line="| $label |"
  for set in "${SETS[@]}"; do line+=" $($fn "$set") |"; done
  echo "$line"
}
c_payload() { echo "${BYTES[$1]} B, ${FILES[$1]} files"; }
c_optimal() { echo "${R[$1.optimal]} B (1)"; }
c_ours() { echo "${R[$1.ours]} B ($(ratio "${R[$1.ours]}" "${R[$1.optimal]}"))"; }
c_ms() { echo "${R[$1.ms]} B ($(ratio "${R[$1.ms]}" "${R[$1.optimal]}"))"; }
c_pack1() { echo "$(mbs "${BYTES[$1]}" "${R[$1.packs1]}") MB/s (${R[$1.packs1]} s; ${R[$1.packcpu1]} s CPU)"; }
c_pack2() { echo "$(mbs "${BYTES[$1]}" "${R[$1.packs2]}") MB/s (${R[$1.packs2]} s; ${R[$1.packcpu2]} s CPU)"; }
c_mss() { echo "$(mbs "${BYTES[$1]}" "${R[$1.mss]}") MB/s (${R[$1.mss]} s; ${R[$1.mscpu]} s CPU)"; }
c_mem() { echo "$(( ${R[$1.packkb2]} / 1024 )) MB (1 thread: $(( ${R[$1.packkb1]} / 1024 )) MB)"; }
c_exp() { echo "$(mbs "${BYTES[$1]}" "${R[$1.exps]}") MB/s"; }
c_mx() { echo "$(mbs "${BYTES[$1]}" "${R[$1.mxs]}") MB/s (${R[$1.mxs]} s)"; }
c_orv() { echo "${R[$1.orv]}$([[ ${R[$1.orv]} =~ ^[0-9]+$ ]] && echo " B")"; }
c_zlib() { echo "${R[$1.nsiszlib]} B"; }
c_lzma() { echo "${R[$1.nsislzma]} B"; }
c_orvtime() {
  if [ -n "${R[$1.orvs]:-}" ]; then echo "${R[$1.orvs]} s, $(( ${R[$1.orvkb]} / 1024 )) MB peak"; else echo "${R[$1.orv]}"; fi
}
c_nsistime() { echo "zlib ${R[$1.nsisszlib]} s, LZMA ${R[$1.nsisslzma]} s"; }

echo "Machine: $(nproc) cores (load average at the start $LOAD_START), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(free -g | awk '/Mem:/ {print $2}') GB;" \
  "at the end $(cut -d' ' -f1-3 /proc/loadavg); $(date -u '+%Y-%m-%d %H:%M UTC'); medians of $RUNS runs"
echo
echo "| Measure |$(printf ' %s |' "${SETS[@]}")"
echo "|---|$(printf -- '---|%.0s' "${SETS[@]}")"
row "Payload" c_payload
row "Compressed: optimal parse, exhaustive reference finder" c_optimal
row "Compressed: ours (block parse, ratio to optimum)" c_ours
row "Compressed: mscompress (ratio to optimum)" c_ms
row "Compression: ours, 1 thread (wall)" c_pack1
row "Compression: ours, 2 threads (wall)" c_pack2
row "Compression: mscompress (wall)" c_mss
row "Peak memory: ours, 2 threads" c_mem
row "Expansion: ours (installer's expander, host build, in memory)" c_exp
row "Expansion: msexpand (file to file)" c_mx
row "Installer: ours (orv build)" c_orv
row "Installer: makensis, zlib" c_zlib
row "Installer: makensis, solid LZMA" c_lzma
if [ -n "${BYTES[medium]:-}" ]; then
  echo "| Build time: orv build (medium) | | $(c_orvtime medium) | |"
  echo "| Build time: makensis (medium) | | $(c_nsistime medium) | |"
fi
if [ -f "$ROOT/scripts/bench-install.py" ]; then
  # Its rows follow the table's columns; it is told where the medium payload lies.
  BENCH_PAYLOAD=$WORK/medium/payload BUILD=$BUILD python3 "$ROOT/scripts/bench-install.py" ||
    echo "| scripts/bench-install.py failed | | | |"
fi
