#!/usr/bin/env python3
"""The statistics as a Python pipeline writes them convert into the same products.

From a generated sample, this writes the same numbers twice: once as an xarray Dataset in one
netCDF-4 file (Spell_Ave(station, index, severity), Fre(station, index, severity, month), labels in
a shuffled order, NaN as the fill value, int64 station ids with cf_role), once in the four-file
layout with -999 as the fill value. Both convert, and every one of the 93 product files must be
byte for byte the same. --check must count the NaN fill cells.

Usage: xarray_pipeline_check.py CONVERTER SAMPLE_GENERATOR
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import xarray as xr

INDICES = ["pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"]
SEVERITIES = ["mod", "sev", "ext"]
SPELLS = ["Spell_Ave", "Spell_Max", "Time_Arr_Ave", "Time_Arr_Max"]


def main(converter, generator):
    work = tempfile.mkdtemp(prefix="d2g-xarray-")
    nstn = 12  # as many stations as months: the station axis is told by its name
    subprocess.run([generator, "--out", f"{work}/sample", "--stations", str(nstn),
                    "--numdr-len", "30", "--sen-len", "6"], check=True, stdout=subprocess.DEVNULL)
    # Every missing cell as NaN in memory; the generator's -999 cells are fill values.
    def load(name):
        return xr.open_dataset(f"{work}/sample/{name}", mask_and_scale=True)

    numdr = load("Num_Drou_Mon_Stn.nc")
    sen = load("Sen_Prob_idx_Stn.nc")
    spell = load("Spell_Time_Arr_Stn.nc")
    fremag = load("Fre_Mag_Stn.nc")
    stations = load("SPI_Stn.nc")
    wmo = np.arange(nstn, dtype=np.int64) * 7 + 10010

    # The pipeline's Dataset: station first, labels in another order than the products'.
    index_order = list(reversed(INDICES))
    severity_order = ["extreme", "moderate", "severe"]
    short = {"moderate": "mod", "severe": "sev", "extreme": "ext"}
    ds = xr.Dataset(coords={
        "station": [f"s{j:02d}" for j in range(nstn)],  # station names, as pipelines keep them
        "index": index_order,
        "severity": severity_order,
        "month": ["jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov",
                  "dec"],
    })
    ds["wmo"] = ("station", wmo, {"cf_role": "timeseries_id"})
    ds["lon"] = ("station", stations["lon"].values, {"standard_name": "longitude"})
    ds["lat"] = ("station", stations["lat"].values, {"standard_name": "latitude"})
    ds["N_Drou_mon"] = (("station", "year"), numdr["N_Drou_mon"].values.T)
    ds["SenSL"] = (("station", "idx"), sen["SenSL"].values.T)
    ds["Prob"] = (("station", "idx"), sen["Prob"].values.T)
    for name in SPELLS:
        stacked = spell[name].values  # (comb, stn), comb = 6 * severity + index
        cube = np.empty((nstn, len(INDICES), len(SEVERITIES)), dtype=np.float32)
        for i, index in enumerate(index_order):
            for s, severity in enumerate(severity_order):
                k = SEVERITIES.index(short[severity]) * 6 + INDICES.index(index)
                cube[:, i, s] = stacked[k]
        ds[name] = (("station", "index", "severity"), cube)
    for kind in ["Fre", "Mag"]:
        cube = np.empty((nstn, len(INDICES), len(SEVERITIES), 12), dtype=np.float32)
        for i, index in enumerate(index_order):
            for s, severity in enumerate(severity_order):
                cube[:, i, s, :] = fremag[f"{kind}_{index}_{short[severity]}"].values.T
        ds[kind] = (("station", "index", "severity", "month"), cube)
    ds.to_netcdf(f"{work}/stats.nc")  # xarray's defaults: NaN _FillValue for every float

    # The same numbers in the four-file layout, -999 marking the missing cells.
    os.makedirs(f"{work}/four")
    fill = {"_FillValue": -999.0}

    def write(dataset, name):
        encoding = {v: fill for v in dataset.data_vars if dataset[v].dtype.kind == "f"}
        dataset.to_netcdf(f"{work}/four/{name}", encoding=encoding)

    write(xr.Dataset({"N_Drou_mon": (("comb", "stn"), numdr["N_Drou_mon"].values)}),
          "Num_Drou_Mon_Stn.nc")
    write(xr.Dataset({"SenSL": (("idx", "stn"), sen["SenSL"].values),
                      "Prob": (("idx", "stn"), sen["Prob"].values)}), "Sen_Prob_idx_Stn.nc")
    write(xr.Dataset({n: (("comb", "stn"), spell[n].values) for n in SPELLS}),
          "Spell_Time_Arr_Stn.nc")
    write(xr.Dataset({n: (("month", "stn"), fremag[n].values) for n in fremag.data_vars}),
          "Fre_Mag_Stn.nc")
    station_list = xr.Dataset({"lon": ("stn", stations["lon"].values),
                               "lat": ("stn", stations["lat"].values),
                               "wmo": ("stn", wmo, {"cf_role": "timeseries_id"})})
    write(station_list, "SPI_Stn.nc")

    for out in ["out-one", "out-four"]:
        os.makedirs(f"{work}/{out}")
    one = subprocess.run([converter, "-q", "--input", "stats.nc", "--stations", "stats.nc",
                          "--output-dir", "out-one"], cwd=work, capture_output=True, text=True)
    four = subprocess.run([converter, "-q", "--input-dir", "four", "--stations",
                           "four/SPI_Stn.nc", "--output-dir", "out-four"], cwd=work,
                          capture_output=True, text=True)
    failures = 0
    for name, run in [("one file", one), ("four files", four)]:
        if run.returncode != 0:
            print(f"{name}: status {run.returncode}: {run.stderr}")
            failures += 1
    products = sorted(os.listdir(f"{work}/out-four"))
    same = [p for p in products if os.path.exists(f"{work}/out-one/{p}") and
            filecmp.cmp(f"{work}/out-one/{p}", f"{work}/out-four/{p}", shallow=False)]
    print(f"{len(same)} of {len(products)} product files byte-identical")
    failures += len(products) != 93 or len(same) != len(products)
    if sorted(os.listdir(f"{work}/out-one")) != products:
        print("the product directories hold different files")
        failures += 1

    # --check counts the NaN fill cells as cells written as the marker.
    check = subprocess.run([converter, "--check", "--input", "stats.nc", "--stations", "stats.nc",
                            "--output-dir", "out-one"], cwd=work, capture_output=True, text=True)
    expected = int(np.isnan(ds["Spell_Ave"].values).sum())
    # The last section lists, per variable, the cells written as the marker.
    missing = check.stdout.split("cells that would be written as the missing marker:")[-1]
    line = next((l for l in missing.splitlines() if l.strip().startswith("Spell_Ave ")), "")
    if check.returncode != 0 or line.split()[1:2] != [str(expected)]:
        print(f"--check: status {check.returncode}, Spell_Ave line {line!r}, {expected} expected")
        failures += 1
    if expected == 0:
        print("the sample has no missing cell in Spell_Ave: nothing checked")
        failures += 1
    shutil.rmtree(work)
    print(f"{1 if failures == 0 else 0} passed, {failures} failed")
    return 0 if failures == 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
