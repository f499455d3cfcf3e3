#include "ncinput/readers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

TEST(Readers, LongDimensionNamesAreCutInTheLogAndForTheCoordinateLookup) {
  TempDir dir;
  const std::string path = dir.file("long.nc");
  // The station coordinates are found under the cut name; the second axis's full-name
  // coordinate variable is not found under its cut name and stays zero.
  testing::ncgen(R"(netcdf long {
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
                 path);
  std::ostringstream log;
  int32_t status = -1;
  const Read2D read = rd_ncdf_2d(path, "V", status, log);
  EXPECT_EQ(log.str(), "    Reading netCDF file: " + path + "...\n" +
                           "       - Longitude's name = station_number_; length =            3\n"
                           "       - Latitude's name  = drought_index_c; length =            2\n"
                           "    Completed reading file " +
                           path + "\n");
  EXPECT_EQ(read.ndim1, 3);
  EXPECT_EQ(read.ndim2, 2);
  EXPECT_EQ(read.stn_dim_name, "station_number_");
  EXPECT_EQ(read.xstn, (std::vector<float>{11, 12, 13}));
  EXPECT_EQ(read.xidx, (std::vector<float>{0, 0}));
  // (station, second axis), station fastest: the stored order.
  EXPECT_EQ(read.data.at(0, 0), 1.0f);
  EXPECT_EQ(read.data.at(2, 0), 3.0f);
  EXPECT_EQ(read.data.at(0, 1), 4.0f);
  EXPECT_TRUE(std::isnan(read.data.at(2, 1)));
}

TEST(Readers, ZeroLengthStationDimensionGivesEmptyTables) {
  TempDir dir;
  const std::string path = dir.file("empty.nc");
  testing::ncgen(R"(netcdf empty {
dimensions:
  idx = 4 ;
  stn = UNLIMITED ;
variables:
  float V(idx, stn) ;
  float lon(stn) ;
})",
                 path, "nc4");
  std::ostringstream log;
  int32_t status = 0;
  const Read2D read = rd_ncdf_2d(path, "V", status, log);
  EXPECT_EQ(read.ndim1, 0);
  EXPECT_EQ(read.ndim2, 4);
  EXPECT_EQ(read.data.size(), 0u);
  EXPECT_THAT(log.str(),
              HasSubstr("       - Longitude's name = stn            ; length =            0\n"));

  const Read1D lon = rd_ncdf_1d(path, "lon", status, log);
  EXPECT_EQ(lon.n, 0);
  EXPECT_TRUE(lon.data.empty());
}

TEST(Readers, FileWithoutCoordinateVariablesStillYieldsTheDataConvertedToFloat) {
  TempDir dir;
  const std::string path = dir.file("bare.nc");
  testing::ncgen(R"(netcdf bare {
dimensions:
  stn = 2 ;
  idx = 2 ;
variables:
  short V(idx, stn) ;
    V:_FillValue = -99s ;
  double lon(stn) ;
data:
  V = 1, -99, 0, 32767 ;
  lon = -8.5, 2.25 ;
})",
                 path);
  std::ostringstream log;
  int32_t status = 0;
  const Read2D read = rd_ncdf_2d(path, "V", status, log);
  EXPECT_EQ(read.xstn, (std::vector<float>{0, 0}));
  EXPECT_EQ(read.data.at(0, 0), 1.0f);
  EXPECT_EQ(read.data.at(1, 0), -99.0f);
  EXPECT_EQ(read.data.at(0, 1), 0.0f);
  EXPECT_EQ(read.data.at(1, 1), 32767.0f);
  ASSERT_EQ(read.missing_markers.size(), 1u);
  EXPECT_EQ(read.missing_markers[0].attribute, "_FillValue");
  EXPECT_EQ(read.missing_markers[0].value, -99.0);

  const Read1D lon = rd_ncdf_1d(path, "lon", status, log);
  EXPECT_EQ(lon.data, (std::vector<float>{-8.5f, 2.25f}));
  EXPECT_TRUE(lon.missing_markers.empty());
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

  struct Case {
    std::string file;
    const char* variable;
    bool two_d;
    const char* expected;
  };
  const Case cases[] = {
      {"missing.nc", "V", true, "No such file or directory"},
      {"garbage.nc", "V", true, "NetCDF: Unknown file format"},
      {"truncated.nc", "Big", true, "NetCDF: "},
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
        rd_ncdf_2d(path, c.variable, status, log);
      } else {
        rd_ncdf_1d(path, c.variable, status, log);
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
