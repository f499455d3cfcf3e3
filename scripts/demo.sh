#!/bin/bash
# Generates a sample data set into demo/, converts it, lists the products and draws one of them
# with GrADS. Usage: scripts/demo.sh BUILD_DIR
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/demo"
rm -rf "$demo"
mkdir -p "$demo"

echo "== Generating a sample data set of 400 stations in demo/"
"$build/tools/make_sample_data" --out "$demo" --stations 400 --numdr-len 18 --sen-len 6

echo "== Converting"
cd "$demo"
"$build/src/driver/drought2grads" --stations SPI_Stn.nc

echo "== Products written"
ls -l -- *.dat *.ctl *.dat.map
echo "$(ls -- *.dat *.ctl *.dat.map | wc -l) product files"

echo "== Drawing Fre_03 with GrADS"
grads -blc "run $root/scripts/demo_map.gs $demo/Fre_03.ctl $demo/Fre_03.png" >grads.log 2>&1 || {
  cat grads.log; exit 1; }
test -s Fre_03.png || { cat grads.log; echo "GrADS wrote no picture" >&2; exit 1; }
echo "Wrote demo/Fre_03.png"
