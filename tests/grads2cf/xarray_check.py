#!/usr/bin/python3
"""What Python users will see: a GrADS station data set converted by grads2cf opens in xarray
with its stations, times and values, and one station's series is one selection away."""
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
import xarray as xr

grads2cf = sys.argv[1]

with tempfile.TemporaryDirectory() as tmp:
    # The last identifier in ISO-8859-1, as older programs wrote them: it comes out in UTF-8
    # and does not keep xarray from opening the file.
    stations = [("KSEA", 47.45, -122.31), ("KPDX", 45.59, -122.6), ("KBOI", 43.56, -116.22),
                ("S\u00e3oPaulo", -23.63, -46.66)]
    data = b""
    expected = {}
    for day in range(5):
        for n, (sid, lat, lon) in enumerate(stations):
            value = 10.0 * n + day
            if (n, day) == (1, 2):
                value = -999.0  # missing
            expected[(sid, day)] = value
            data += struct.pack("<8sfffii", sid.ljust(8).encode("latin-1"), lat, lon, 0.0, 1, 1)
            data += struct.pack("<f", value)
        data += struct.pack("<8sfffii", b"KBOI    ", 43.56, -116.22, 0.0, 0, 1)
    with open(os.path.join(tmp, "obs.dat"), "wb") as f:
        f.write(data)
    with open(os.path.join(tmp, "obs.ctl"), "w") as f:
        f.write("dset ^obs.dat\ndtype station\nstnmap ^obs.dat.map\nundef -999.0\n"
                "title daily maxima\ntdef 5 linear 12Z30jun2020 1dy\nvars 1\n"
                "tmax 0 99 maximum temperature\nendvars\n@ tmax String units degC\n")
    subprocess.run([grads2cf, "-q", "obs.ctl"], cwd=tmp, check=True)

    ds = xr.open_dataset(os.path.join(tmp, "obs.nc"))
    assert ds.attrs["featureType"] == "timeSeries", ds.attrs
    assert list(ds.station_id.values) == [s[0] for s in stations], ds.station_id.values
    assert ds.tmax.dims == ("station", "time"), ds.tmax.dims
    assert ds.tmax.attrs["units"] == "degC"
    times = [str(t)[:16] for t in ds.time.values.astype("datetime64[m]")]
    assert times == ["2020-06-30T12:00", "2020-07-01T12:00", "2020-07-02T12:00",
                     "2020-07-03T12:00", "2020-07-04T12:00"], times
    # One station's series, selected by its identifier.
    series = ds.tmax.where(ds.station_id == "KPDX", drop=True).squeeze()
    got = series.values
    want = np.array([expected[("KPDX", d)] for d in range(5)], dtype="float32")
    want[want == -999.0] = np.nan
    assert np.array_equal(got, want, equal_nan=True), (got, want)
    assert float(ds.lat.where(ds.station_id == "KBOI", drop=True)) == np.float32(43.56)
print("xarray reads the grads2cf product: ok")
