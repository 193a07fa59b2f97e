# Turns pipeline_bench's CSV output and pipeline_peak_rss's lines into the
# summary bench/run.sh prints, with each target's verdict.
# Variables: cli_ms, cli_tool, cli_runs (the CLI's median process time);
# versus_ratio, versus_peak (the CLI against the reference on 440,000 rows).
BEGIN { FS = "," }

FNR == NR && $1 == "name" {
  for (i = 1; i <= NF; ++i) if ($i == "faults" || $i == "\"faults\"") faultsColumn = i
  next
}

FNR == NR {
  if ($1 !~ /_median"$/) next
  name = $1
  gsub(/"/, "", name)
  split(name, part, "/")
  stage = part[1]; input = part[2]
  ms[stage, input] = $3
  cpu[stage, input] = $4
  if (faultsColumn && $faultsColumn != "") faults[stage, input] = $faultsColumn
  if (!(input in seenInput)) { seenInput[input] = 1; inputs[++inputCount] = input }
  if (!(stage in seenStage)) { seenStage[stage] = 1; stages[++stageCount] = stage }
  next
}

{
  n = split($0, field, " ")
  for (i = 1; i <= n; ++i) {
    if (split(field[i], kv, "=") == 2) rss[kv[1]] = kv[2]
  }
}

function verdict(ok) { return ok ? "met" : "MISSED" }

function printHeading(title,    i) {
  printf "%-22s", title
  for (i = 1; i <= inputCount; ++i) printf "%22s", inputs[i]
  printf "\n"
}

# One row per stage, one column per input; "-" where nothing was measured.
function printTable(title, values, format,    s, i, key) {
  printHeading(title)
  for (s = 1; s <= stageCount; ++s) {
    printf "%-22s", stages[s]
    for (i = 1; i <= inputCount; ++i) {
      key = stages[s] SUBSEP inputs[i]
      printf "%22s", (key in values) ? sprintf(format, values[key]) : "-"
    }
    printf "\n"
  }
}

END {
  printHeading("stage (ms)")
  for (s = 1; s <= stageCount; ++s) {
    printf "%-22s", stages[s]
    for (i = 1; i <= inputCount; ++i) {
      key = stages[s] SUBSEP inputs[i]
      base = ms["baseline_memchr", inputs[i]]
      if (!(key in ms)) { printf "%22s", "-"; continue }
      if (base > 0 && stages[s] != "detect_separator")
        printf "%22s", sprintf("%.2f (x%.0f)", ms[key], ms[key] / base)
      else
        printf "%22s", sprintf("%.4f", ms[key])
    }
    printf "\n"
  }
  printf "(xN: the stage's median over one memchr pass over the same bytes)\n\n"

  printTable("cpu ms (of the above)", cpu, "%.2f")
  printf "(wall well above cpu: the machine was busy with other work, or waited on I/O)\n\n"
  printTable("page faults per run", faults, "%.0f")
  printf "\n"

  if (("pipeline" SUBSEP "64MiB") in ms)
    printf "whole pipeline, 64 MiB:      %8.1f ms  (target <= 150 ms: %s)\n",
      ms["pipeline", "64MiB"], verdict(ms["pipeline", "64MiB"] <= 150)
  if (("pipeline" SUBSEP "1M_rows") in ms)
    printf "whole pipeline, 1,000,000:   %8.1f ms  (target <= 100 ms: %s)\n",
      ms["pipeline", "1M_rows"], verdict(ms["pipeline", "1M_rows"] <= 100)
  if (cli_ms != "")
    printf "tabrelium-cli image, 440k:   %8.1f ms  (median of %d runs, %s)\n", cli_ms, cli_runs, cli_tool
  if (versus_ratio != "")
    printf "  against the reference:     %8.2f x its time, peak %s MiB  (target <= 0.6 x, <= 52 MiB: %s)\n",
      versus_ratio, versus_peak, verdict(versus_ratio <= 0.6 && versus_peak != "" && versus_peak <= 52)
  if ("peak_rss_bytes" in rss)
    printf "peak RSS, 64 MiB pipeline:   %8.1f MiB for a %.1f MiB file, ratio %.2f  (target <= 2.5: %s)\n",
      rss["peak_rss_bytes"] / 1048576, rss["file_bytes"] / 1048576, rss["ratio"],
      verdict(rss["ratio"] <= 2.5)
}
