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
# files and summary.csv in WORK_DIR are removed first.
#
# When the runs are over, WORK_DIR/summary.csv gathers the cones: one header
# line, then one line per row of the table, in the table's order: "row" (NNN as a
# number), "status" ("ok", or why the run failed), then the columns of the runs'
# <G>_summary.csv.  A failed cone keeps its dem and generic_name; its figures
# stay empty.
#
# Environment: TEPHROMAT_ROOT, the root that holds the folders (as for the
# program itself; default $HOME/images/), and TEPHROMAT, the program (default:
# the tephromat installed beside this script, else build/tephromat of this
# source tree, else the tephromat on the PATH).
#
# -j JOBS         runs at most JOBS cones at a time (default: one per core)
# --answers-only  writes the answers files and stops.  On a cluster, a job
#                 array then runs one file per task, for instance
#                 tephromat < "$(ls WORK_DIR/*.answers | sed -n "${SLURM_ARRAY_TASK_ID}p")"
#
# The table: one header line, exactly the column names below, then one cone a
# row.  Cells hold no commas, quotes or spaces; a cell stays empty where its
# question is not asked.  Lines that are empty or begin with # are skipped.
#
#   folder                  folder below the root
#   dem                     DEM name without extension
#   input_format            0 ESRI ASCII grid, 1 raw raster
#   raw_width               raw input: 0 16-bit, 1 32-bit
#   lines, columns          raw input without descriptor: its dimensions
#   raw_pixel_size          raw input without descriptor, or whose descriptor
#                           gives no pixel size: the pixel size in whole metres
#   unit                    raw input: 0 m, 1 dm, 2 cm, 3 mm
#   pixel_size              pixel size in metres (decimal)
#   generic_name            name of the outputs; empty: the DEM name
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
summary_columns="tephromat_version,dem,generic_name,pixel_size_m,base_m,centre_line,centre_column,centre_calculated,items,chosen_item,top_m,height_m,crater_depth_m,volume_km3,slope_down_deg,slope_up_deg,base_radius_min_m,base_radius_max_m,elongation_pct,crater_radius_min_m,crater_radius_max_m,surface_2d_km2,surface_3d_km2,surface_ratio_pct,rebuilt_volume_km3,rebuilt_slope_down_deg,rebuilt_slope_up_deg,erosion_surface_2d_km2,erosion_surface_3d_km2,volumetric_difference_km3,eroded_volume_km3,erosion_max_m,slice_centre_line,slice_centre_column,x_min,y_min,dem_min,dem_max,dem_min_m,dem_max_m,rebuilt_crater_depth_m,erosion_surface_ratio_pct,warnings,edifice_border_cells,crater_found,crater_depression_m,crater_walled_rays,cells_without_data_touched"

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
mkdir -p "$work"
rm -f "$work"/*.answers "$work"/*.log "$work"/joblog.tsv "$work"/summary.csv
# The cones in the table's order: number, folder, DEM file below the root,
# generic name, answers file.
cones="$(mktemp)"
trap 'rm -f "$cones" "$work/summary.csv.tmp"' EXIT

# Rows to answers files.  Every row is checked before any file is written, so
# that a bad table leaves no half-made batch.
awk -F, -v header="$header" -v work="$work" -v cones="$cones" '
function fail(msg) { printf "batch: %s, line %d: %s\n", FILENAME, FNR, msg > "/dev/stderr"; bad = 1; exit 1 }
function need(k) { if (c[k] == "") fail("the column " name[k] " is empty but its question is asked") }
function none(k) { if (c[k] != "") fail("the column " name[k] " must stay empty: its question is not asked") }
function menu(k, hi) { need(k); if (c[k] !~ /^[0-9]+$/ || c[k] + 0 > hi) fail(name[k] " must be 0 to " hi) }
function add(v) { answers = answers v "\n" }
BEGIN { ncol = split(header, name, ",") }
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
  }
  # 1 folder 2 dem 3 input_format 4 raw_width 5 lines 6 columns 7 raw_pixel_size
  # 8 unit 9 pixel_size 10 generic_name 11 output_format 12 output_width
  # 13 output_scale 14 x_min 15 y_min 16 base 17 centre_line 18 centre_column
  # 19 basal_slice 20 upper_slices 21 number_of_upper_slices 22 upper_slice_type
  answers = ""
  need(1); add(c[1]); need(2); add(c[2])
  menu(3, 1); add(c[3])
  if (c[3] == 1) {
    menu(4, 1); add(c[4])
    if ((c[5] == "") != (c[6] == "")) fail("lines and columns go together")
    if (c[5] != "") { add(c[5]); add(c[6]); need(7) }
    if (c[7] != "") {
      if (c[7] !~ /^[0-9]+$/ || c[7] + 0 == 0) fail("raw_pixel_size must be a whole number above 0")
      add(c[7])
    }
    menu(8, 3); add(c[8])
  } else {
    for (k = 4; k <= 8; ++k) none(k)
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

  # Two rows writing the same outputs at the same time would spoil both.
  g = c[10] != "" ? c[10] : c[2]
  if ((c[1] SUBSEP g) in outputs) fail("the same folder and generic name as line " outputs[c[1], g])
  outputs[c[1], g] = FNR
  safe = g; gsub(/[^A-Za-z0-9._-]/, "_", safe)
  ++n; stem[n] = safe; text[n] = answers
  dem[n] = c[1] "/" c[2] (c[3] == 0 ? ".asc" : c[4] == 0 ? "_m2.raw" : "_m4.raw")
  folder[n] = c[1]; generic[n] = g
}
END {
  if (bad) exit 1
  if (!seen_header) { printf "batch: %s: no header line\n", FILENAME > "/dev/stderr"; exit 1 }
  # Numbers of one width (3 digits, more past 999 cones): the files sort in
  # the order of the table, as a job array that picks the Nth file expects.
  width = length(n "") > 3 ? length(n "") : 3
  for (k = 1; k <= n; ++k) {
    file = sprintf("%s/%0*d-%s.answers", work, width, k, stem[k])
    printf "%s", text[k] > file; close(file)
    printf "%0*d\t%s\t%s\t%s\t%s\n", width, k, folder[k], dem[k], generic[k], file > cones
  }
}' "$table"

files=()
while IFS=$'\t' read -r _ _ _ _ f; do files+=("$f"); done < "$cones"
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

# One cone.  A missing DEM ends the program normally (status 0): it counts as
# a failure here.
run_one() {
  local log="${1%.answers}.log"
  "$TEPHROMAT" < "$1" > "$log" 2>&1 || return $?
  ! grep -q $'^\tFile .* unknown$' "$log"
}
export -f run_one

status=0
parallel --will-cite ${jobs:+-j "$jobs"} --joblog "$work/joblog.tsv" run_one ::: "${files[@]}" || status=$?

# One CSV cell, quoted when it holds a comma or a quote.
csv_cell() {
  case "$1" in
    *[,\"]*) local q="${1//\"/\"\"}"; printf '"%s"' "$q" ;;
    *) printf '%s' "$1" ;;
  esac
}

# Why cone $1 (its log $2) failed, or "ok" when its summary $3 can be read.
cone_status() {
  local seq=$((10#$1)) log="$2" summary="$3" reason
  reason="$(grep -m1 $'^\tError : ' "$log" 2> /dev/null | sed $'s/^\tError : //; s/[ \r]*$//')" || true
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

# GNU parallel numbers the jobs in the order of the files: the table's.
declare -A exitval=() signal=()
if [ -r "$work/joblog.tsv" ]; then
  while IFS=$'\t' read -r seq _ _ _ _ _ ev sig _; do
    [[ "$seq" =~ ^[0-9]+$ ]] || continue
    exitval[$seq]="$ev"
    signal[$seq]="$sig"
  done < "$work/joblog.tsv"
fi

root="${TEPHROMAT_ROOT:-}"
if [ -z "$root" ]; then root="${HOME:-}/images/"; elif [ "${root%/}" = "$root" ]; then root="$root/"; fi
IFS=, read -r -a columns <<< "$summary_columns"
{
  echo "row,status,$summary_columns"
  while IFS=$'\t' read -r n folder dem generic f; do
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
