#!/usr/bin/env bash
# The performance benchmark (not a test, not part of CI). Builds the frozen corpus of
# tests/bench/corpus.txt (PE files and documents that Debian packages ship, in three sets of
# about 50 KB, 5 MB in 100 files, and 50 MB), measures ours beside Debian's mscompress,
# msexpand and makensis on the same bytes, and prints the "## Results" and "## Against the
# targets" sections of docs/performance.md, ready to paste: one Markdown table, every
# figure from this one run.
#
#   scripts/bench.sh [--write-doc]
#
#   --write-doc   also replace docs/performance.md from its "## Results" line on
#
# Environment (defaults in brackets):
#   RUNS [3]           runs of ours (and of makensis on the medium set); times are medians
#   SLOW_RUNS [1]      runs of mscompress and msexpand, which take minutes on the large set
#   INSTALL_RUNS [5]   runs of each installation under Wine (scripts/bench-install.py)
#   BENCH_INSTALL [1]  0 leaves the installation under Wine out
#   BENCH_SETS ["small medium large"], BUILD [build]
#   BENCH_SETS="small medium" RUNS=1 INSTALL_RUNS=1 scripts/bench.sh     (a quicker look)
#
# Needs the host build (cmake -S . -B build); builds orv, bench_szdd_bench and the
# 32-bit Windows sub-build (the stub, the uninstaller, orvdrive, lzcheck) itself. As root it
# installs the Debian packages that are missing (mscompress, nsis, the corpus's packages).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
RUNS=${RUNS:-3}
SLOW_RUNS=${SLOW_RUNS:-1}
INSTALL_RUNS=${INSTALL_RUNS:-5}
BENCH_INSTALL=${BENCH_INSTALL:-1}
CORPUS=$ROOT/tests/bench/corpus.txt
PEER_NSI=$ROOT/tests/bench/peer.nsi
DOC=$ROOT/docs/performance.md
# The targets that the last section judges.
STUB_TARGET=34816        # bytes: the installer stub, without a product
PACK_TARGET=40           # MB/s wall, two threads, on the large set
EXPAND_TARGET=2.5        # times the speed of the platform's LZCopy, under Wine
MEMORY_TARGET=256        # MB peak resident set of the packer, whatever the payload
RATIO_TARGET=1.0005      # compressed size over the whole-stream optimum
WINDOW_TARGET=100        # ms from the installer's start to its first window, under Wine
read -r -a SETS <<< "${BENCH_SETS:-small medium large}"
WRITE_DOC=0
case "${1:-}" in
  --write-doc) WRITE_DOC=1 ;;
  "") ;;
  *) echo "usage: scripts/bench.sh [--write-doc]" >&2; exit 2 ;;
esac
WORK=$(mktemp -d /tmp/orv_bench_XXXXXX)
trap 'rm -rf "$WORK"' EXIT
T0=$SECONDS

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
log "building orv, bench_szdd_bench"
cmake --build "$BUILD" -j2 --target orv bench_szdd_bench >/dev/null
# The Windows sub-build: the stub that orv build writes into, the uninstaller it carries, and
# the programs that the installation under Wine needs. Without it the rows that need it say so.
log "building the Windows sub-build"
cmake --build "$BUILD" -j2 --target windows >"$WORK/win-build.log" 2>&1 ||
  { tail -20 "$WORK/win-build.log" >&2; log "the Windows sub-build failed"; }
SZB=$BUILD/bench_szdd_bench
ORV=$BUILD/orv
STUB=$BUILD/win/install_stub.exe
UNINST=$BUILD/win/uninstall.exe

# --- The corpus, checked against its frozen hashes ------------------------------------------
# Each set's payload lies in WORK/SET/product/payload, the product folder of orv build.
declare -A BYTES FILES
for set in "${SETS[@]}"; do
  mkdir -p "$WORK/$set/product/payload"
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
  dest=$WORK/$set/product/payload/$(basename "$path")
  [ ! -e "$dest" ] || { log "two corpus files named $(basename "$path") in $set"; exit 1; }
  cp "$path" "$dest"
  touch -d '2024-01-02 03:04:05' "$dest"
  BYTES[$set]=$((BYTES[$set] + size))
  FILES[$set]=$((FILES[$set] + 1))
done < <(grep -v '^#' "$CORPUS")
[ $bad = 0 ] || { log "the corpus differs (package versions changed?): nothing measured"; exit 1; }
for set in "${SETS[@]}"; do
  # The payload stream's bytes: the files back to back in the packer's order (sorted names).
  (cd "$WORK/$set/product/payload" && LC_ALL=C ls | while read -r f; do cat "$f"; done) > "$WORK/$set/all"
done

# --- Helpers ---------------------------------------------------------------------------------
median() { sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# timed OUT CMD...: runs CMD, appends "wall_seconds peak_kb cpu_seconds" to OUT. The machine
# may be shared: CPU time (user + system) shows what the wall time does not.
timed() {
  local out=$1
  shift
  /usr/bin/time -f '%e %M %U %S' -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" || { cat "$WORK/err" >&2; return 1; }
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$WORK/time" >> "$out"
}
# stat_of FILE FIELD: the median of one field (1 wall, 2 peak KB, 3 CPU) of a timed file.
stat_of() { cut -d' ' -f"$2" "$1" | median; }
mbs() { awk -v b="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", b / 1e6 / s; else print "n/a" }'; }
# A table cell's rate: a time below the clock's step gives none.
mbsu() { local r; r=$(mbs "$1" "$2"); if [ "$r" = n/a ]; then echo "too quick to time"; else echo "$r MB/s"; fi; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", a / b }'; }
fsize() { stat -c %s "$1"; }
runs() { if [ "$1" = 1 ]; then echo "one run"; else echo "medians of $1 runs"; fi; }
secs() { awk -v v="$1" 'BEGIN { printf "%.2f", v / 1000 }'; }   # ms -> s
mb() { echo $(( $1 / 1024 )); }   # KB -> MB (of 2^20 bytes)
commas() { echo "$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'; }

write_product() {  # write_product DIR FIRST: SCRIPT and LICENCE of a product with one shortcut
  printf '%s\r\n' "95,98,NT,W2" "UnstOrv.exe,1,0,0,3" "Kestrel Lane Software" "Lumivane" "1.0" \
    "http://www.kestrellane.co.uk/" "." "." 'Orv\Lumivane\' "Lumivane" "$2,First file" "." "." "." "." \
    > "$1/SCRIPT"
  printf '%s\r\n' "Benchmark product: no licence terms." > "$1/LICENCE"
}

# --- Measurements ----------------------------------------------------------------------------
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
DATE_START=$(date -u '+%Y-%m-%d %H:%M UTC')
declare -A R
for set in "${SETS[@]}"; do
  d=$WORK/$set
  p=$d/product/payload
  n=${BYTES[$set]}
  first=$(cd "$p" && LC_ALL=C ls | head -1)
  log "$set: ${FILES[$set]} files, $n bytes (load average $(cut -d' ' -f1-3 /proc/loadavg))"

  for t in 1 2; do
    : > "$d/pack$t"
    for _ in $(seq "$RUNS"); do
      rm -rf "$d/out" && mkdir "$d/out"
      timed "$d/pack$t" "$ORV" pack --threads "$t" "$p" "$d/out"
    done
    R[$set.packs$t]=$(stat_of "$d/pack$t" 1)
    R[$set.packkb$t]=$(stat_of "$d/pack$t" 2)
    R[$set.packcpu$t]=$(stat_of "$d/pack$t" 3)
  done
  R[$set.ours]=$(fsize "$d/out/DATA")
  log "$set: the optimal parse"
  R[$set.optimal]=$("$SZB" --optimal "$d/all")

  log "$set: mscompress"
  : > "$d/ms"
  for _ in $(seq "$SLOW_RUNS"); do
    rm -f "$d/all_"
    (cd "$d" && timed "$d/ms" mscompress all)
  done
  R[$set.ms]=$(fsize "$d/all_")
  R[$set.mss]=$(stat_of "$d/ms" 1)
  R[$set.mscpu]=$(stat_of "$d/ms" 3)

  R[$set.exps]=$("$SZB" --expand "$d/out/DATA" $((RUNS * 3)))
  log "$set: msexpand"
  : > "$d/mx"
  for _ in $(seq "$SLOW_RUNS"); do
    timed "$d/mx" sh -c "msexpand < '$d/out/DATA' > '$d/back'"
  done
  cmp -s "$d/back" "$d/all" || { log "$set: msexpand did not give the payload back"; exit 1; }
  R[$set.mxs]=$(stat_of "$d/mx" 1)
  R[$set.mxcpu]=$(stat_of "$d/mx" 3)

  # Installers of the same payload folder, each doing the same work (one shortcut). Build
  # times are medians of RUNS on the medium set, one run on the others.
  reps=1
  [ "$set" = medium ] && reps=$RUNS
  log "$set: makensis"
  for c in zlib lzma; do
    : > "$d/nsis$c"
    for _ in $(seq $reps); do
      (cd "$d" && timed "$d/nsis$c" makensis -V1 "-DPAYLOAD=$p" "-DOUTFILE=$d/setup-$c.exe" "-DFIRST=$first" \
        $([ $c = lzma ] && echo -DLZMA) "$PEER_NSI")
    done
    R[$set.nsis$c]=$(fsize "$d/setup-$c.exe")
    R[$set.nsis$c.t]="$(stat_of "$d/nsis$c" 1) $(stat_of "$d/nsis$c" 3) $(stat_of "$d/nsis$c" 2)"
  done
  if [ -x "$ORV" ] && [ -f "$STUB" ] && [ -f "$UNINST" ]; then
    log "$set: orv build"
    write_product "$d/product" "$first"
    : > "$d/orv"
    ok=1
    for _ in $(seq $reps); do
      timed "$d/orv" "$ORV" build -q "$d/product" -o "$d/setup-orv.exe" --stub "$STUB" --uninstaller "$UNINST" ||
        { ok=0; break; }
    done
    if [ $ok = 1 ]; then
      R[$set.orv]=$(fsize "$d/setup-orv.exe")
      R[$set.orv.t]="$(stat_of "$d/orv" 1) $(stat_of "$d/orv" 3) $(stat_of "$d/orv" 2)"
    else
      R[$set.orv]="orv build failed"
    fi
  else
    R[$set.orv]="not built ($([ -x "$ORV" ] && echo "$STUB" || echo "$ORV") missing)"
  fi
done

# The installation under Wine, ours beside makensis's silent installers, on the medium set;
# the expansion under Wine on the largest set measured.
INSTALL_ROWS=""
INSTALL_JSON=$WORK/install.json
install_col=0
lz_col=0
for i in "${!SETS[@]}"; do
  [ "${SETS[$i]}" = medium ] && install_col=$((i + 1))
  lz_col=$((i + 1))
done
if [ "$BENCH_INSTALL" = 1 ] && [ $install_col -gt 0 ]; then
  log "installation under Wine ($INSTALL_RUNS runs each; load average $(cut -d' ' -f1-3 /proc/loadavg))"
  lz_set=${SETS[$((lz_col - 1))]}
  if INSTALL_ROWS=$(python3 "$ROOT/scripts/bench-install.py" --build "$BUILD" --runs "$INSTALL_RUNS" \
      --no-default-run --columns ${#SETS[@]} --column $install_col --lz-column $lz_col \
      --lz-stream "$WORK/$lz_set/out/DATA" --json "$INSTALL_JSON" "$WORK/medium/product/payload"); then
    :
  else
    INSTALL_ROWS="| Installation under Wine: scripts/bench-install.py failed (see its output above) |$(printf ' |%.0s' "${SETS[@]}")"
    rm -f "$INSTALL_JSON"
  fi
fi
LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)
ELAPSED=$((SECONDS - T0))

# --- The table -------------------------------------------------------------------------------
row() {  # row LABEL FORMATTER: one cell per set
  local label=$1 fn=$2 line
  line="| $label |"
  for set in "${SETS[@]}"; do line+=" $($fn "$set") |"; done
  echo "$line"
}
c_payload() { echo "$(commas "${BYTES[$1]}") B, ${FILES[$1]} files"; }
c_optimal() { echo "$(commas "${R[$1.optimal]}") B (1)"; }
c_ours() { echo "$(commas "${R[$1.ours]}") B ($(ratio "${R[$1.ours]}" "${R[$1.optimal]}"))"; }
c_ms() { echo "$(commas "${R[$1.ms]}") B ($(ratio "${R[$1.ms]}" "${R[$1.optimal]}"))"; }
c_pack1() { echo "$(mbsu "${BYTES[$1]}" "${R[$1.packs1]}") (${R[$1.packs1]} s; ${R[$1.packcpu1]} s CPU)"; }
c_pack2() { echo "$(mbsu "${BYTES[$1]}" "${R[$1.packs2]}") (${R[$1.packs2]} s; ${R[$1.packcpu2]} s CPU)"; }
c_mss() { echo "$(mbsu "${BYTES[$1]}" "${R[$1.mss]}") (${R[$1.mss]} s; ${R[$1.mscpu]} s CPU)"; }
c_mem() { echo "$(mb "${R[$1.packkb2]}") MB (1 thread: $(mb "${R[$1.packkb1]}") MB)"; }
c_exp() { echo "$(mbsu "${BYTES[$1]}" "${R[$1.exps]}")"; }
c_mx() { echo "$(mbsu "${BYTES[$1]}" "${R[$1.mxs]}") (${R[$1.mxs]} s; ${R[$1.mxcpu]} s CPU)"; }
c_size() {  # c_size KEY SET
  local v=${R[$2.$1]:-}
  if [[ $v =~ ^[0-9]+$ ]]; then echo "$(commas "$v") B"; else echo "$v"; fi
}
c_orv() { c_size orv "$1"; }
c_zlib() { c_size nsiszlib "$1"; }
c_lzma() { c_size nsislzma "$1"; }
c_time() {  # c_time KEY SET: "wall s (cpu s CPU), peak MB"
  local v=${R[$2.$1.t]:-}
  if [ -z "$v" ]; then echo "${R[$2.orv]}"; return; fi
  set -- $v
  echo "$1 s ($2 s CPU), $(mb "$3") MB peak"
}
c_orvtime() { c_time orv "$1"; }
c_zlibtime() { c_time nsiszlib "$1"; }
c_lzmatime() { c_time nsislzma "$1"; }

# json KEY...: a figure of the installation under Wine ("" when it was not measured).
json() {
  [ -f "$INSTALL_JSON" ] || return 0
  python3 - "$INSTALL_JSON" "$@" <<'EOF'
import json, sys
v = json.load(open(sys.argv[1]))
for k in sys.argv[2:]:
    v = v.get(k) if isinstance(v, dict) else None
print("" if v is None else v)
EOF
}

table() {
  local cpu mem
  cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')
  mem=$(free -g | awk '/Mem:/ {print $2}')
  echo "## Results"
  echo
  echo "Machine: $(nproc) cores, $cpu, $mem GB; $(uname -sr); $DATE_START. Load average (1, 5, 15 min)"
  echo "$LOAD_START at the start, $LOAD_END at the end. Ours: $(runs "$RUNS") (RUNS); mscompress and"
  echo "msexpand: $(runs "$SLOW_RUNS") (SLOW_RUNS); installer builds: $(runs "$RUNS") on the medium set, one run"
  echo "on the others; installations under Wine: $(runs "$INSTALL_RUNS") each (INSTALL_RUNS), each in a fresh"
  echo "prefix copied from the same template. The whole bench took $((ELAPSED / 60)) min $((ELAPSED % 60)) s."
  echo "Re-run with \`scripts/bench.sh --write-doc\`."
  echo
  echo "| Measure |$(printf ' %s |' "${SETS[@]}")"
  echo "|---|$(printf -- '---|%.0s' "${SETS[@]}")"
  row "Payload" c_payload
  row "Compressed: optimal parse, exhaustive reference finder" c_optimal
  row "Compressed: ours (block parse; ratio to the optimum)" c_ours
  row "Compressed: mscompress (ratio to the optimum)" c_ms
  row "Compression: ours, 1 thread (wall; CPU)" c_pack1
  row "Compression: ours, 2 threads (wall; CPU)" c_pack2
  row "Compression: mscompress (wall; CPU)" c_mss
  row "Peak memory: ours, 2 threads" c_mem
  row "Expansion: ours (installer's expander, host build, in memory)" c_exp
  row "Expansion: msexpand (file to file; wall; CPU)" c_mx
  row "Installer size: ours (orv build)" c_orv
  row "Installer size: makensis, zlib" c_zlib
  row "Installer size: makensis, solid LZMA" c_lzma
  row "Installer build: ours (orv build; wall, CPU, peak memory)" c_orvtime
  row "Installer build: makensis, zlib" c_zlibtime
  row "Installer build: makensis, solid LZMA" c_lzmatime
  [ -z "$INSTALL_ROWS" ] || echo "$INSTALL_ROWS"
  echo
  echo "Every installer does the same work: the payload into \`C:\\Program Files\\Orv\\Lumivane\`, one"
  echo "shortcut in a program folder, an uninstaller and an Add/Remove Programs entry (makensis:"
  echo "\`tests/bench/peer.nsi\`). Ours is timed with every dialog answered by the dialog driver as"
  echo "soon as it is ready (\`orvdrive --at-once\`), the peers silent (\`/S\`, no dialog), both from"
  echo "the installer's process start to its end on the driver's clock. Wine's processes are not"
  echo "counted in CPU time: their wall times depend on the load average above."
}

# --- The targets -----------------------------------------------------------------------------
met() { awk -v a="$1" -v op="$2" -v b="$3" 'BEGIN { ok = (op == "<=") ? (a + 0 <= b + 0) : (a + 0 >= b + 0); print ok ? "met" : "not met" }'; }
targets() {
  local stub big last maxratio maxmem s cpu rate perc lz lzio ours
  echo "## Against the targets"
  echo
  if [ -f "$STUB" ]; then
    stub=$(fsize "$STUB")
    echo "- Installer stub (no product) at most $(commas $STUB_TARGET) bytes: $(met "$stub" "<=" $STUB_TARGET)" \
      "($(commas "$stub") bytes, \`build/win/install_stub.exe\`)."
  else
    echo "- Installer stub at most $(commas $STUB_TARGET) bytes: not measured (the Windows sub-build is missing)."
  fi
  big=${SETS[-1]}
  s=${R[$big.packs2]}
  cpu=${R[$big.packcpu2]}
  rate=$(mbs "${BYTES[$big]}" "$s")
  perc=$(mbs "${BYTES[$big]}" "$cpu")
  echo "- Packer at least $PACK_TARGET MB/s wall on two cores ($big set, 2 threads): $(met "$rate" ">=" $PACK_TARGET)"
  echo "  ($rate MB/s: $s s wall for $cpu s CPU, $perc MB/s per CPU second, so at most"
  echo "  $(awk -v r="$perc" 'BEGIN { printf "%.1f", 2 * r }') MB/s wall with both cores free; load average $LOAD_START at the start)."
  lz=$(json lz ratio)
  lzio=$(json lz ratio+io)
  if [ -n "$lz" ]; then
    echo "- Expander at least ${EXPAND_TARGET} times as fast as LZCopy under Wine (${SETS[-1]} set's \`DATA\`): in memory,"
    echo "  as the installer expands, $(met "$lz" ">=" $EXPAND_TARGET) (${lz} times); with the files read and written, on"
    echo "  LZCopy's own terms, $(met "$lzio" ">=" $EXPAND_TARGET) (${lzio} times)."
  else
    echo "- Expander at least ${EXPAND_TARGET} times as fast as LZCopy under Wine: not measured in this run."
  fi
  maxmem=0
  for set in "${SETS[@]}"; do
    [ "${R[$set.packkb2]}" -gt $maxmem ] && maxmem=${R[$set.packkb2]}
    [ "${R[$set.packkb1]}" -gt $maxmem ] && maxmem=${R[$set.packkb1]}
  done
  local orvkb=0 t
  for set in "${SETS[@]}"; do
    t=${R[$set.orv.t]:-}
    [ -z "$t" ] || { set -- $t; [ "$3" -le $orvkb ] || orvkb=$3; }
  done
  echo "- Packer's peak memory at most $MEMORY_TARGET MB whatever the payload: $(met "$(mb $maxmem)" "<=" $MEMORY_TARGET)" \
    "on these sets ($(mb $maxmem) MB at most); see above"
  echo "  for a 2 GB payload. \`orv build\` peaked at $(mb $orvkb) MB: it streams \`DATA\` from the packer's temporary file"
  echo "  into the installer, so its peak is the packer's and does not grow with the payload."
  maxratio=$(for set in "${SETS[@]}"; do ratio "${R[$set.ours]}" "${R[$set.optimal]}"; echo; done | sort -g | tail -1)
  echo "- Compressed size at most $RATIO_TARGET times the whole-stream optimum: $(met "$maxratio" "<=" $RATIO_TARGET)" \
    "(at most $maxratio on these sets)."
  ours=$(json whole_ms ours)
  if [ -n "$ours" ]; then
    local own zlib lzma first
    own=$(json own_ms)
    zlib=$(json whole_ms zlib)
    lzma=$(json whole_ms lzma)
    first=$(json startup_ms)
    echo "- The whole installation of the medium set under Wine at most the peers' silent ones:" \
      "$(met "$ours" "<=" "$(printf '%s\n' "$zlib" "$lzma" | sort -g | head -1)"): ours $(secs "$ours") s with"
    echo "  its dialogs answered at once ($(secs "$own") s less the time they stood open), makensis's silent"
    echo "  installers $(secs "$zlib") s (zlib) and $(secs "$lzma") s (solid LZMA): ours takes $(awk -v a="$ours" -v b="$zlib" 'BEGIN { printf "%.2f", a / b }')" \
      "and $(awk -v a="$ours" -v b="$lzma" 'BEGIN { printf "%.2f", a / b }') times as long."
    echo "- First window at most $WINDOW_TARGET ms after the installer's start, under Wine: $(met "$first" "<=" $WINDOW_TARGET) ($first ms)."
  fi
}

SECTION=$WORK/section.md
{ table; echo; targets; } > "$SECTION"
cat "$SECTION"
if [ $WRITE_DOC = 1 ]; then
  grep -q '^## Results$' "$DOC" || { log "$DOC has no \"## Results\" line: not written"; exit 1; }
  { sed '/^## Results$/,$d' "$DOC"; cat "$SECTION"; } > "$WORK/doc.md"
  cp "$WORK/doc.md" "$DOC"
  log "wrote $DOC"
fi
