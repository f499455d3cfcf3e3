#!/bin/bash
# Generates a sample data set into demo/, converts it, lists the products and draws two pictures
# of them with drought2grads-plot: one time step, and a sheet of all 18.
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
"$root/scripts/drought2grads-plot" Fre_03.ctl -t 8 -o Fre_03.png
"$root/scripts/drought2grads-plot" Fre_03.ctl --sheet -o Fre_03-sheet.png
