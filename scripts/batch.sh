#!/usr/bin/env bash
# Runs TEPHROMAT on many cones, one row of a CSV table per cone, several at a
# time with GNU parallel.
#
#   scripts/batch.sh [-j JOBS] [--answers-only] TABLE.csv [WORK_DIR]
#
# Each row becomes an answers file, WORK_DIR/NNN-<name>.answers (NNN the row
# number, of 3 digits or, past 999 rows, as many as the last row's; <name> the
# generic name), holding the answers to the dialogue in the
# order the questions come; the runs' consoles go to WORK_DIR/NNN-<name>.log
# and GNU parallel's job log to WORK_DIR/joblog.tsv.  WORK_DIR defaults to the
# table's name without .csv, followed by "-batch".  Older .answers and .log
# files and summary.csv in WORK_DIR are removed once the whole table has been
# checked: a table refused leaves them as they were.
#
# When the runs are over, WORK_DIR/summary.csv gathers the cones: one header
# line, then one line per row of the table, in the table's order: "row" (NNN as a
# number), "status" ("ok", or why the run failed), then the columns of the runs'
# <G>_summary.csv.  A failed cone keeps its dem and generic_name; its figures
# stay empty.
#
# Ctrl-C stops the batch and its runs.  From elsewhere, signal its process
# group (kill -TERM -- -PGID): GNU parallel, which runs in the foreground,
# does not hear a signal sent to this script alone.
#
# Environment: TEPHROMAT_ROOT, the root that holds the folders (as for the
# program itself; default $HOME/images/), and TEPHROMAT, the program (default:
# the tephromat installed beside this script, else build/tephromat of this
# source tree, else the tephromat on the PATH).
#
# -j JOBS         runs at most JOBS cones at a time (default: one per core);
#                 GNU parallel's options reach further: PARALLEL="--sshlogin
#                 8/host1,8/host2" spreads the cones over several machines
#                 that see the same files
# --answers-only  writes the answers files and stops.  On a cluster, a job
#                 array then runs one file per task, for instance
#                 tephromat < "$(ls WORK_DIR/*.answers | sed -n "${SLURM_ARRAY_TASK_ID}p")"
#                 The answers to a raw DEM follow its descriptor as it is
#                 now: a DEM without descriptor gets one at its first run,
#                 after which the program asks other questions.  So two rows
#                 on such a DEM are refused, and its answers files are made
#                 again before a second run.
#
# Two kinds of table, told apart by their header line:
#
# A table in the terms of `tephromat measure`: a header naming its options
# without their dashes (dashes as underscores), in any order and any subset,
# `dem` and `base` (or `base_sweep`) required, one of `centre`,
# `centre_xy`, `centre_lonlat` filled in each row; e.g.
#
#   dem,base,centre,centre_lonlat,name,out,format
#   examples/maunga-whau/maunga_whau.asc,125,"27,29",,mw125,results,esri
#   examples/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif,auto,,"174.7642,-36.8772",,results,
#
# A cell holding a comma is quoted as CSV does ("27,29"; a quote inside a
# quoted cell is doubled); an empty cell leaves the option out (its default);
# a flag (quiet, reproject, clip_indices, ...) takes 1, 0, yes or no.  Paths
# (dem, out, outline, crater) are relative to the folder where batch.sh is run.
# Each row becomes WORK_DIR/NNN-<name>.command, the command line of the row
# (`bash NNN-<name>.command` runs it; TEPHROMAT names the program), its console
# goes to NNN-<name>.log, and WORK_DIR/summary.csv gathers the rows' summaries
# (OUT/NAME_summary.csv) as for the dialogue's tables.  Two rows may not write
# the same outputs (the same out folder and name).
#
# A table in the terms of the dialogue: one header line, exactly the column names below, then one cone a
# row.  Cells hold no commas, quotes or spaces; a cell stays empty where its
# question is not asked.  Lines that are empty or begin with # are skipped.
#
#   folder                  folder below the root: not absolute, no ".."
#                           in it; "./", repeated and trailing "/" are
#                           dropped ("./site/" is "site")
#   dem                     DEM name without extension, without "/"
#   input_format            0 ESRI ASCII grid, 1 raw raster
#   raw_width               raw input: 0 16-bit, 1 32-bit
#   lines, columns          raw input without descriptor: its dimensions
#   raw_pixel_size          raw input without descriptor, or whose descriptor
#                           gives no pixel size: the pixel size in whole metres.
#                           The program asks these according to the DEM's
#                           descriptor (<dem>_m2.txt or _m4.txt) as the run
#                           finds it; a run without descriptor writes one
#                           (without pixel size), and the runs after it are
#                           asked the pixel size alone.  So the answers are
#                           made as each run begins, a run that finds no
#                           descriptor holds back the other runs on its DEM
#                           until it ends, and a row whose lines, columns or
#                           pixel size differ from the descriptor's is refused.
#   unit                    raw input: 0 m, 1 dm, 2 cm, 3 mm
#   pixel_size              pixel size in metres (decimal)
#   generic_name            name of the outputs, without "/"; empty: the
#                           DEM name.  No two rows may write the same
#                           outputs (the same folder and generic name)
#   output_format           0 ESRI ASCII grid, 1 raw raster
#   output_width            raw output: 0 16-bit, 1 32-bit
#   output_scale            raw output: 0 m, 1 dm, 2 cm, 3 mm
#   x_min, y_min            raw input with ESRI output: lower-left corner
#   base                    altitude of the volcanic base line (m)
#   centre_line, centre_column
#                           centre point; both empty: computed from the
#                           basal slice
#   basal_slice             gravity-centre model, basal slice: 0 surface,
#                           1 perimeter
#   upper_slices            upper slices in the model: 0 yes, 1 no
#   number_of_upper_slices  yes only: 2 to 10
#   upper_slice_type        yes only: 0 surface, 1 perimeter
#
# Example, the bundled sample and the same DEM from a raw 16-bit copy in
# decimetres without descriptor:
#
#   folder,dem,input_format,raw_width,lines,columns,raw_pixel_size,unit,pixel_size,generic_name,output_format,output_width,output_scale,x_min,y_min,base,centre_line,centre_column,basal_slice,upper_slices,number_of_upper_slices,upper_slice_type
#   maunga-whau,maunga_whau,0,,,,,,10,,0,,,,,110,27,29,0,0,4,1
#   maunga-whau,mw_dm,1,0,61,87,10,1,10,mw_raw,1,1,1,,,110,,,0,1,,
set -euo pipefail

# The columns of the program's <G>_summary.csv.
summary_columns="tephromat_version,dem,generic_name,pixel_size_m,base_m,centre_line,centre_column,centre_calculated,items,chosen_item,top_m,height_m,crater_depth_m,volume_km3,slope_down_deg,slope_up_deg,base_radius_min_m,base_radius_max_m,elongation_pct,crater_radius_min_m,crater_radius_max_m,surface_2d_km2,surface_3d_km2,surface_ratio_pct,rebuilt_volume_km3,rebuilt_slope_down_deg,rebuilt_slope_up_deg,erosion_surface_2d_km2,erosion_surface_3d_km2,volumetric_difference_km3,eroded_volume_km3,erosion_max_m,slice_centre_line,slice_centre_column,x_min,y_min,dem_min,dem_max,dem_min_m,dem_max_m,rebuilt_crater_depth_m,erosion_surface_ratio_pct,warnings,edifice_border_cells,crater_found,crater_depression_m,crater_walled_rays,cells_without_data_touched,centre_x,centre_y,centre_lon,centre_lat,crs,base_auto,base_limit,base_limit_m"

header="folder,dem,input_format,raw_width,lines,columns,raw_pixel_size,unit,pixel_size,generic_name,output_format,output_width,output_scale,x_min,y_min,base,centre_line,centre_column,basal_slice,upper_slices,number_of_upper_slices,upper_slice_type"

usage() {
  echo "usage: $0 [-j JOBS] [--answers-only] TABLE.csv [WORK_DIR]" >&2
  exit 2
}

jobs=""
answers_only=0
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    -j) [ $# -ge 2 ] || usage; jobs="$2"; shift 2 ;;
    -j*) jobs="${1#-j}"; shift ;;
    --answers-only) answers_only=1; shift ;;
    -h|--help) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
    -*) usage ;;
    *) args+=("$1"); shift ;;
  esac
done
[ ${#args[@]} -ge 1 ] && [ ${#args[@]} -le 2 ] || usage
table="${args[0]}"
[ -r "$table" ] || { echo "batch: cannot read $table" >&2; exit 1; }
work="${args[1]:-${table%.csv}-batch}"
root="${TEPHROMAT_ROOT:-}"
if [ -z "$root" ]; then root="${HOME:-}/images/"; elif [ "${root%/}" = "$root" ]; then root="$root/"; fi

if [ -z "${TEPHROMAT:-}" ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  if [ -x "$here/tephromat" ]; then TEPHROMAT="$here/tephromat"
  elif [ -x "$here/../build/tephromat" ]; then TEPHROMAT="$(cd "$here/.." && pwd)/build/tephromat"
  else TEPHROMAT=$(command -v tephromat || echo "$here/../build/tephromat")
  fi
fi

# A table in the terms of `tephromat measure`.
measure_batch() {
  [ -x "$TEPHROMAT" ] || { echo "batch: no program at $TEPHROMAT (set TEPHROMAT)" >&2; return 1; }
  # The options, from the program's own help: those that take a value, and
  # the flags.
  local help valued flags
  help="$("$TEPHROMAT" measure --help)"
  valued=$(sed -n 's/^  *--\([a-z][a-z-]*\) \(TEXT\|INT\|FLOAT\|UINT\).*/\1/p' <<< "$help" | tr '-' '_' | tr '\n' ' ')
  flags=$(sed -n 's/^  *--\([a-z][a-z-]*\)\(=[^ ]*\)\{0,1\}\( .*\)\{0,1\}$/\1/p' <<< "$help" | tr '-' '_' | tr '\n' ' ')
  commands="$(mktemp)"  # global: the trap removes it however the script ends
  trap 'rm -f "$commands"' EXIT
  # Every row is checked before anything is removed or written.
  batch_table="$table" batch_work="$work" LC_ALL=C awk -v valued="$valued" -v flags="$flags" -v out_list="$commands" -v us="$us" '
  function fail(msg) { printf "batch: %s, line %d: %s\n", ENVIRON["batch_table"], FNR, msg > "/dev/stderr"; bad = 1; exit 1 }
  # Splits a CSV line into cell[1..n]; quoted cells may hold commas and
  # doubled quotes.  Returns n.
  function csv(line,   n, k, ch, q, v, any) {
    n = 0; v = ""; q = 0; any = 0
    for (k = 1; k <= length(line); ++k) {
      ch = substr(line, k, 1)
      if (q) {
        if (ch == "\"") {
          if (substr(line, k + 1, 1) == "\"") { v = v "\""; ++k }
          else { q = 0; if (k < length(line) && substr(line, k + 1, 1) != ",") fail("a quote must end its cell") }
        } else v = v ch
      } else if (ch == ",") { cell[++n] = v; v = ""; any = 0 }
      else if (ch == "\"") { if (v != "" || any) fail("a quote inside a cell that does not begin with one"); q = 1; any = 1 }
      else v = v ch
    }
    if (q) fail("a quoted cell is not closed")
    cell[++n] = v
    return n
  }
  function trim(s) { gsub(/^[ \t]+|[ \t]+$/, "", s); return s }
  function quote(s) { gsub(/\x27/, "\x27\\\x27\x27", s); return "\x27" s "\x27" }
  # A folder without "." components or repeated and trailing slashes.
  function folder_of(p,   part, m, k, f, lead) {
    lead = substr(p, 1, 1) == "/" ? "/" : ""
    m = split(p, part, "/"); f = ""
    for (k = 1; k <= m; ++k) if (part[k] != "" && part[k] != ".") f = f (f == "" ? "" : "/") part[k]
    return f == "" ? (lead == "/" ? "/" : ".") : lead f
  }
  function stem_of(d,   f) {
    f = d; sub(/.*\//, "", f)
    if (tolower(f) ~ /_m[24]\.raw$/) return substr(f, 1, length(f) - 7)
    sub(/\.[^.]*$/, "", f)
    return f
  }
  BEGIN {
    work = ENVIRON["batch_work"]  # as it is: -v would take its backslashes for escapes
    n = split(valued, v, " "); for (k = 1; k <= n; ++k) takes[v[k]] = 1
    n = split(flags, v, " "); for (k = 1; k <= n; ++k) if (!(v[k] in takes)) flag[v[k]] = 1
    delete flag["help"]; delete flag["version"]; delete flag["dry_run"]
  }
  { sub(/\r$/, "") }
  /^[ \t]*(#|$)/ { next }
  !seen_header {
    ncol = csv($0)
    for (k = 1; k <= ncol; ++k) {
      name[k] = trim(cell[k])
      if (name[k] != "dem" && !(name[k] in takes) && !(name[k] in flag))
        fail("the column " name[k] " is no option of tephromat measure (see tephromat measure --help)")
      if (name[k] in col) fail("the column " name[k] " is given twice")
      col[name[k]] = k
    }
    if (!("dem" in col)) fail("the header has no column dem")
    if (!("base" in col) && !("base_sweep" in col) && !("outline" in col)) fail("the header has no column base")
    seen_header = 1; next
  }
  {
    n = csv($0)
    if (n > ncol) fail("more than " ncol " cells")
    for (k = 1; k <= ncol; ++k) {
      c[k] = k <= n ? trim(cell[k]) : ""
      if (c[k] ~ /[\001-\037\177]/) fail("the cell " name[k] " holds a control character")
    }
    dem = c[col["dem"]]
    if (dem == "") fail("the column dem is empty")
    centres = 0
    for (k in col) if (k ~ /^centre(_xy|_lonlat)?$/ && c[col[k]] != "") ++centres
    if (centres != 1) fail("one of centre, centre_xy and centre_lonlat, and only one, must be filled")
    if (("base" in col ? c[col["base"]] : "") == "" && ("base_sweep" in col ? c[col["base_sweep"]] : "") == "" &&
        ("outline" in col ? c[col["outline"]] : "") == "")
      fail("the column base is empty")
    cmd = "exec \"${TEPHROMAT:-tephromat}\" measure " quote(dem ~ /^-/ ? "./" dem : dem)  # a name, not an option
    for (k = 1; k <= ncol; ++k) {
      if (name[k] == "dem" || c[k] == "") continue
      opt = name[k]; gsub(/_/, "-", opt)
      if (name[k] in flag) {
        if (tolower(c[k]) ~ /^(1|yes)$/) cmd = cmd " --" opt
        else if (tolower(c[k]) !~ /^(0|no)$/) fail("the column " name[k] " is a flag: 1, 0, yes or no")
      } else cmd = cmd " --" opt " " quote(c[k])
    }
    o = "out" in col && c[col["out"]] != "" ? c[col["out"]] : dem
    if (!("out" in col) || c[col["out"]] == "") { sub(/\/[^\/]*$/, "", o); if (o == dem) o = "." }
    o = folder_of(o)
    g = "name" in col && c[col["name"]] != "" ? c[col["name"]] : stem_of(dem)
    if ((o SUBSEP g) in outputs) fail("the same out folder and name as line " outputs[o, g])
    outputs[o, g] = FNR
    safe = g; gsub(/[^A-Za-z0-9._-]/, "_", safe)
    ++rows; stem[rows] = safe; text[rows] = cmd; folder[rows] = o; generic[rows] = g; dems[rows] = dem
  }
  END {
    if (bad) exit 1
    if (!seen_header) { printf "batch: %s: no header line\n", ENVIRON["batch_table"] > "/dev/stderr"; exit 1 }
    width = length(rows "") > 3 ? length(rows "") : 3
    for (k = 1; k <= rows; ++k)
      printf "%0*d%s%s%s%s%s%s%s%s/%0*d-%s.command%s%s\n", width, k, us, dems[k], us, folder[k], us, generic[k], us,
        work, width, k, stem[k], us, text[k] > out_list
  }' "$table_operand" || { rm -f "$commands"; return 1; }

  # Two rows must not write the same results, however their folders are
  # written ("r", "./r", its absolute path, a link to it).
  local -A writes=()
  local n dem folder generic file text key
  while IFS="$us" read -r n dem folder generic file text; do
    key="$(realpath -m -- "$folder")/$generic"
    if [ -n "${writes[$key]:-}" ]; then
      echo "batch: $table: rows ${writes[$key]} and $((10#$n)) write the same results ($key)" >&2
      rm -f "$commands"
      return 1
    fi
    writes[$key]=$((10#$n))
  done < "$commands"

  mkdir -p "$work"
  rm -f "$work"/*.command "$work"/*.answers "$work"/*.log "$work"/joblog.tsv "$work"/summary.csv
  local files=()
  while IFS="$us" read -r n dem folder generic file text; do
    printf '#!/usr/bin/env bash\n%s\n' "$text" > "$file"
    files+=("$file")
  done < "$commands"
  echo "batch: ${#files[@]} command files in $work"
  if [ "$answers_only" -eq 1 ] || [ ${#files[@]} -eq 0 ]; then rm -f "$commands"; return 0; fi
  command -v parallel > /dev/null || { echo "batch: GNU parallel is missing (Debian package parallel)" >&2; rm -f "$commands"; return 1; }
  export TEPHROMAT
  # A plain command, so that it runs as well on the machines of --sshlogin.
  local status=0
  parallel --will-cite ${jobs:+-j "$jobs"} --env TEPHROMAT --joblog "$work/joblog.tsv" 'bash {} > {.}.log 2>&1' \
    ::: "${files[@]}" || status=$?
  # Each row's end from the job log (GNU parallel numbers the jobs in the
  # table's order), and the files its run wrote: newer than its command file,
  # not an earlier run's left in the folder.
  read_joblog
  local columns line reason seq
  IFS=, read -r -a columns <<< "$summary_columns"
  {
    echo "row,status,$summary_columns"
    while IFS="$us" read -r n dem folder generic file text; do
      seq=$((10#$n))
      local log="${file%.command}.log" summary="$folder/${generic}_summary.csv" sweep="$folder/${generic}_base_sweep.csv"
      reason=""
      if [ "${signal[$seq]:-0}" != 0 ]; then
        reason="killed by signal ${signal[$seq]}"
      elif [ "${exitval[$seq]:-}" != 0 ]; then
        # The program's message is its last line on standard error.
        reason="$(grep '^tephromat\( measure\)\{0,1\}: ' "$log" 2> /dev/null | grep -v '^tephromat: Warning' | tail -n 1 |
                  sed 's/^tephromat\( measure\)\{0,1\}: //; s/[ \r]*$//')" || true
        [ -n "$reason" ] || reason="exit status ${exitval[$seq]:-unknown}"
      elif [ -r "$sweep" ] && [ "$sweep" -nt "$file" ]; then
        reason="base sweep: $sweep"
      elif [ ! -r "$summary" ] || [ ! "$summary" -nt "$file" ]; then
        reason="no summary written"
      elif [ "$(head -n 1 "$summary")" != "$summary_columns" ]; then
        reason="the summary's columns are not those of this script: run the program of the same version"
      fi
      if [ -z "$reason" ]; then
        echo "$seq,ok,$(sed -n 2p "$summary")"
      else
        line="$seq,$(csv_cell "$reason")"
        for c in "${columns[@]}"; do
          case "$c" in
            dem) line+=",$(csv_cell "$dem")" ;;
            generic_name) line+=",$(csv_cell "$generic")" ;;
            *) line+="," ;;
          esac
        done
        echo "$line"
      fi
    done < "$commands"
  } > "$work/summary.csv.tmp"
  mv "$work/summary.csv.tmp" "$work/summary.csv"
  rm -f "$commands"
  if [ "$status" -ne 0 ]; then
    echo "batch: $status of ${#files[@]} cones failed; see the .log files and joblog.tsv in $work" >&2
    return 1
  fi
  echo "batch: ${#files[@]} cones done"
}

# Each job's exit value and signal from GNU parallel's job log, by its
# number (the jobs are numbered in the order of the files: the table's).
read_joblog() {
  declare -gA exitval=() signal=()
  [ -r "$work/joblog.tsv" ] || return 0
  local seq ev sig
  while IFS=$'\t' read -r seq _ _ _ _ _ ev sig _; do
    [[ "$seq" =~ ^[0-9]+$ ]] || continue
    exitval[$seq]="$ev"
    signal[$seq]="$sig"
  done < "$work/joblog.tsv"
}

# One CSV cell, quoted when it holds a comma or a quote.
csv_cell() {
  case "$1" in
    *[,\"]*) local q="${1//\"/\"\"}"; printf '"%s"' "$q" ;;
    *) printf '%s' "$1" ;;
  esac
}

# awk takes an operand like a=b.csv for an assignment: ./a=b.csv is a file.
table_operand="$table"
[[ "$table" == /* ]] || table_operand="./$table"
# The header tells the two kinds of table apart.
first_line=$(awk '{ sub(/\r$/, "") } /^[ \t]*(#|$)/ { next } { print; exit }' "$table_operand")
if [ "$(tr -d ' \t' <<< "$first_line")" != "$header" ]; then
  us=$'\x1f'
  measure_batch
  exit $?
fi

# The cones in the table's order, one a line, fields separated by US (0x1f)
# so that empty ones stay: number, table line, folder, DEM file below the
# root, generic name, answers file, then the answers themselves, space-separated.
us=$'\x1f'
cones="$(mktemp)"
trap 'rm -f "$cones" "$work/summary.csv.tmp"' EXIT

# Every row is checked before anything is removed or written, so that a bad
# table leaves the earlier batch, and no half-made one.
batch_table="$table" batch_work="$work" awk -F, -v header="$header" -v cones="$cones" -v us="$us" '
function fail(msg) { printf "batch: %s, line %d: %s\n", ENVIRON["batch_table"], FNR, msg > "/dev/stderr"; bad = 1; exit 1 }
function need(k) { if (c[k] == "") fail("the column " name[k] " is empty but its question is asked") }
function none(k) { if (c[k] != "") fail("the column " name[k] " must stay empty: its question is not asked") }
function menu(k, hi) { need(k); if (c[k] !~ /^[0-9]+$/ || c[k] + 0 > hi) fail(name[k] " must be 0 to " hi) }
function add(v) { answers = answers (answers == "" ? "" : " ") v }
# A folder below the root without "." components or repeated and trailing
# slashes: "./site/" and "site" are one folder.
function folder_of(p,   part, m, k, f) {
  m = split(p, part, "/"); f = ""
  for (k = 1; k <= m; ++k) if (part[k] != "" && part[k] != ".") f = f (f == "" ? "" : "/") part[k]
  return f == "" ? "." : f
}
BEGIN { ncol = split(header, name, ","); work = ENVIRON["batch_work"] }
{ sub(/\r$/, "") }
/^[ \t]*(#|$)/ { next }
!seen_header {
  line = $0; gsub(/[ \t]/, "", line)
  if (line != header) fail("the header line must be exactly: " header)
  seen_header = 1; next
}
{
  if (NF > ncol) fail("more than " ncol " cells")
  for (k = 1; k <= ncol; ++k) {
    c[k] = k <= NF ? $k : ""
    gsub(/^[ \t]+|[ \t]+$/, "", c[k])
    if (c[k] ~ /[ \t"]/) fail("the cell " name[k] " holds a space or a quote")
    if (c[k] ~ /[[:cntrl:]]/) fail("the cell " name[k] " holds a control character")
  }
  # 1 folder 2 dem 3 input_format 4 raw_width 5 lines 6 columns 7 raw_pixel_size
  # 8 unit 9 pixel_size 10 generic_name 11 output_format 12 output_width
  # 13 output_scale 14 x_min 15 y_min 16 base 17 centre_line 18 centre_column
  # 19 basal_slice 20 upper_slices 21 number_of_upper_slices 22 upper_slice_type
  # Nothing is read or written outside the root.
  if (c[1] ~ /^\// || c[1] ~ /(^|\/)\.\.(\/|$)/)
    fail("the column folder (" c[1] ") must name a folder below the root: not absolute, without \"..\"")
  if (c[2] ~ /\//) fail("the column dem (" c[2] ") must be a name in the folder, without \"/\"")
  if (c[10] ~ /\//) fail("the column generic_name (" c[10] ") must be a name, without \"/\"")
  answers = ""
  need(1); f = folder_of(c[1]); add(f); need(2); add(c[2])
  menu(3, 1); add(c[3])
  if (c[3] == 1) {
    menu(4, 1); add(c[4])
    # Which of lines, columns and raw_pixel_size are asked depends on the
    # descriptor of the DEM as the run finds it: they are answered then.
    head = answers; answers = ""
    if ((c[5] == "") != (c[6] == "")) fail("lines and columns go together")
    if (c[5] != "") {
      if (c[5] !~ /^[0-9]+$/ || c[5] + 0 == 0) fail("lines must be a whole number above 0")
      if (c[6] !~ /^[0-9]+$/ || c[6] + 0 == 0) fail("columns must be a whole number above 0")
      need(7)
    }
    if (c[7] != "" && (c[7] !~ /^[0-9]+$/ || c[7] + 0 == 0)) fail("raw_pixel_size must be a whole number above 0")
    menu(8, 3); add(c[8])
  } else {
    for (k = 4; k <= 8; ++k) none(k)
    head = answers; answers = ""
  }
  need(9); add(c[9])
  if (c[10] == "") add(0); else { add(1); add(c[10]) }
  menu(11, 1); add(c[11])
  if (c[11] == 1) { menu(12, 1); add(c[12]); menu(13, 3); add(c[13]) } else { none(12); none(13) }
  if (c[3] == 1 && c[11] == 0) { need(14); add(c[14]); need(15); add(c[15]) } else { none(14); none(15) }
  need(16); add(c[16])
  if ((c[17] == "") != (c[18] == "")) fail("centre_line and centre_column go together")
  if (c[17] == "") add(1); else { add(0); add(c[17]); add(c[18]) }
  menu(19, 1); add(c[19])
  menu(20, 1); add(c[20])
  if (c[20] == 0) { need(21); add(c[21]); menu(22, 1); add(c[22]) } else { none(21); none(22) }

  g = c[10] != "" ? c[10] : c[2]
  safe = g; gsub(/[^A-Za-z0-9._-]/, "_", safe)
  ++n; stem[n] = safe; first[n] = head; rest[n] = answers; row[n] = FNR
  raw[n] = c[3] == 1 ? c[4] us c[5] us c[6] us c[7] : us us us
  dem[n] = f "/" c[2] (c[3] == 0 ? ".asc" : c[4] == 0 ? "_m2.raw" : "_m4.raw")
  folder[n] = f; generic[n] = g
}
END {
  if (bad) exit 1
  if (!seen_header) { printf "batch: %s: no header line\n", ENVIRON["batch_table"] > "/dev/stderr"; exit 1 }
  # Numbers of one width (3 digits, more past 999 cones): the files sort in
  # the order of the table, as a job array that picks the Nth file expects.
  width = length(n "") > 3 ? length(n "") : 3
  for (k = 1; k <= n; ++k) {
    file = sprintf("%s/%0*d-%s.answers", work, width, k, stem[k])
    printf "%0*d%s%d%s%s%s%s%s%s%s%s%s%s%s%s%s%s\n", width, k, us, row[k], us, folder[k], us, dem[k], us, generic[k],
      us, file, us, raw[k], us, first[k], us, rest[k] > cones
  }
}' "$table_operand"

row_error() { echo "batch: $table, line $1: $2" >&2; exit 1; }

# The answers to the size questions of the raw DEM $1 (below the root; its
# descriptor beside it, .txt for .raw) from the row's lines $2, columns $3
# and raw_pixel_size $4, as the program asks them: without descriptor the
# lines, the columns and the pixel size; with one, only the pixel size, and
# only when the descriptor gives none (0, or fewer than six numbers, as in the
# descriptor that the program writes).  Prints them one a line, or why the row
# cannot be answered, and returns 1.  A descriptor that the program refuses
# (not a file, not beginning with two numbers) is left to the program's error.
raw_answers() {
  local dem="$root$1" desc="$root${1%.raw}.txt" l="$2" c="$3" p="$4"
  if [ ! -r "$dem" ]; then
    # The program stops at "File ... unknown".
    [ -z "$l" ] || printf '%s\n' "$l" "$c"
    [ -z "$p" ] || printf '%s\n' "$p"
    return 0
  fi
  if [ ! -e "$desc" ]; then
    if [ -z "$l" ]; then
      echo "the descriptor ${1%.raw}.txt does not exist: lines, columns and raw_pixel_size are asked"
      return 1
    fi
    printf '%s\n' "$l" "$c" "$p"
    return 0
  fi
  [ -f "$desc" ] && [ -r "$desc" ] || return 0
  LC_ALL=C awk -v desc="${1%.raw}.txt" -v l="$l" -v c="$c" -v p="$p" '
  { s = s $0 "\n" }
  END {
    # As the program reads it: a byte-order mark skipped, then up to six
    # whole numbers, up to the first that is not one.
    if (substr(s, 1, 1) == "\357") s = substr(s, 1, 3) == "\357\273\277" ? substr(s, 4) : ""
    for (n = 0; n < 6; ) {
      sub(/^[ \t\n\r\v\f]+/, "", s)
      if (!match(s, /^[+-]?[0-9]+/)) break
      d[++n] = substr(s, 1, RLENGTH); s = substr(s, RLENGTH + 1)
    }
    if (n < 2) exit 0
    if (l != "" && (l + 0 != d[1] + 0 || c + 0 != d[2] + 0)) {
      printf "the descriptor %s gives %s lines and %s columns, the row %s and %s\n", desc, d[1], d[2], l, c; exit 1
    }
    pixel = n >= 6 ? d[6] + 0 : 0
    if (pixel == 0) {
      if (p == "") { printf "the descriptor %s gives no pixel size: raw_pixel_size is asked\n", desc; exit 1 }
      print p
    } else if (p != "" && p + 0 != pixel) {
      printf "the descriptor %s gives a pixel size of %s, the row %s\n", desc, d[6], p; exit 1
    }
  }' "$desc"
}

# The answers file $1: the answers $2 and $4 (space-separated) around the
# raw DEM's size answers $3 (one a line).
write_answers() {
  local -a first rest
  read -r -a first <<< "$2"
  read -r -a rest <<< "$4"
  { printf '%s\n' "${first[@]}"; [ -z "$3" ] || printf '%s\n' "$3"; printf '%s\n' "${rest[@]}"; } > "$1"
}

# Checks that need the files.  Two rows writing the same outputs at the same
# time would spoil both: the same folder is also one reached through a
# symbolic link.  Rows on one raw DEM without descriptor: the first run writes
# it, so they must agree on its lines and columns.
declare -A physical=() output_line=() bare_line=() bare_size=() raw_of=()
while IFS="$us" read -r seq line folder dem generic _ width l c p _; do
  if [ -z "${physical[$folder]:-}" ]; then
    physical[$folder]="$(cd "$root$folder" 2> /dev/null && pwd -P || printf '%s' "$root$folder")"
  fi
  key="${physical[$folder]}/$generic"
  [ -z "${output_line[$key]:-}" ] || row_error "$line" "the same folder and generic name as line ${output_line[$key]}"
  output_line[$key]=$line
  [ -n "$width" ] || continue
  raw_of[$seq]="$(raw_answers "$dem" "$l" "$c" "$p")" || row_error "$line" "${raw_of[$seq]}"
  [ -r "$root$dem" ] && [ ! -e "$root${dem%.raw}.txt" ] || continue
  key="${physical[$folder]}/${dem##*/}"
  if [ -n "${bare_line[$key]:-}" ]; then
    [ "${bare_size[$key]}" = "$((10#$l)) $((10#$c))" ] ||
      row_error "$line" "other lines and columns than line ${bare_line[$key]} for the same raw DEM, without descriptor"
    [ "$answers_only" -eq 0 ] || row_error "$line" "the same raw DEM as line ${bare_line[$key]}, without descriptor:\
 its first run writes one, which changes the questions of the other; run without --answers-only,\
 or write the descriptor first"
  else
    bare_line[$key]=$line
    bare_size[$key]="$((10#$l)) $((10#$c))"
  fi
done < "$cones"

mkdir -p "$work"
rm -f "$work"/*.answers "$work"/*.log "$work"/joblog.tsv "$work"/summary.csv
while IFS="$us" read -r seq _ _ _ _ file _ _ _ _ first rest; do
  write_answers "$file" "$first" "${raw_of[$seq]:-}" "$rest"
done < "$cones"

files=()
while IFS="$us" read -r _ _ _ _ _ f _; do files+=("$f"); done < "$cones"
echo "batch: ${#files[@]} answers files in $work"
[ "$answers_only" -eq 1 ] && exit 0
[ ${#files[@]} -gt 0 ] || exit 0

command -v parallel > /dev/null || {
  echo "batch: GNU parallel is missing (Debian package parallel)" >&2
  exit 1
}
if [ -z "${TEPHROMAT:-}" ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  if [ -x "$here/tephromat" ]; then TEPHROMAT="$here/tephromat"
  elif [ -x "$here/../build/tephromat" ]; then TEPHROMAT="$(cd "$here/.." && pwd)/build/tephromat"
  else TEPHROMAT=$(command -v tephromat || echo "$here/../build/tephromat")
  fi
fi
[ -x "$TEPHROMAT" ] || { echo "batch: no program at $TEPHROMAT (set TEPHROMAT)" >&2; exit 1; }
export TEPHROMAT

command -v flock > /dev/null || { echo "batch: flock is missing (Debian package util-linux)" >&2; exit 1; }

# One cone.  A raw DEM's size answers are made again as its run begins: an
# earlier run may have written its descriptor since.  A run that finds no
# descriptor writes one, so the other runs on that DEM wait for it to end (a
# lock on the DEM file) and then find it.  A missing DEM ends the program
# normally (status 0): it counts as a failure here.
run_one() {
  local file="$1" log="${1%.answers}.log" line dem width l c p first rest raw
  IFS="$us" read -r _ line _ dem _ _ width l c p first rest < <(F="$file" awk -F"$us" '$6 == ENVIRON["F"]' "$cones")
  if [ -n "$width" ] && [ -r "$root$dem" ]; then
    exec 9< "$root$dem" && flock 9 || return 1
    if ! raw="$(raw_answers "$dem" "$l" "$c" "$p")"; then
      printf 'batch: %s, line %s: %s\n' "$table" "$line" "$raw" > "$log"
      exec 9<&-
      return 1
    fi
    write_answers "$file" "$first" "$raw" "$rest"
    [ ! -e "$root${dem%.raw}.txt" ] || exec 9<&-
  fi
  "$TEPHROMAT" < "$file" > "$log" 2>&1 9<&- || { local status=$?; exec 9<&-; return $status; }
  exec 9<&-
  ! grep -q $'^\tFile .* unknown$' "$log"
}
export -f run_one raw_answers write_answers
export us cones root table

status=0
parallel --will-cite ${jobs:+-j "$jobs"} --joblog "$work/joblog.tsv" run_one ::: "${files[@]}" || status=$?


# Why cone $1 (its log $2) failed, or "ok" when its summary $3 can be read.
cone_status() {
  local seq=$((10#$1)) log="$2" summary="$3" reason
  reason="$(grep -m1 $'^\tError : ' "$log" 2> /dev/null | sed $'s/^\tError : //; s/[ \r]*$//')" || true
  [ -n "$reason" ] || reason="$(grep -m1 '^batch: ' "$log" 2> /dev/null | sed 's/^batch: .*, line [0-9]*: //')" || true
  if [ -n "$reason" ]; then printf '%s\n' "$reason"
  elif grep -q $'^\tFile .* unknown$' "$log" 2> /dev/null; then echo "DEM not found"
  elif [ "${signal[$seq]:-0}" != 0 ]; then echo "killed by signal ${signal[$seq]}"
  elif [ "${exitval[$seq]:-}" != 0 ]; then echo "exit status ${exitval[$seq]:-unknown}"
  elif [ ! -r "$summary" ]; then echo "no summary written"
  elif [ "$(head -n 1 "$summary")" != "$summary_columns" ]; then
    echo "the summary's columns are not those of this script: run the program of the same version"
  else echo ok
  fi
}

read_joblog

IFS=, read -r -a columns <<< "$summary_columns"
{
  echo "row,status,$summary_columns"
  while IFS="$us" read -r n _ folder dem generic f _; do
    summary="$root$folder/${generic}_summary.csv"
    cone="$(cone_status "$n" "${f%.answers}.log" "$summary")"
    if [ "$cone" = ok ]; then
      echo "$((10#$n)),ok,$(sed -n 2p "$summary")"
    else
      line="$((10#$n)),$(csv_cell "$cone")"
      for c in "${columns[@]}"; do
        case "$c" in
          dem) line+=",$dem" ;;
          generic_name) line+=",$generic" ;;
          *) line+="," ;;
        esac
      done
      echo "$line"
    fi
  done < "$cones"
} > "$work/summary.csv.tmp"
mv "$work/summary.csv.tmp" "$work/summary.csv"

if [ "$status" -ne 0 ]; then
  echo "batch: $status of ${#files[@]} cones failed; see the .log files and joblog.tsv in $work" >&2
  exit 1
fi
echo "batch: ${#files[@]} cones done"
