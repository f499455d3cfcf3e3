// Helpers of the cf2grads tests: the CDL fixtures made into netCDF and converted, and an
// independent packer of the station data a product must hold.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace d2g::testing {

inline std::string cdl_fixture(const std::string& name) {
  return read_file(source_dir() + "/cf2grads/cdl/" + name + ".cdl");
}

// Makes `dir`/NAME.nc out of `cdl` (netCDF-4) and converts it into `dir`/out.
inline ConverterRun convert_cdl(const TempDir& dir, const std::string& name, const std::string& cdl,
                                const std::string& arguments = "-q") {
  ncgen(cdl, dir.file(name + ".nc"), "nc4");
  run_command("mkdir -p " + shell_quote(dir.file("out")));
  return run_program(cf2grads(), dir.path(), name + ".nc -o out " + arguments);
}

// One report as the GrADS documentation lays it out.
struct ExpectedReport {
  std::string id;
  float lat, lon, t;
  std::vector<float> surface;
  std::vector<std::vector<float>> levels;  // each: the level, then its values
};

inline void put32(std::string& out, uint32_t bits, bool big) {
  for (int i = 0; i < 4; ++i) {
    const int shift = big ? 24 - 8 * i : 8 * i;
    out += static_cast<char>((bits >> shift) & 0xFF);
  }
}

inline void putf(std::string& out, float value, bool big) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  put32(out, bits, big);
}

// The bytes of time groups of reports; a terminator repeats the last report's id and position.
inline std::string pack_groups(const std::vector<std::vector<ExpectedReport>>& groups,
                               bool big = false) {
  std::string out;
  ExpectedReport last{"", 0, 0, 0, {}, {}};
  for (const auto& group : groups) {
    for (const ExpectedReport& r : group) {
      std::string id = r.id;
      id.resize(8, ' ');
      out += id;
      putf(out, r.lat, big);
      putf(out, r.lon, big);
      putf(out, r.t, big);
      const bool surface = !r.surface.empty();
      put32(out, static_cast<uint32_t>(r.levels.size() + (surface ? 1 : 0)), big);
      put32(out, surface ? 1 : 0, big);
      for (float v : r.surface) putf(out, v, big);
      for (const auto& level : r.levels) {
        for (float v : level) putf(out, v, big);
      }
      last = r;
    }
    std::string id = last.id;
    id.resize(8, ' ');
    out += id;
    putf(out, last.lat, big);
    putf(out, last.lon, big);
    putf(out, 0, big);
    put32(out, 0, big);
    put32(out, 1, big);
  }
  return out;
}

}  // namespace d2g::testing
