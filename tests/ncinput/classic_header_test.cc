// Classic files cut short or with damaged headers are refused before the netCDF library reads
// them: it would return zeros past the end, or crash.
#include "ncinput/classic_header.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "common/fatal_error.h"
#include "ncinput/library_guard.h"
#include "ncinput/nc_file.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// 50 stations: a fixed variable of 6 x 50 floats and a record variable of 3 records of 50
// doubles, 2400 bytes of data after the header, none of it padding.
constexpr char kCdl[] = R"(netcdf cut {
dimensions:
  stn = 50 ;
  idx = 6 ;
  time = UNLIMITED ;
variables:
  float V(idx, stn) ;
    V:long_name = "fixed" ;
  double R(time, stn) ;
  int time(time) ;
data:
  V = 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23 ;
  time = 1, 2, 3 ;
})";

constexpr const char* kFormats[] = {"classic", "64-bit-offset", "cdf5"};

TEST(ClassicHeader, AFileCutShortIsRefusedWithBothSizes) {
  for (const char* format : kFormats) {
    SCOPED_TRACE(format);
    TempDir dir;
    testing::ncgen(kCdl, dir.file("whole.nc"), format);
    const std::string whole = testing::read_file(dir.file("whole.nc"));
    EXPECT_NO_THROW(require_complete_classic_file(dir.file("whole.nc")));
    // Data: 6 x 50 floats, 3 records of 50 doubles and one int; the header is the rest.
    const std::size_t header = whole.size() - (6 * 50 * 4 + 3 * (50 * 8 + 4));
    for (const std::size_t cut :
         {whole.size() * 9 / 10, whole.size() / 2, header, whole.size() - 1}) {
      SCOPED_TRACE(cut);
      testing::write_file(dir.file("cut.nc"), whole.substr(0, cut));
      try {
        require_complete_classic_file(dir.file("cut.nc"));
        ADD_FAILURE() << "accepted";
      } catch (const FatalError& error) {
        EXPECT_EQ(error.exit_status(), 1);
        EXPECT_EQ(
            std::string(error.what()),
            fmt::format("error: {}: the file has {} bytes, but its header declares data up to "
                        "byte {}: it was cut short (an incomplete copy or download?)",
                        dir.file("cut.nc"), cut, whole.size()));
      }
    }
  }
}

// Every header byte overwritten in turn with a few values: the file either opens and reads, or
// is refused with exit status 1 and a message; the process never dies of a signal.
TEST(ClassicHeader, DamagedHeadersNeverCrashTheReader) {
  for (const char* format : kFormats) {
    SCOPED_TRACE(format);
    TempDir dir;
    testing::ncgen(kCdl, dir.file("whole.nc"), format);
    const std::string whole = testing::read_file(dir.file("whole.nc"));
    const std::size_t header = whole.size() - (6 * 50 * 4 + 3 * (50 * 8 + 4));
    int refused = 0;
    for (std::size_t at = 4; at < header; ++at) {
      for (const unsigned char value : {0x00, 0x7f, 0xff}) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(value);
        if (damaged == whole) continue;
        const std::string path = dir.file("damaged.nc");
        testing::write_file(path, damaged);
        const pid_t child = ::fork();
        if (child == 0) {
          ::close(STDERR_FILENO);  // the crash message, if any
          install_library_crash_handlers();
          try {
            int32_t status = 0;
            NcFile file(path, status);
            int nvars = 0;
            nc_inq_nvars(file.id(), &nvars);
            for (int v = 0; v < nvars; ++v) {
              nc_type type = NC_NAT;
              int ndims = 0;
              int dimids[NC_MAX_VAR_DIMS];
              if (nc_inq_var(file.id(), v, nullptr, &type, &ndims, dimids, nullptr) != NC_NOERR) {
                ::_exit(1);
              }
              std::size_t bytes = 8;
              for (int d = 0; d < ndims; ++d) {
                std::size_t length = 0;
                nc_inq_dimlen(file.id(), dimids[d], &length);
                bytes *= length;
              }
              std::vector<char> values(bytes + 8);
              if (nc_get_var(file.id(), v, values.data()) != NC_NOERR) ::_exit(1);
            }
          } catch (const FatalError& error) {
            ::_exit(error.exit_status());
          } catch (...) {
            ::_exit(70);
          }
          ::_exit(0);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status))
            << "byte " << at << " = " << int{value} << ": signal " << WTERMSIG(status);
        EXPECT_THAT(WEXITSTATUS(status), ::testing::AnyOf(0, 1)) << "byte " << at;
        refused += WEXITSTATUS(status) == 1;
      }
    }
    EXPECT_GT(refused, 0);
  }
}

}  // namespace
}  // namespace d2g
