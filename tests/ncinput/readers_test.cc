#include "ncinput/readers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

constexpr float kMarker = -999.0f;

// One 2-D read of `variable` from a file made from `cdl`: the reader's result, the table it
// filled (as the load plan sizes it, from the survey) and the log.
struct Read2DCase {
  Read2D read;
  Field2D data;
  std::string log;
};

Read2DCase read_2d(const std::string& cdl, const std::string& variable,
                   const StationAxis& axis = {}, const std::string& kind = "classic") {
  TempDir dir;
  const std::string path = dir.file("in.nc");
  testing::ncgen(cdl, path, kind);
  int32_t status = 0;
  const Layout2D layout = survey_2d(path, variable, axis, status);
  Read2DCase result;
  result.data = Field2D::unfilled(layout.station.length, layout.second.length);
  std::ostringstream log;
  result.read = rd_ncdf_2d(path, variable, axis, kMarker, result.data.all(), status, log);
  // The log names the file by its path; keep only what follows it.
  result.log = log.str();
  for (std::size_t at; (at = result.log.find(path)) != std::string::npos;) {
    result.log.replace(at, path.size(), "F");
  }
  return result;
}

// The table's values, station fastest.
std::vector<float> values(const Field2D& table) {
  return std::vector<float>(table.data(), table.data() + table.size());
}

TEST(Readers, LongDimensionNamesAreCutInTheLogAndForTheCoordinateLookup) {
  // The station coordinates are found under the cut name; the second axis's full-name
  // coordinate variable is not found under its cut name and stays zero.
  const Read2DCase r = read_2d(R"(netcdf long {
dimensions:
  station_number_dim = 3 ;
  drought_index_combination = 2 ;
variables:
  float station_number_(station_number_dim) ;
  float drought_index_combination(drought_index_combination) ;
  float V(drought_index_combination, station_number_dim) ;
data:
  station_number_ = 11, 12, 13 ;
  drought_index_combination = 7, 8 ;
  V = 1, 2, 3, 4, 5, NaNf ;
})",
                               "V");
  EXPECT_EQ(r.log,
            "    Reading netCDF file: F...\n"
            "       - Longitude's name = station_number_; length =            3\n"
            "       - Latitude's name  = drought_index_c; length =            2\n"
            "    Completed reading file F\n");
  EXPECT_EQ(r.read.ndim1, 3);
  EXPECT_EQ(r.read.ndim2, 2);
  EXPECT_EQ(r.read.xstn, (std::vector<float>{11, 12, 13}));
  EXPECT_EQ(r.read.xidx, (std::vector<float>{0, 0}));
  // (station, second axis), station fastest: the stored order. NaN stays NaN.
  EXPECT_EQ(r.data.at(0, 0), 1.0f);
  EXPECT_EQ(r.data.at(2, 0), 3.0f);
  EXPECT_EQ(r.data.at(0, 1), 4.0f);
  EXPECT_TRUE(std::isnan(r.data.at(2, 1)));
  EXPECT_EQ(r.read.missing_cells, 0);
}

TEST(Readers, ZeroLengthStationDimensionGivesEmptyTables) {
  const Read2DCase r = read_2d(R"(netcdf empty {
dimensions:
  idx = 4 ;
  stn = UNLIMITED ;
variables:
  float V(idx, stn) ;
})",
                               "V", {}, "nc4");
  EXPECT_EQ(r.read.ndim1, 0);
  EXPECT_EQ(r.read.ndim2, 4);
  EXPECT_EQ(r.data.size(), 0u);
  EXPECT_THAT(r.log,
              HasSubstr("       - Longitude's name = stn            ; length =            0\n"));
}

// Each case: a variable V over (idx = 2, stn = 3) or as declared, the values the table must
// hold afterwards (station fastest), and how many of them are the marker.
TEST(Readers, UnpackMarkMissingCellsAndTransposeAsTheConventionsSay) {
  struct Case {
    const char* what;
    std::string declarations;  // dimensions stn and idx exist
    std::string data;
    int32_t axis_count;  // the station list's station count and dimension
    const char* axis_dim;
    std::vector<float> expected;
    int64_t missing;
    int notes = 0;  // attributes said to be unusable
  };
  const float nan = std::nanf("");
  const std::vector<Case> cases = {
      {"packed short with a float _FillValue (as ncpdq writes it)",
       "short V(idx, stn) ; V:scale_factor = 0.01 ; V:add_offset = 10. ; V:_FillValue = -999.f ;",
       "V = 0, 1, -999, -100, 32767, -32767 ;",
       -1,
       "",
       {10.0f, static_cast<float>(1 * 0.01 + 10.0), kMarker, 9.0f,
        static_cast<float>(32767 * 0.01 + 10.0), static_cast<float>(-32767 * 0.01 + 10.0)},
       1},
      {"packed byte without _FillValue: bytes have no default fill",
       "byte V(idx, stn) ; V:scale_factor = 0.5 ;",
       "V = -127, -128, 0, 1, 127, 2 ;",
       -1,
       "",
       {-63.5f, -64.0f, 0.0f, 0.5f, 63.5f, 1.0f},
       0},
      {"short without _FillValue: the default fill -32767 is missing",
       "short V(idx, stn) ;",
       "V = 1, _, 3, -32767, 5, 6 ;",
       -1,
       "",
       {1, kMarker, 3, kMarker, 5, 6},
       2},
      {"float left unwritten: the default fill is missing",
       "float V(idx, stn) ;",
       "V = 1, 2, 3, 4, _, 9.96921e36f ;",
       -1,
       "",
       {1, 2, 3, 4, kMarker, kMarker},
       2},
      {"a missing_value list and a _FillValue",
       "float V(idx, stn) ; V:_FillValue = -1.f ; V:missing_value = -2.f, -3.f ;",
       "V = -1, -2, -3, -4, NaNf, 0 ;",
       -1,
       "",
       {kMarker, kMarker, kMarker, -4, nan, 0},
       3},
      {"double with _FillValue, valid_range ignored",
       "double V(idx, stn) ; V:_FillValue = 1.e20 ; V:valid_range = 0., 1. ;",
       "V = 1e20, 0.5, 2, -3, 1e-3, 7 ;",
       -1,
       "",
       {kMarker, 0.5f, 2, -3, 1e-3f, 7},
       1},
      {"declared (station, idx) with unequal lengths: transposed",
       "float V(stn, idx) ;",
       "V = 11, 12, 21, 22, 31, 32 ;",
       3,
       "stn",
       {11, 21, 31, 12, 22, 32},
       0},
      {"equal lengths: the dimension named like the station list's is the station one",
       "float W(stn, stn2) ;",
       "W = 11, 12, 13, 21, 22, 23, 31, 32, 33 ;",
       3,
       "stn",
       {11, 21, 31, 12, 22, 32, 13, 23, 33},
       0},
      {"_Unsigned byte: values past 127 are unsigned",
       "byte V(idx, stn) ; V:_Unsigned = \"true\" ;",
       "V = -56, -1, 0, 1, 127, -128 ;",
       -1,
       "",
       {200, 255, 0, 1, 127, 128},
       0},
      {"packed _Unsigned short with a signed _FillValue meaning 65535",
       "short V(idx, stn) ; V:_Unsigned = \"true\" ; V:scale_factor = 0.01 ; V:_FillValue = -1s ;",
       "V = -1000, -1, 0, 1, 32767, -32768 ;",
       -1,
       "",
       {static_cast<float>(64536 * 0.01), kMarker, 0, static_cast<float>(0.01),
        static_cast<float>(32767 * 0.01), static_cast<float>(32768 * 0.01)},
       1},
      {"a fill value at the top of ubyte",
       "ubyte V(idx, stn) ; V:_FillValue = 255UB ;",
       "V = 255, 254, 0, 1, 255, 7 ;",
       -1,
       "",
       {kMarker, 254, 0, 1, kMarker, 7},
       2},
      {"a fill value at the top of ushort",
       "ushort V(idx, stn) ; V:_FillValue = 65535US ;",
       "V = 65535, 65534, 0, 1, 65535, 7 ;",
       -1,
       "",
       {kMarker, 65534, 0, 1, kMarker, 7},
       2},
      {"a missing_value a float cannot hold (1e-50) marks no zero",
       "float V(idx, stn) ; V:missing_value = 1.e-50 ;",
       "V = 0, 1, 0, -0., 5, 6 ;",
       -1,
       "",
       {0, 1, 0, -0.0f, 5, 6},
       0,
       1},
      {"a missing_value beyond float (1e300) marks no infinity",
       "float V(idx, stn) ; V:missing_value = 1.e300 ;",
       "V = Infinityf, 1, 2, 3, 4, -Infinityf ;",
       -1,
       "",
       {std::numeric_limits<float>::infinity(), 1, 2, 3, 4,
        -std::numeric_limits<float>::infinity()},
       0,
       1},
      {"a NaN _FillValue marks the NaN cells",
       "float V(idx, stn) ; V:_FillValue = NaNf ;",
       "V = NaNf, 1, NaNf, 3, -999, 0 ;",
       -1,
       "",
       {kMarker, 1, kMarker, 3, -999, 0},
       2},
      {"a NaN missing_value on a packed short does not mark stored values",
       "short V(idx, stn) ; V:missing_value = NaNf ; V:scale_factor = 2.f ; V:_FillValue = 9s ;",
       "V = 9, 1, 2, 3, 4, 5 ;",
       -1,
       "",
       {kMarker, 2, 4, 6, 8, 10},
       1},
      {"equal lengths, no name matches: the last dimension is the station one",
       "float W(stn2, stn3) ;",
       "W = 11, 12, 13, 21, 22, 23, 31, 32, 33 ;",
       3,
       "station",
       {11, 12, 13, 21, 22, 23, 31, 32, 33},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string variable = c.declarations.substr(c.declarations.find(' ') + 1, 1);
    const Read2DCase r = read_2d(
        "netcdf f {\ndimensions:\n  stn = 3 ;\n  idx = 2 ;\n"
        "  stn2 = 3 ;\n  stn3 = 3 ;\nvariables:\n  " +
            c.declarations + "\ndata:\n  " + c.data + "\n}\n",
        variable, StationAxis{c.axis_count, c.axis_dim}, "nc4");
    EXPECT_EQ(static_cast<int>(r.read.notes.size()), c.notes);
    EXPECT_EQ(r.read.ndim1, 3);
    const std::vector<float> got = values(r.data);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(got[i])) << "cell " << i;
      } else {
        EXPECT_EQ(got[i], c.expected[i]) << "cell " << i;
      }
    }
    EXPECT_EQ(r.read.missing_cells, c.missing);
  }
}

TEST(Readers, TransposedVariablesLogTheStationDimensionFirst) {
  const Read2DCase r = read_2d(
      "netcdf f {\ndimensions:\n  stn = 3 ;\n  idx = 2 ;\nvariables:\n  float V(stn, idx) ;\n}\n",
      "V", {3, "stn"});
  EXPECT_EQ(r.log,
            "    Reading netCDF file: F...\n"
            "       - Longitude's name = stn            ; length =            3\n"
            "       - Latitude's name  = idx            ; length =            2\n"
            "    Completed reading file F\n");
}

TEST(Readers, StationVectorsByNameOrStandardName) {
  TempDir dir;
  const std::string path = dir.file("stations.nc");
  testing::ncgen(R"(netcdf stations {
dimensions:
  station = 2 ;
variables:
  double x(station) ; x:standard_name = "longitude" ;
  float y(station) ; y:standard_name = "latitude" ;
  float lat(station) ;
data:
  x = -8.5, 2.25 ;
  y = 1, 2 ;
  lat = 40, 41 ;
})",
                 path);
  std::ostringstream log;
  int32_t status = 0;
  const Read1D lon = rd_ncdf_1d(path, "lon", "longitude", kMarker, status, log);
  EXPECT_EQ(lon.varname, "x");
  EXPECT_EQ(lon.data, (std::vector<float>{-8.5f, 2.25f}));
  // The name first: "lat" wins over "y", declared earlier with the standard_name.
  const Read1D lat = rd_ncdf_1d(path, "lat", "latitude", kMarker, status, log);
  EXPECT_EQ(lat.varname, "lat");
  EXPECT_EQ(lat.data, (std::vector<float>{40.0f, 41.0f}));
  EXPECT_THROW(rd_ncdf_1d(path, "reg", "", kMarker, status, log), FatalError);
}

TEST(Readers, BadInputStopsWithTheFileAndTheVariable) {
  TempDir dir;
  testing::ncgen(R"(netcdf shapes {
dimensions:
  stn = 2 ;
  idx = 1 ;
  lev = 1 ;
  len = 3 ;
variables:
  float Cube(lev, idx, stn) ;
  char Name(idx, len) ;
  float lon(stn) ;
  double Big(idx, stn) ;
data:
  Big = 1e39, 1 ;
})",
                 dir.file("shapes.nc"));
  const std::string nc = testing::read_file(dir.file("shapes.nc"));
  testing::write_file(dir.file("garbage.nc"), "this is not a netCDF file\n");
  testing::write_file(dir.file("truncated.nc"), nc.substr(0, nc.size() / 2));
  ASSERT_EQ(::mkfifo(dir.file("fifo.nc").c_str(), 0600), 0);

  struct Case {
    std::string file;
    const char* variable;
    bool two_d;
    const char* expected;
  };
  const Case cases[] = {
      {"missing.nc", "V", true, "No such file or directory"},
      {"garbage.nc", "V", true, "NetCDF: Unknown file format"},
      {"truncated.nc", "Big", true, "its classic netCDF header is damaged"},
      {"fifo.nc", "V", true, "is a FIFO, not a regular netCDF file"},
      {".", "V", true, "is a directory, not a regular netCDF file"},
      {"shapes.nc", "Absent", true, "variable \"Absent\": NetCDF: Variable not found"},
      {"shapes.nc", "Cube", true, "variable \"Cube\" has 3 dimensions; 2 expected"},
      {"shapes.nc", "lon", true, "variable \"lon\" has 1 dimension; 2 expected"},
      {"shapes.nc", "Big", false, "variable \"Big\" has 2 dimensions; 1 expected"},
      {"shapes.nc", "Name", true, "variable \"Name\" is not numeric"},
      {"shapes.nc", "Big", true, "variable \"Big\": NetCDF: Numeric conversion not representable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.variable);
    const std::string path = dir.file(c.file);
    std::ostringstream log;
    int32_t status = 0;
    try {
      if (c.two_d) {
        const Layout2D layout = survey_2d(path, c.variable, {}, status);
        Field2D data = Field2D::unfilled(layout.station.length, layout.second.length);
        rd_ncdf_2d(path, c.variable, {}, kMarker, data.all(), status, log);
      } else {
        rd_ncdf_1d(path, c.variable, "", kMarker, status, log);
      }
      ADD_FAILURE() << "no error";
    } catch (const FatalError& error) {
      EXPECT_EQ(error.exit_status(), 1);
      EXPECT_THAT(error.what(), HasSubstr("error: " + path + ": "));
      EXPECT_THAT(error.what(), HasSubstr(c.expected));
    }
  }
}

}  // namespace
}  // namespace d2g
