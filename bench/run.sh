#!/usr/bin/env bash
# Builds the benchmarks in Release, generates the three product inputs into a
# temporary folder, runs the stage benchmarks, the peak-memory probe and the
# CLI as a whole process, and prints a summary against the targets.
#
#   bench/run.sh            (from anywhere; about 3 to 5 minutes on two cores)
# Environment: CLI_RUNS (default 11) timed runs of `tabrelium-cli image`;
# BENCH_BUILD_DIR the Release build folder (default build-bench);
# extra arguments go to pipeline_bench (e.g. --benchmark_filter=pipeline).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
build="${BENCH_BUILD_DIR:-$repo/build-bench}"
cli_runs=${CLI_RUNS:-11}

echo "== build ($build)"
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTABRELIUM_BUILD_BENCHMARKS=ON -DTABRELIUM_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target generate_products pipeline_bench pipeline_peak_rss tabrelium-cli \
  download_bench sheet_bench window_bench multi_device_bench reference_image versus_reference

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The CLI reads its configuration from here: an empty folder means defaults,
# whatever this machine's own configuration holds.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME"

echo "== inputs ($work)"
gen="$build/bench/generate_products"
"$gen" --bytes 67108864 "$work/products_64mib.csv"
"$gen" 1000000 "$work/products_1000000.csv"
"$gen" 440000 "$work/products_440000.csv"

echo "== pipeline_bench"
"$build/bench/pipeline_bench" --inputs="$work" \
  --benchmark_out="$work/bench.csv" --benchmark_out_format=csv "$@"
cp "$work/bench.csv" "$build/pipeline_bench.csv"

echo "== peak resident memory, whole pipeline, one fresh process per input"
for input in products_64mib products_1000000 products_440000; do
  echo "-- $input"
  "$build/bench/pipeline_peak_rss" "$work/$input.csv" | tee "$work/rss_$input.txt"
done

echo "== tabrelium-cli image on 440,000 rows, $cli_runs runs"
cli=("$build/cli/tabrelium-cli" image "$work/products_440000.csv" -o "$work/x.img")
if ! command -v hyperfine >/dev/null && [ "$(id -u)" = 0 ]; then
  apt-get install -y -qq hyperfine >/dev/null 2>&1 || true
fi
if command -v hyperfine >/dev/null; then
  hyperfine -N --style basic --warmup 1 --runs "$cli_runs" --export-json "$work/cli.json" \
    "$(printf "%q " "${cli[@]}")" >/dev/null
  cli_ms=$(grep -o '"median": *[0-9.e-]*' "$work/cli.json" | head -1 |
    awk -F: '{printf "%.1f", $2 * 1000}')
  cli_tool=hyperfine
else
  "${cli[@]}" >/dev/null  # warm-up
  for _ in $(seq "$cli_runs"); do
    start=$(date +%s%N)
    "${cli[@]}" >/dev/null
    echo $(( ($(date +%s%N) - start) / 1000 ))
  done | sort -n | awk '{ t[NR] = $1 } END { printf "%.1f\n", t[int((NR + 1) / 2)] / 1000 }' \
    >"$work/cli_ms.txt"
  cli_ms=$(cat "$work/cli_ms.txt")
  cli_tool="date loop"
fi

echo "== tabrelium-cli image against the plain reference program (whole processes, alternating, medians of ${VERSUS_RUNS:-7})"
# The default fields (barcode and name) on 440,000 products; the barcode
# alone on 1,000,000, so that the image stays under the 16 MiB a download takes.
"$build/cli/tabrelium-cli" config >"$work/two_fields.ini"
LC_ALL=C sed 's/^F02=.*$/F02=\r/' "$work/two_fields.ini" >"$work/one_field.ini"
for pair in "products_440000 1,2 two_fields" "products_1000000 1 one_field"; do
  read -r input columns config <<<"$pair"
  "$build/bench/versus_reference" --cli "$build/cli/tabrelium-cli" \
    --reference "$build/bench/reference_image" --input "$work/$input.csv" --columns "$columns" \
    --config "$work/$config.ini" --runs "${VERSUS_RUNS:-7}" --out "$work" | tee -a "$work/versus.txt"
done

echo "== spreadsheets, dBASE and UTF-8 text into the cell table (one fresh process each)"
"$build/bench/sheet_bench" generate "$work"
# XLS inputs from an independent writer (python3-xlwt, Debian's python3).
xls_inputs=()
py=python3
[ -x /usr/bin/python3 ] && py=/usr/bin/python3
if "$py" -c 'import xlwt' 2>/dev/null; then
  "$py" "$here/write_xls.py" "$work" && xls_inputs=(xls_65535_3.xls xls_65535_32.xls)
else
  echo "xls inputs: skipped (python3-xlwt is not installed)"
fi
for input in xlsx_100k_3.xlsx xlsx_100k_32.xlsx "${xls_inputs[@]}" dbf_100k.dbf utf8_64mib.csv; do
  "$build/bench/sheet_bench" load "$work/$input" 5
done
# For comparison: LibreOffice converting the same XLS files to CSV, one run each.
if command -v soffice >/dev/null && ((${#xls_inputs[@]} > 0)); then
  mkdir -p "$work/lo"
  for input in "${xls_inputs[@]}"; do
    start=$(date +%s%N)
    soffice --headless --convert-to csv --outdir "$work/lo" "$work/$input" >/dev/null 2>&1 || true
    echo "$input: LibreOffice to CSV $(( ($(date +%s%N) - start) / 1000000 )) ms (one run)"
  done
fi
# The ODS file comes from LibreOffice (headless), which also gives the time
# an office program needs to read it back (to CSV, one run) for comparison.
if command -v soffice >/dev/null; then
  soffice --headless --infilter=CSV:44,34,76 --convert-to ods --outdir "$work" \
    "$work/ods_100k_3.csv" >/dev/null 2>&1 || true
fi
if [ -f "$work/ods_100k_3.ods" ]; then
  "$build/bench/sheet_bench" load "$work/ods_100k_3.ods" 5
  mkdir -p "$work/lo"
  start=$(date +%s%N)
  soffice --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$work/lo" \
    "$work/ods_100k_3.ods" >/dev/null 2>&1 || true
  echo "ods_100k_3.ods: LibreOffice to CSV $(( ($(date +%s%N) - start) / 1000000 )) ms (one run)"
else
  echo "ods input: skipped (soffice, LibreOffice headless, is not installed)"
fi

echo "== download against the emulated device (1 MiB, 1 ms per frame; instant bus; silent device)"
"$build/bench/download_bench" --runs "${DOWNLOAD_RUNS:-3}"

echo "== four emulated devices at once (1 MiB each, 1 ms per frame), then the window idle beside them"
"$build/bench/multi_device_bench" --runs "${DOWNLOAD_RUNS:-3}"

echo "== the window on the offscreen platform (1,000,000 rows: load until painted, preview, scroll)"
"$build/bench/window_bench" --inputs="$work" --benchmark_filter='.*' 2>&1 |
  grep -E 'median|first_load|view_heap|peak_rss'

echo
echo "== summary (medians, wall time; x memchr = stage time / one memchr pass)"
# The 440,000-product comparison comes first in versus.txt.
versus_ratio=$(grep -m1 -o 'ratio cli/reference [0-9.]*' "$work/versus.txt" | awk '{print $3}')
versus_peak=$(grep -m1 '^ *tabrelium-cli image ' "$work/versus.txt" | grep -o 'peak *[0-9.]*' | awk '{print $2}')
awk -v cli_ms="$cli_ms" -v cli_tool="$cli_tool" -v cli_runs="$cli_runs" \
  -v versus_ratio="$versus_ratio" -v versus_peak="$versus_peak" -f "$here/summarize.awk" \
  "$work/bench.csv" "$work/rss_products_64mib.txt"
