#!/bin/bash
# Generates a sample data set into demo/, converts it, lists the products and draws figures of
# them with drought2grads-plot: a map of one time step, a sheet of all 18 and two stations'
# series, then the same map for a tall domain (the Great Plains) in demo/plains/.
# Usage: scripts/demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/demo"
rm -rf "$demo"

echo "== Generating a sample data set of 400 stations in demo/"
"$build/tools/make_sample_data" --out "$demo" --stations 400 --numdr-len 18 --sen-len 6

echo "== Converting"
cd "$demo"
"$build/src/driver/drought2grads" --stations SPI_Stn.nc

echo "== Products written"
ls -l -- *.dat *.ctl *.dat.map
echo "$(ls -- *.dat *.ctl *.dat.map | wc -l) product files"

echo "== Drawing Fre_03 with GrADS"
plot="$build/src/plot/drought2grads-plot"
"$plot" Fre_03.ctl -t 8 -o Fre_03.png
"$plot" Fre_03.ctl --sheet -o Fre_03-sheet.png
"$plot" Fre_03.ctl --station 42 --station 7 -o Fre_03-series.png

echo "== The same on a tall domain, in demo/plains"
"$build/tools/make_sample_data" --out plains --stations 120 --box -104 -95 33 49
(cd plains && "$build/src/driver/drought2grads" -q --stations SPI_Stn.nc &&
  "$plot" Fre_03.ctl -t 8 -o Fre_03.png && "$plot" Fre_03.ctl --sheet -o Fre_03-sheet.png &&
  "$plot" Fre_03.ctl --station 5 -o Fre_03-series.png)
