// make_sample_data: writes a complete, realistic input set for drought2grads: the four result
// files and a station list, for any number of stations. The same seed gives the same bytes.
//
// Stations are spread over the land of the Iberian Peninsula (inside a coarse outline of its
// coast and the Pyrenees) with region codes from a coarse grid. Every data
// variable declares _FillValue = -999.0 and holds a few -999.0 and NaN cells (always at the second
// and third station, so small sets have them too) and genuine zeros.

#include <netcdf.h>

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float kFill = -999.0f;
const char* const kIndices[] = {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"};
const char* const kSeverities[] = {"mod", "sev", "ext"};

void check(int status, const std::string& what) {
  if (status == NC_NOERR) return;
  std::fprintf(stderr, "make_sample_data: %s: %s\n", what.c_str(), nc_strerror(status));
  std::exit(1);
}

// splitmix64: small, fast and the same on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  double uniform(double low, double high) { return low + (high - low) * uniform(); }

 private:
  uint64_t state_;
};

// Each variable draws from its own stream, so adding a variable changes no other.
uint64_t variable_seed(uint64_t seed, const std::string& name) {
  uint64_t hash = 1469598103934665603ull;
  for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return seed ^ hash;
}

class OutputFile {
 public:
  OutputFile(const std::string& path, int nstn) : path_(path) {
    check(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid_), path);
    check(nc_def_dim(ncid_, "stn", static_cast<std::size_t>(nstn), &stn_dim_), path);
    stn_coord_ = define({stn_dim_}, "stn", NC_FLOAT);
    std::vector<float> numbers(static_cast<std::size_t>(nstn));
    for (int j = 0; j < nstn; ++j) numbers[static_cast<std::size_t>(j)] = static_cast<float>(j + 1);
    pending_.push_back({stn_coord_, numbers});
  }
  ~OutputFile() {
    check(nc_enddef(ncid_), path_);
    for (const auto& [varid, values] : pending_) {
      if (!values.empty()) check(nc_put_var_float(ncid_, varid, values.data()), path_);
    }
    check(nc_close(ncid_), path_);
  }

  // A second axis with coordinates 1 ... length.
  int second_axis(const char* name, int length) {
    int dim = -1;
    check(nc_def_dim(ncid_, name, static_cast<std::size_t>(length), &dim), path_);
    std::vector<float> numbers(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i)
      numbers[static_cast<std::size_t>(i)] = static_cast<float>(i + 1);
    pending_.push_back({define({dim}, name, NC_FLOAT), numbers});
    return dim;
  }

  // A data variable over (second axis, station) or (station), filled by `value(j, t)`.
  void variable(const std::string& name, int second_dim, int second_length, uint64_t seed,
                const std::function<float(Random&, int, int)>& value, bool with_gaps = true) {
    std::vector<int> dims;
    if (second_dim >= 0) dims.push_back(second_dim);
    dims.push_back(stn_dim_);
    const int varid = define(dims, name, NC_FLOAT);
    check(nc_put_att_float(ncid_, varid, "_FillValue", NC_FLOAT, 1, &kFill), path_ + " " + name);
    Random random(variable_seed(seed, name));
    const int steps = second_dim >= 0 ? second_length : 1;
    std::vector<float> values(static_cast<std::size_t>(steps) * nstn());
    for (int t = 0; t < steps; ++t) {
      for (int j = 0; j < nstn(); ++j) {
        float v = value(random, j, t);
        if (with_gaps) {
          const uint64_t draw = random.next() % 1000;
          if ((j == 1 && t == 0) || draw == 0) v = kFill;
          if ((j == 2 && t == steps - 1) || draw == 1) v = std::numeric_limits<float>::quiet_NaN();
        }
        values[static_cast<std::size_t>(t) * nstn() + j] = v;
      }
    }
    pending_.push_back({varid, std::move(values)});
  }

 private:
  int nstn() const {
    std::size_t n = 0;
    nc_inq_dimlen(ncid_, stn_dim_, &n);
    return static_cast<int>(n);
  }
  int define(const std::vector<int>& dims, const std::string& name, nc_type type) {
    int varid = -1;
    check(nc_def_var(ncid_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &varid),
          path_ + " " + name);
    check(nc_def_var_chunking(ncid_, varid, NC_CONTIGUOUS, nullptr), path_ + " " + name);
    return varid;
  }

  std::string path_;
  int ncid_ = -1;
  int stn_dim_ = -1;
  int stn_coord_ = -1;
  std::vector<std::pair<int, std::vector<float>>> pending_;
};

// A coarse outline of the Iberian Peninsula, (longitude, latitude) clockwise from Finisterre:
// the north coast, the Pyrenees, the Mediterranean coast, Gibraltar and the Atlantic coast.
constexpr float kIberia[][2] = {
    {-9.3f, 43.0f}, {-8.0f, 43.7f},  {-7.0f, 43.55f}, {-5.8f, 43.6f},  {-4.5f, 43.4f},
    {-3.0f, 43.4f}, {-1.8f, 43.35f}, {0.0f, 42.7f},   {1.5f, 42.45f},  {3.15f, 42.35f},
    {3.1f, 41.9f},  {2.2f, 41.35f},  {0.9f, 41.0f},   {0.5f, 40.6f},   {-0.3f, 39.5f},
    {0.15f, 38.8f}, {-0.5f, 38.3f},  {-0.8f, 37.6f},  {-1.6f, 37.25f}, {-2.1f, 36.75f},
    {-3.5f, 36.7f}, {-4.4f, 36.7f},  {-5.3f, 36.15f}, {-5.6f, 36.05f}, {-6.0f, 36.3f},
    {-6.3f, 36.8f}, {-7.0f, 37.2f},  {-8.0f, 37.0f},  {-8.9f, 37.0f},  {-8.8f, 37.9f},
    {-8.9f, 38.5f}, {-9.4f, 38.75f}, {-9.3f, 39.4f},  {-8.9f, 40.2f},  {-8.7f, 41.2f},
    {-8.9f, 42.0f},
};

// Whether (lon, lat) lies inside the outline (even-odd rule).
bool on_land(double lon, double lat) {
  bool inside = false;
  const std::size_t n = std::size(kIberia);
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = kIberia[i][0], yi = kIberia[i][1];
    const double xj = kIberia[j][0], yj = kIberia[j][1];
    if ((yi > lat) != (yj > lat) && lon < (xj - xi) * (lat - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

// A count in 0 ... high, zero for about one station in eight.
float count(Random& random, double high) {
  if (random.uniform() < 0.125) return 0.0f;
  return static_cast<float>(std::floor(random.uniform(1.0, high + 1.0)));
}

}  // namespace

int main(int argc, char** argv) {
  std::string out = ".";
  int nstn = 150;
  int numdr_len = 18;
  int sen_len = 6;
  uint64_t seed = 1;
  CLI::App app{"Writes a sample input set for drought2grads", "make_sample_data"};
  app.add_option("--out", out, "Output directory (created if missing)")->capture_default_str();
  app.add_option("--stations", nstn, "Number of stations")
      ->capture_default_str()
      ->check(CLI::Range(1, 10000000));
  app.add_option("--numdr-len", numdr_len, "Second-axis length of N_Drou_mon")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  app.add_option("--sen-len", sen_len, "Second-axis length of SenSL and Prob")
      ->capture_default_str()
      ->check(CLI::Range(1, 100000));
  app.add_option("--seed", seed, "Random seed")->capture_default_str();
  std::vector<double> box;
  app.add_option("--box", box,
                 "Stations anywhere in LON1 LON2 LAT1 LAT2 instead of on the Iberian Peninsula")
      ->expected(4);
  CLI11_PARSE(app, argc, argv);
  const std::string dir = out.empty() || out.back() == '/' ? out : out + "/";
  if (!out.empty()) {
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error) {
      std::fprintf(stderr, "make_sample_data: cannot create %s: %s\n", out.c_str(),
                   error.message().c_str());
      return 1;
    }
  }

  {
    OutputFile file(dir + "SPI_Stn.nc", nstn);
    Random place(variable_seed(seed, "place"));
    std::vector<float> lon(static_cast<std::size_t>(nstn)), lat(lon.size());
    for (std::size_t j = 0; j < lon.size(); ++j) {
      double x, y;
      if (box.size() == 4) {
        x = place.uniform(box[0], box[1]);
        y = place.uniform(box[2], box[3]);
      } else {
        do {
          x = place.uniform(-9.4, 3.2);
          y = place.uniform(36.0, 43.8);
        } while (!on_land(x, y));
      }
      lon[j] = static_cast<float>(x);
      lat[j] = static_cast<float>(y);
    }
    auto from = [](const std::vector<float>& v) {
      return [&v](Random&, int j, int) { return v[static_cast<std::size_t>(j)]; };
    };
    file.variable("lon", -1, 1, seed, from(lon), false);
    file.variable("lat", -1, 1, seed, from(lat), false);
    // Region codes 1 ... 12 from a 4 x 3 grid over the peninsula.
    file.variable(
        "reg", -1, 1, seed,
        [&](Random&, int j, int) {
          const int column =
              std::min(3, static_cast<int>((lon[static_cast<std::size_t>(j)] + 9.3) / 3.15));
          const int row =
              std::min(2, static_cast<int>((lat[static_cast<std::size_t>(j)] - 36.0) / 2.6));
          return static_cast<float>(1 + column + 4 * row);
        },
        false);
  }
  {
    OutputFile file(dir + "Num_Drou_Mon_Stn.nc", nstn);
    const int comb = file.second_axis("comb", numdr_len);
    file.variable("N_Drou_mon", comb, numdr_len, seed,
                  [](Random& r, int, int) { return count(r, 120); });
  }
  {
    OutputFile file(dir + "Sen_Prob_idx_Stn.nc", nstn);
    const int idx = file.second_axis("idx", sen_len);
    file.variable("SenSL", idx, sen_len, seed,
                  [](Random& r, int, int) { return static_cast<float>(r.uniform(-0.05, 0.05)); });
    file.variable("Prob", idx, sen_len, seed,
                  [](Random& r, int, int) { return static_cast<float>(r.uniform()); });
  }
  {
    OutputFile file(dir + "Spell_Time_Arr_Stn.nc", nstn);
    const int comb = file.second_axis("comb", 18);
    auto spell = [](Random& r, int, int) { return static_cast<float>(r.uniform(1.0, 12.0)); };
    auto spell_max = [](Random& r, int, int) { return count(r, 48); };
    auto arrival = [](Random& r, int, int) { return static_cast<float>(r.uniform(6.0, 240.0)); };
    auto arrival_max = [](Random& r, int, int) { return count(r, 480); };
    file.variable("Spell_Ave", comb, 18, seed, spell);
    file.variable("Spell_Max", comb, 18, seed, spell_max);
    file.variable("Time_Arr_Ave", comb, 18, seed, arrival);
    file.variable("Time_Arr_Max", comb, 18, seed, arrival_max);
  }
  {
    OutputFile file(dir + "Fre_Mag_Stn.nc", nstn);
    const int month = file.second_axis("month", 12);
    for (const char* severity : kSeverities) {
      for (const char* index : kIndices) {
        const std::string suffix = std::string(index) + "_" + severity;
        file.variable("Fre_" + suffix, month, 12, seed, [](Random& r, int, int) {
          return r.uniform() < 0.2 ? 0.0f : static_cast<float>(r.uniform(0.0, 0.3));
        });
        file.variable("Mag_" + suffix, month, 12, seed, [](Random& r, int, int) {
          return r.uniform() < 0.2 ? 0.0f : static_cast<float>(r.uniform(0.0, 3.0));
        });
      }
    }
  }
  return 0;
}
