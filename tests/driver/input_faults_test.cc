// Bad input: every fault stops the run with status 1 and a message naming the file (and the
// variable), before any product is touched.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <map>

#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// A result file of 5 stations from CDL declarations (dimensions, then variables, no data).
std::string cdl(const std::string& dimensions, const std::string& variables) {
  return "netcdf f {\ndimensions:\n  stn = 5 ;\n" + dimensions + "variables:\n" + variables + "}\n";
}

TEST(InputFaults, StopWithAMessageAndLeaveEveryProductAsItWas) {
  TempDir good;
  testing::generate_sample(good.path(), 5, 4, 3);

  struct Case {
    const char* what;
    std::string file;  // the input changed, in the input directory
    std::function<void(const std::string& path)> damage;
    std::string message;  // after "drought2grads: error: "
    bool default_station_list = false;
  };
  auto replace_with = [](std::string text, std::string kind = "classic") {
    return [text, kind](const std::string& path) { testing::ncgen(text, path, kind); };
  };
  const std::vector<Case> cases = {
      {"missing result file", "Num_Drou_Mon_Stn.nc",
       [](const std::string& path) { std::filesystem::remove(path); },
       "in/Num_Drou_Mon_Stn.nc: No such file or directory"},
      {"not a netCDF file", "Sen_Prob_idx_Stn.nc",
       [](const std::string& path) { testing::write_file(path, "garbage\n"); },
       "in/Sen_Prob_idx_Stn.nc: NetCDF: Unknown file format"},
      {"truncated file", "Fre_Mag_Stn.nc",
       [](const std::string& path) {
         const std::string bytes = testing::read_file(path);
         testing::write_file(path, bytes.substr(0, bytes.size() / 3));
       },
       "in/Fre_Mag_Stn.nc: "},
      {"missing station list", "SPI_Stn.nc",
       [](const std::string& path) { std::filesystem::remove(path); },
       "in/SPI_Stn.nc: No such file or directory"},
      {"station list at the default path", "SPI_Stn.nc", [](const std::string&) {},
       "/home/rufal/MERIDOX/RES/SPI_Res/SPI_Stn.nc: No such file or directory (the station "
       "list; give its path with --stations PATH)",
       true},
      {"missing variable", "Spell_Time_Arr_Stn.nc",
       replace_with(cdl("  comb = 18 ;\n", "  float Spell_Ave(comb, stn) ;\n")),
       "in/Num_Drou_Mon_Stn.nc, in/Sen_Prob_idx_Stn.nc, in/Spell_Time_Arr_Stn.nc, "
       "in/Fre_Mag_Stn.nc: variable \"Spell_Max\" is in none of these files: "
       "in/Num_Drou_Mon_Stn.nc holds N_Drou_mon; in/Sen_Prob_idx_Stn.nc holds SenSL, Prob; "
       "in/Spell_Time_Arr_Stn.nc holds Spell_Ave; in/Fre_Mag_Stn.nc holds Fre_pdsi_mod, "
       "Mag_pdsi_mod, Fre_scpdsi_mod, Mag_scpdsi_mod, Fre_spi01_mod, Mag_spi01_mod, Fre_spi03_mod, "
       "Mag_spi03_mod and 28 more; the closest name is \"Spell_Ave\", in "
       "in/Spell_Time_Arr_Stn.nc"},
      {"three dimensions", "Num_Drou_Mon_Stn.nc",
       replace_with(cdl("  a = 2 ;\n  b = 2 ;\n", "  float N_Drou_mon(a, b, stn) ;\n")),
       "in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\" has 3 dimensions; 2 expected (station "
       "and second axis, in either order)"},
      {"not numeric", "Num_Drou_Mon_Stn.nc",
       replace_with(cdl("  a = 2 ;\n", "  char N_Drou_mon(a, stn) ;\n")),
       "in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\" is not numeric"},
      {"empty second axis", "Num_Drou_Mon_Stn.nc",
       replace_with(cdl("  comb = UNLIMITED ;\n", "  float N_Drou_mon(comb, stn) ;\n"), "nc4"),
       "in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\": second axis \"comb\" is empty; a "
       "product needs at least one time step"},
      {"fewer stations", "Sen_Prob_idx_Stn.nc",
       replace_with("netcdf f {\ndimensions:\n  stn = 4 ;\n  idx = 3 ;\nvariables:\n"
                    "  float SenSL(idx, stn) ;\n}\n"),
       "in/Sen_Prob_idx_Stn.nc: variable \"SenSL\": station dimension \"stn\" has 4 values; 5 "
       "expected (the stations of in/SPI_Stn.nc)"},
      {"only the first result variable differs from the station list", "Num_Drou_Mon_Stn.nc",
       replace_with("netcdf f {\ndimensions:\n  stn = 6 ;\n  idx = 3 ;\nvariables:\n"
                    "  float N_Drou_mon(idx, stn) ;\n}\n"),
       "in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\": station dimension \"stn\" has 6 values; "
       "5 expected (the stations of in/SPI_Stn.nc)"},
      {"a FIFO as a result file", "Fre_Mag_Stn.nc",
       [](const std::string& path) {
         std::filesystem::remove(path);
         ::mkfifo(path.c_str(), 0600);
       },
       "in/Fre_Mag_Stn.nc: is a FIFO, not a regular netCDF file"},
      {"a FIFO as the station list", "SPI_Stn.nc",
       [](const std::string& path) {
         std::filesystem::remove(path);
         ::mkfifo(path.c_str(), 0600);
       },
       "in/SPI_Stn.nc: is a FIFO, not a regular netCDF file"},
      {"station list of another size", "SPI_Stn.nc",
       replace_with("netcdf f {\ndimensions:\n  stn = 6 ;\nvariables:\n  float lon(stn) ;\n"
                    "  float lat(stn) ;\n}\n"),
       "in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\": station dimension \"stn\" has 5 "
       "values; 6 expected (the stations of in/SPI_Stn.nc)"},
      {"latitudes for fewer stations than longitudes", "SPI_Stn.nc",
       replace_with("netcdf f {\ndimensions:\n  stn = 5 ;\n  four = 4 ;\nvariables:\n"
                    "  float lon(stn) ;\n  float lat(four) ;\n}\n"),
       "in/SPI_Stn.nc: variable \"lat\" has 4 values (dimension \"four\"), but \"lon\" has 5"},
      {"Prob with a shorter second axis than SenSL", "Sen_Prob_idx_Stn.nc",
       replace_with(cdl("  idx = 3 ;\n  idx2 = 2 ;\n",
                        "  float SenSL(idx, stn) ;\n  float Prob(idx2, stn) ;\n")),
       "in/Sen_Prob_idx_Stn.nc: variable \"Prob\": second axis \"idx2\" has 2 values; 3 expected "
       "(the length of the second axis of \"SenSL\")"},
      {"19 combinations", "Spell_Time_Arr_Stn.nc",
       replace_with(cdl("  comb = 19 ;\n",
                        "  float Spell_Ave(comb, stn) ;\n  float Spell_Max(comb, stn) ;\n"
                        "  float Time_Arr_Ave(comb, stn) ;\n  float Time_Arr_Max(comb, stn) ;\n")),
       "in/Spell_Time_Arr_Stn.nc: variable \"Spell_Ave\": second axis \"comb\" has 19 values; 18 "
       "expected (one per drought index and severity)"},
      {"13 months", "Fre_Mag_Stn.nc",
       [](const std::string& path) {
         std::string variables;
         for (const char* severity : {"mod", "sev", "ext"}) {
           for (const char* index : {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"}) {
             for (const char* kind : {"Fre", "Mag"}) {
               variables += fmt::format("  float {}_{}_{}(month, stn) ;\n", kind, index, severity);
             }
           }
         }
         testing::ncgen(cdl("  month = 13 ;\n", variables), path);
       },
       "in/Fre_Mag_Stn.nc: variable \"Fre_pdsi_mod\": second axis \"month\" has 13 values; 12 "
       "expected (one per month)"},
      {"no longitudes", "SPI_Stn.nc",
       replace_with("netcdf f {\ndimensions:\n  stn = 5 ;\nvariables:\n  float lat(stn) ;\n}\n"),
       "in/SPI_Stn.nc: variable \"lon\": NetCDF: Variable not found, and no variable has "
       "standard_name \"longitude\""},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir work;
    const std::string in = work.file("in");
    const std::string out = work.file("out");
    std::filesystem::copy(good.path(), in);
    std::filesystem::create_directory(out);
    const std::string arguments = "-q --input-dir in --output-dir out";
    ASSERT_EQ(testing::run_converter(work.path(), arguments + " --stations in/SPI_Stn.nc").status,
              0);
    const auto before = testing::snapshot(out);
    ASSERT_EQ(before.size(), 93u);

    c.damage(in + "/" + c.file);
    const testing::ConverterRun run = testing::run_converter(
        work.path(), arguments + (c.default_station_list ? "" : " --stations in/SPI_Stn.nc"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, ::testing::StartsWith("drought2grads: error: " + c.message));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(testing::snapshot(out), before);
  }
}

}  // namespace
}  // namespace d2g

namespace d2g {
namespace {

// Sizes are checked from the declared dimensions: files of a few kilobytes that declare 50 million
// stations are refused as too large for a station map before a single table is allocated (the
// tables would need about 100 GB; the run gets 1 GB of address space).
// All five inputs declared through CDL, with `stations` as the station dimension's declaration
// ("50000000", "UNLIMITED") and no data written.
void declare_inputs(const std::string& in, const std::string& stations) {
  std::filesystem::create_directories(in);
  const std::string header = "netcdf f {\ndimensions:\n  stn = " + stations +
                             " ;\n  idx = 1 ;\n  comb = 18 ;\n  month = 12 ;\nvariables:\n";
  testing::ncgen(header + "  float lon(stn) ;\n  float lat(stn) ;\n}\n", in + "/SPI_Stn.nc", "nc4");
  testing::ncgen(header + "  float N_Drou_mon(idx, stn) ;\n}\n", in + "/Num_Drou_Mon_Stn.nc",
                 "nc4");
  testing::ncgen(header + "  float SenSL(idx, stn) ;\n  float Prob(idx, stn) ;\n}\n",
                 in + "/Sen_Prob_idx_Stn.nc", "nc4");
  std::string spell = header, fre_mag = header;
  for (const char* name : {"Spell_Ave", "Spell_Max", "Time_Arr_Ave", "Time_Arr_Max"}) {
    spell += fmt::format("  float {}(comb, stn) ;\n", name);
  }
  for (const char* severity : {"mod", "sev", "ext"}) {
    for (const char* index : {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"}) {
      for (const char* kind : {"Fre", "Mag"}) {
        fre_mag += fmt::format("  float {}_{}_{}(month, stn) ;\n", kind, index, severity);
      }
    }
  }
  testing::ncgen(spell + "}\n", in + "/Spell_Time_Arr_Stn.nc", "nc4");
  testing::ncgen(fre_mag + "}\n", in + "/Fre_Mag_Stn.nc", "nc4");
}

TEST(ResourceFaults, DeclaredSizesBeyondTheMapLimitAreRefusedBeforeAllocating) {
  TempDir work;
  declare_inputs(work.file("in"), "50000000");
  std::filesystem::create_directory(work.file("out"));

  const testing::ConverterRun run = testing::run_converter(
      work.path(), "--input-dir in --output-dir out --stations in/SPI_Stn.nc", "ulimit -v 1000000");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "drought2grads: error: out/Spell_Ave.dat: 50000000 stations x 18 time steps exceed "
            "the 2 GiB that a GrADS station map can address\n");
  EXPECT_TRUE(testing::snapshot(work.file("out")).empty());
}

// A file-size limit (ulimit -f) ends the run with error 38 naming the file, not with SIGXFSZ:
// the program itself ignores the signal. Nothing is replaced.
TEST(ResourceFaults, AFileSizeLimitGivesErrorThirtyEight) {
  TempDir work;
  testing::sample_with_products(work.path(), 2000, 4, 3);
  const auto before = testing::snapshot(work.file("out"));
  testing::generate_sample(work.path(), 2000, 4, 3, 2);
  // 100 blocks of 512 bytes or 1 KiB, as the shell counts them: far below Num_Dr_Mon.dat's 256 KB.
  const testing::ConverterRun run = testing::run_converter(
      work.path(), "-q --output-dir out --stations SPI_Stn.nc", "ulimit -f 100");
  EXPECT_EQ(run.status, 38);
  EXPECT_EQ(run.err, "drought2grads: severe (38): error during write, unit 10, file " +
                         work.file("out/Num_Dr_Mon.dat") +
                         "\ndrought2grads: the file would exceed the file-size limit (File too "
                         "large)\n");
  EXPECT_EQ(testing::snapshot(work.file("out")), before);
}

// No stations at all: every product is its time groups' terminators.
TEST(RunEdges, ZeroStationsGiveTerminatorOnlyProducts) {
  TempDir work;
  declare_inputs(work.file("in"), "UNLIMITED");
  const testing::ConverterRun run =
      testing::run_converter(work.path(), "--input-dir in --stations in/SPI_Stn.nc");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out,
              HasSubstr("       - Longitude's name = stn            ; length =            0\n"));
  EXPECT_EQ(testing::read_file(work.file("Sensl.dat")).size(), 28u);
  EXPECT_EQ(testing::read_file(work.file("Fre_07.dat")).size(), 18u * 28u);
  EXPECT_EQ(testing::read_file(work.file("Fre_07.dat.map")).size(), 24u + 8u * 18u);
}

// Tables that do not fit the address space end the run with error 41 before anything is written.
TEST(ResourceFaults, TablesBeyondTheMemoryLimitGiveErrorFortyOne) {
  TempDir work;
  // 60,000 stations need about 135 MB of tables; the program itself runs in less than 100 MB.
  testing::generate_sample(work.path(), 60000, 18, 6);
  std::filesystem::create_directory(work.file("out"));
  const testing::ConverterRun run = testing::run_converter(
      work.path(), "-q --output-dir out --stations SPI_Stn.nc", "ulimit -v 150000");
  EXPECT_EQ(run.status, 41);
  EXPECT_EQ(run.err, "drought2grads: severe (41): insufficient virtual memory\n");
  EXPECT_TRUE(testing::snapshot(work.file("out")).empty());
}

// A few descriptors are enough, however far the removal of replaced files lags behind (12: the
// shell that starts the converter needs descriptor 10 for its redirection).
TEST(ResourceFaults, TwelveDescriptorsAreEnoughToReplaceEveryProduct) {
  TempDir work;
  testing::sample_with_products(work.path(), 200, 18, 6);
  testing::generate_sample(work.path(), 200, 18, 6, 2);
  const testing::ConverterRun run = testing::run_converter(
      work.path(), "-q --output-dir out --stations SPI_Stn.nc", "ulimit -n 12");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::list_dir(work.file("out")).size(), 93u);
  const std::vector<float> values =
      testing::read_nc(work.file("Sen_Prob_idx_Stn.nc"), "Prob").values;
  const testing::NcValues lon = testing::read_nc(work.file("SPI_Stn.nc"), "lon");
  const testing::NcValues lat = testing::read_nc(work.file("SPI_Stn.nc"), "lat");
  EXPECT_EQ(testing::read_file(work.file("out/Mag_12.dat")).size(), 18u * (32 * 200 + 28));
  EXPECT_EQ(testing::read_file(work.file("out/Prob.dat")),
            testing::pack_station_data(values, lon.values, lat.values, 200, 6));
}

// Out of inodes, a run reports a full file system, not an open failure.
TEST(ResourceFaults, NoFreeInodesIsAFullFileSystem) {
  TempDir work;
  testing::generate_sample(work.path(), 5, 4, 3);
  const std::string out = work.file("out");
  std::filesystem::create_directory(out);
  if (::geteuid() != 0 || testing::run_command("mount -t tmpfs -o size=1m,nr_inodes=1 tmpfs " +
                                               testing::shell_quote(out)) != 0) {
    GTEST_SKIP() << "a small file system cannot be mounted here";
  }
  const testing::ConverterRun run =
      testing::run_converter(work.path(), "-q --output-dir out --stations SPI_Stn.nc");
  const std::vector<std::string> left = testing::list_dir(out);
  testing::run_command("umount " + testing::shell_quote(out));
  EXPECT_EQ(run.status, 38);
  EXPECT_EQ(run.err, "drought2grads: severe (38): error during write, unit 10, file " + out +
                         "/Num_Dr_Mon.dat\ndrought2grads: the output directory " + out +
                         "/ is on a full file system (No space left on device: no free blocks or "
                         "no free inodes)\n");
  EXPECT_TRUE(left.empty());
}

// Short of address space anywhere in the run, inside the libraries too, the run either completes
// or says error 41: never a crash, never a misleading library error.
TEST(ResourceFaults, EveryAddressSpaceLimitEndsInSuccessOrErrorFortyOne) {
  TempDir work;
  testing::generate_sample(work.path(), 5000, 18, 6);
  int failed = 0;
  for (int mib = 64; mib <= 176; mib += 4) {
    SCOPED_TRACE(mib);
    const testing::ConverterRun run = testing::run_converter(
        work.path(), "-q --stations SPI_Stn.nc", "ulimit -v " + std::to_string(mib * 1024));
    if (run.status == 127 &&
        run.err.find("error while loading shared libraries") != std::string::npos) {
      continue;  // the dynamic loader's own limit, before the program starts
    }
    if (run.status == 0) continue;
    ++failed;
    EXPECT_EQ(run.status, 41);
    EXPECT_EQ(run.err, "drought2grads: severe (41): insufficient virtual memory\n");
  }
  EXPECT_GT(failed, 0) << "no limit was tight enough to test anything";
}

}  // namespace
}  // namespace d2g

namespace d2g {
namespace {

// A product that cannot be replaced is found before the first product is touched, by --check
// and by the run alike: the run replaces all products or none.
TEST(OutputFaults, AnIrreplaceableLastProductStopsTheRunBeforeAnyIsReplaced) {
  struct Case {
    const char* what;
    std::string file;                                    // in out/
    std::function<bool(const std::string& path)> spoil;  // false: cannot be made here
    std::function<void(const std::string& path)> mend;
    int status;
    std::string message;  // after "drought2grads: "; {path} is the file's absolute path
  };
  auto attribute = [](const char* flag) {
    return [flag](const std::string& path) {
      return testing::run_command(std::string("chattr ") + flag + " " +
                                  testing::shell_quote(path)) == 0;
    };
  };
  const std::vector<Case> cases = {
      {"a directory in the last map's place", "Mag_12.dat.map",
       [](const std::string& path) {
         std::filesystem::remove(path);
         return std::filesystem::create_directory(path);
       },
       [](const std::string&) {}, 30,
       "severe (30): open failure, unit 2002, file {path}\ndrought2grads: a directory stands "
       "where the product file should be"},
      {"an append-only data file", "Mag_12.dat", attribute("+a"), attribute("-a"), 9,
       "severe (9): permission to access file denied, unit 10, file {path}\ndrought2grads: the "
       "file is append-only (chattr +a): it cannot be replaced"},
      {"an immutable control file", "Mag_11.ctl", attribute("+i"), attribute("-i"), 9,
       "severe (9): permission to access file denied, unit 2001, file {path}\ndrought2grads: the "
       "file is immutable (chattr +i): it cannot be replaced"},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir work;
    testing::sample_with_products(work.path(), 5, 4, 3);
    const std::string path = work.file("out/" + c.file);
    if (!c.spoil(path)) {
      skipped += std::string(skipped.empty() ? "" : ", ") + c.what;
      continue;
    }
    const auto before = testing::snapshot(work.file("out"));
    testing::generate_sample(work.path(), 5, 4, 3, 2);  // new values
    std::string message = c.message;
    message.replace(message.find("{path}"), 6, path);
    for (const char* mode : {" --check", ""}) {
      SCOPED_TRACE(mode);
      const testing::ConverterRun run = testing::run_converter(
          work.path(), std::string("-q --output-dir out --stations SPI_Stn.nc") + mode);
      EXPECT_EQ(run.status, c.status);
      EXPECT_EQ(run.err, "drought2grads: " + message + "\n");
      EXPECT_EQ(testing::snapshot(work.file("out")), before);
    }
    c.mend(path);
  }
  if (!skipped.empty()) GTEST_SKIP() << "file attributes cannot be set here: " << skipped;
}

}  // namespace
}  // namespace d2g
