#!/usr/bin/env bash
# Prepares a DEM for TEPHROMAT: any raster that GDAL reads (GeoTIFF, VRT,
# COG, ...) becomes an ESRI ASCII grid in metres, with its .prj beside it.
#
#   prepare-dem.sh INPUT OUTPUT.asc [--resolution METRES]
#
# A DEM in geographic coordinates (degrees), or in a projected system whose
# unit is not the metre (US feet...), is reprojected to the UTM zone of its
# centre on WGS 84, with square cells: by default the input's resolution
# in metres as gdalwarp works it out, rounded to two significant figures;
# --resolution sets it.  A projected DEM keeps its coordinate system and, with
# square cells and no --resolution, its grid cell for cell.  Heights stored
# with a scale and an offset, or in feet (the band's unit), become metres;
# other heights are kept as they are and must be metres.  Cells without
# data (and NaN heights, declared as nodata or not) stay without data: they
# hold the input's nodata value when it is a whole number that the program
# reads, otherwise -9999.  Only band 1 is used.  An earlier OUTPUT.asc and
# its .prj are replaced together once the new pair is complete; a run that
# fails or is interrupted leaves them as they were.
#
# The script then prints the answers that the program's dialogue needs: the
# folder below the root, the DEM name and the pixel size.  It needs GDAL's
# command-line tools (Debian package gdal-bin).
set -euo pipefail

me="prepare-dem"
usage() {
  sed -n '2,/^set -euo/p' "$0" | sed -e '/^set -euo/d' -e 's/^# \{0,1\}//'
}
die() {
  echo "$me: $*" >&2
  exit 1
}

input="" output="" resolution=""
while [ $# -gt 0 ]; do
  case "$1" in
    -h | --help) usage; exit 0 ;;
    --resolution) [ $# -ge 2 ] || die "--resolution needs a value in metres"; resolution="$2"; shift 2 ;;
    --resolution=*) resolution="${1#--resolution=}"; shift ;;
    -*) die "unknown option $1 (see --help)" ;;
    *)
      if [ -z "$input" ]; then input="$1"
      elif [ -z "$output" ]; then output="$1"
      else die "too many arguments (see --help)"
      fi
      shift ;;
  esac
done
[ -n "$input" ] && [ -n "$output" ] || { usage >&2; exit 1; }
case "$output" in *.asc) ;; *) die "the output must be an ESRI grid named <name>.asc, not $output" ;; esac
if [ -n "$resolution" ]; then
  [[ "$resolution" =~ ^([0-9]+\.?[0-9]*|\.[0-9]+)$ ]] && awk -v r="$resolution" 'BEGIN { exit !(r > 0) }' ||
    die "--resolution must be a number of metres above 0, not $resolution"
fi
for tool in gdalinfo gdal_translate gdalwarp gdalsrsinfo; do
  command -v "$tool" > /dev/null || die "GDAL's command-line tools are missing ($tool): install the Debian package gdal-bin"
done
out_dir=$(dirname -- "$output")
[ -d "$out_dir" ] || die "the folder $out_dir does not exist"
name=$(basename -- "$output" .asc)
prj="${output%.asc}.prj"
for f in "$output" "$prj"; do [ ! -d "$f" ] || die "$f is a folder"; done

# No .aux.xml files beside the input or the output.
export GDAL_PAM_ENABLED=NO
# The new grid and its .prj are written into a folder of their own beside the
# output, then renamed into place together: an earlier pair stays as it was
# until the new one is complete, and nothing is left of a run that fails or
# is interrupted.
work=$(mktemp -d)
staging=""
trap 'rm -rf "$work" ${staging:+"$staging"}' EXIT
stop_on_signals() { trap 'exit 129' HUP; trap 'exit 130' INT; trap 'exit 131' QUIT; trap 'exit 143' TERM; }
stop_on_signals

info=$(gdalinfo "$input" 2> "$work/error") ||
  die "cannot read $input: $(grep -v '^$' "$work/error" | head -n 1 | sed 's/^ERROR [0-9]*: //')"
bands=$(grep -c '^Band [0-9]' <<< "$info" || true)
[ "$bands" -ge 1 ] || die "$input holds no raster band"
[ "$bands" -eq 1 ] || echo "$me: $input has $bands bands: band 1 is used"
# Band 1 as a VRT in the scratch folder, naming the input by its absolute
# path: a relative one would be taken from the scratch folder (a VRT's own
# sources then read as zeros).
source="$input"
[ -f "$input" ] && source="$(cd "$(dirname -- "$input")" && pwd -P)/$(basename -- "$input")"
gdal_translate -q -of VRT -b 1 "$source" "$work/band1.vrt" 2> "$work/error" ||
  die "cannot read band 1 of $input: $(head -n 1 "$work/error")"
# A VRT over raw samples is copied as such, its file named relative to the
# copy: named again from the input's folder.
if [ -f "$input" ] && grep -q 'relativeToVRT="1"' "$work/band1.vrt"; then
  from="$(dirname -- "$source")" awk 'BEGIN { f = ENVIRON["from"]; gsub(/&/, "\\&amp;", f); gsub(/</, "\\&lt;", f) }
  {
    if (match($0, /<SourceFilename relativeToVRT="1">[^<]*<\/SourceFilename>/)) {
      name = substr($0, RSTART + 34, RLENGTH - 34 - 17)
      $0 = substr($0, 1, RSTART - 1) "<SourceFilename relativeToVRT=\"0\">" f "/" name "</SourceFilename>" substr($0, RSTART + RLENGTH)
    }
    print }' "$work/band1.vrt" > "$work/band1-abs.vrt" && mv "$work/band1-abs.vrt" "$work/band1.vrt"
fi
info=$(gdalinfo "$work/band1.vrt")

# Heights stored with a scale and an offset (integers standing for tenths of
# a metre...), or in feet, become metres; cells without data stay so.
float_type=Float32
grep -q '^Band 1 .*Type=Float64' <<< "$info" && float_type=Float64
unit=$(grep -m 1 '^ *Unit Type: ' <<< "$info" | sed 's/^ *Unit Type: *//' || true)
read -r offset scale < <(grep -m 1 '^ *Offset: ' <<< "$info" | sed 's/^ *Offset: *\([^,]*\), *Scale: *\(.*\)$/\1 \2/') || true
if [ -n "${scale:-}" ] && awk -v o="$offset" -v s="$scale" 'BEGIN { exit !(o != 0 || s != 1) }'; then
  echo "$me: the heights of $input are stored with a scale of $scale and an offset of $offset: unscaled"
  mv "$work/band1.vrt" "$work/stored.vrt"
  gdal_translate -q -of VRT -unscale -ot "$float_type" "$work/stored.vrt" "$work/band1.vrt"
  info=$(gdalinfo "$work/band1.vrt")
fi
case "$unit" in
  ft | foot | feet | "international foot") foot=0.3048 ;;
  us-ft | ftUS | "US survey foot" | "US survey feet") foot=0.3048006096 ;;
  *) foot="" ;;
esac
if [ -n "$foot" ]; then
  echo "$me: the heights of $input are in $unit: converted to metres (x $foot)"
  mv "$work/band1.vrt" "$work/in_feet.vrt"
  gdal_translate -q -of VRT -ot "$float_type" -scale 0 1 0 "$foot" "$work/in_feet.vrt" "$work/band1.vrt"
  info=$(gdalinfo "$work/band1.vrt")
fi

# Two numbers of a gdalinfo line "Label ... (a, b) ...": the first pair.
pair() { grep -m 1 "^$1" <<< "$info" | sed -e 's/^[^(]*(//' -e 's/).*//' -e 's/,/ /'; }
# Rounds to two significant figures (30.87 -> 31, 0.547 -> 0.55, 463 -> 460).
round2() {
  awk -v r="$1" 'BEGIN { l = log(r) / log(10); e = int(l); if (e > l) e--; p = 10 ^ (e - 1);
                         printf "%.10g\n", int(r / p + 0.5) * p }'
}

read -r dx dy < <(pair "Pixel Size") || die "$input has no georeferencing (no pixel size in map units)"
dy=${dy#-}
proj4=$(gdalsrsinfo -o proj4 "$work/band1.vrt" 2> /dev/null | grep '+proj' || true)
nodata=$(grep -m 1 'NoData Value=' <<< "$info" | sed 's/.*NoData Value=//' || true)
type=$(grep -m 1 '^Band 1 ' <<< "$info" | sed 's/.*Type=\([A-Za-z0-9]*\).*/\1/')

# The nodata value kept: the input's when the program can read it as a
# sample (a whole number within 32 bits), otherwise -9999.
dst_nodata=-9999
if [[ "$nodata" =~ ^-?[0-9]+$ ]] && [ "${#nodata}" -le 11 ] &&
  awk -v v="$nodata" 'BEGIN { exit !(v >= -2147483648 && v <= 2147483647) }'; then
  dst_nodata=$nodata
fi
# Interpolated heights keep their decimals; the program truncates them to
# whole metres itself.
ot=Float32
[ "$type" = Float64 ] && ot=Float64

warp=(gdalwarp -q -overwrite -of GTiff -ot "$ot" -dstnodata "$dst_nodata")
if [ -n "$nodata" ]; then
  warp+=(-srcnodata "$nodata")
elif [[ "$type" == Float* ]]; then
  # Floating-point heights without a declared nodata value may still hold NaN
  # where there is no data: it is nodata too.
  warp+=(-srcnodata nan)
fi
if [ -z "$proj4" ]; then
  echo "$me: $input states no coordinate system: its units are taken as metres"
fi
# A projected system in feet (or any unit but the metre) is reprojected as
# degrees are: the program's areas and volumes are in metres.
foreign_units=""
if [[ "$proj4" == *"+proj="* && "$proj4" != *"+proj=longlat"* ]] &&
  [[ "$proj4" == *"+to_meter="* || ( "$proj4" == *"+units="* && "$proj4" != *"+units=m "* && "$proj4" != *"+units=m" ) ]]; then
  foreign_units=$(sed -n -e 's/.*+units=\([^ ]*\).*/\1/p' -e 's/.*+to_meter=\([^ ]*\).*/\1 m/p' <<< "$proj4" | head -n 1)
fi
if [[ "$proj4" == *"+proj=longlat"* || -n "$foreign_units" ]]; then
  if [ -n "$foreign_units" ]; then
    command -v gdaltransform > /dev/null || die "GDAL's command-line tools are missing (gdaltransform)"
    gdalsrsinfo -o wkt "$work/band1.vrt" > "$work/srs.wkt"
    read -r lon lat _ < <(pair "Center" | gdaltransform -s_srs "$work/srs.wkt" -t_srs "+proj=longlat +datum=WGS84")
  else
    read -r lon lat < <(pair "Center")
  fi
  zone=$(awk -v x="$lon" 'BEGIN { z = int((x + 180) / 6) + 1; if (z > 60) z = 60; if (z < 1) z = 1; print z }')
  if awk -v y="$lat" 'BEGIN { exit !(y >= 0) }'; then epsg=$((32600 + zone)) hemi=North
  else epsg=$((32700 + zone)) hemi=South
  fi
  if [ -z "$resolution" ]; then
    # gdalwarp's own choice of square cells for this reprojection.
    gdalwarp -q -overwrite -of VRT -t_srs "EPSG:$epsg" "$work/band1.vrt" "$work/suggested.vrt"
    suggested=$(gdalinfo "$work/suggested.vrt" | grep -m 1 '^Pixel Size' | sed -e 's/^[^(]*(//' -e 's/,.*//')
    resolution=$(round2 "$suggested")
  fi
  if [ -n "$foreign_units" ]; then
    echo "$me: $input is in a projected system in $foreign_units, not metres: reprojected to WGS 84 / UTM zone" \
      "$zone $hemi (EPSG:$epsg) with cells of $resolution m"
  else
    echo "$me: $input is in geographic coordinates (degrees): reprojected to WGS 84 / UTM zone $zone $hemi" \
      "(EPSG:$epsg) with cells of $resolution m"
  fi
  warp+=(-t_srs "EPSG:$epsg" -tr "$resolution" "$resolution" -tap -r bilinear)
elif [ -n "$resolution" ]; then
  warp+=(-tr "$resolution" "$resolution" -tap -r bilinear)
elif awk -v a="$dx" -v b="$dy" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d > 1e-9 * a) }'; then
  resolution=$(round2 "$(awk -v a="$dx" -v b="$dy" 'BEGIN { printf "%.10g\n", (a + b) / 2 }')")
  echo "$me: the cells of $input are $dx by $dy: resampled to square cells of $resolution m"
  warp+=(-tr "$resolution" "$resolution" -tap -r bilinear)
else
  # The same grid, cell for cell.
  read -r xmin ymin < <(pair "Lower Left")
  read -r xmax ymax < <(pair "Upper Right")
  resolution=$dx
  warp+=(-te "$xmin" "$ymin" "$xmax" "$ymax" -tr "$dx" "$dx" -r near)
fi

"${warp[@]}" "$work/band1.vrt" "$work/warped.tif" 2> "$work/error" ||
  die "gdalwarp failed on $input: $(head -n 1 "$work/error")"
staging=$(mktemp -d "$out_dir/.$name.prepare-XXXXXX" 2> "$work/error") ||
  die "cannot write in $out_dir: $(sed 's/.*: //' "$work/error")"
new="$staging/$name.asc"
gdal_translate -q -of AAIGrid -co FORCE_CELLSIZE=YES "$work/warped.tif" "$new" 2> "$work/error" ||
  die "cannot write $output: $(head -n 1 "$work/error")"

# What the dialogue asks.
header() { awk -v k="$1" 'tolower($1) == k { printf "%.15g\n", $2 + 0; exit } NR > 6 { exit }' "$new"; }
columns=$(header ncols) lines=$(header nrows) cellsize=$(header cellsize)
# A write cut short (a full disk) must not pass for a grid: one text line
# per grid line after the header, the last one ended.
written=$(($(wc -l < "$new") - $(head -n 8 "$new" | grep -c '^[A-Za-z]')))
[ "$written" -ge 0 ] || written=0
[ -n "$lines" ] && [ "$written" -eq "$lines" ] && [ -z "$(tail -c 1 "$new")" ] ||
  die "cannot write $output: the grid written is incomplete ($written of ${lines:-?} lines; is the disk full?)"
stats=$(gdalinfo -stats "$new" 2> /dev/null | grep -m 1 'STATISTICS_VALID_PERCENT' | sed 's/.*=//' || true)
had_prj=0
[ -f "$staging/$name.prj" ] && had_prj=1
# The pair replaces the earlier one as a whole: signals are ignored during
# the two renames (by mv too), which a stop between them would split.
trap '' HUP INT QUIT TERM
if [ "$had_prj" -eq 1 ]; then mv -f -T "$staging/$name.prj" "$prj"; else rm -f "$prj"; fi
mv -f -T "$new" "$output"
stop_on_signals
root=${TEPHROMAT_ROOT:-}
[ -n "$root" ] || root="$HOME/images"
root=${root%/}
abs_dir=$(cd "$out_dir" && pwd -P)
abs_root=$(cd "$root" 2> /dev/null && pwd -P || echo "$root")
echo "$me: wrote $output ($lines lines, $columns columns, cells of $cellsize m, nodata_value $dst_nodata)"
[ "$had_prj" -eq 0 ] || echo "$me: wrote $prj (its coordinate system)"
[ -n "$stats" ] && echo "$me: $stats % of the cells hold data"
echo
echo "Next, run tephromat and answer:"
if [ "$abs_dir" == "$abs_root" ]; then
  folder_answer="."
  echo "  folder          .   (the root $abs_root/ itself)"
elif [[ "$abs_dir/" == "$abs_root/"* ]]; then
  folder_answer="${abs_dir#"$abs_root/"}"
  echo "  folder          $folder_answer   (below the root $abs_root/)"
else
  folder_answer="$(basename -- "$abs_dir")"
  echo "  folder          $folder_answer   (with TEPHROMAT_ROOT=$(dirname -- "$abs_dir"))"
fi
echo "  DEM name        $name"
echo "  format          0 (ESRI ASCII grid)"
echo "  pixel size      $cellsize"
# The dialogue reads its answers as words.
if [[ "$folder_answer$name" =~ [[:space:]] ]]; then
  echo "$me: the dialogue cannot take a folder or DEM name with spaces: rename them, or measure the grid with" >&2
  echo "  tephromat measure '${output//\'/\'\\\'\'}' --base ... --centre ..." >&2
fi
