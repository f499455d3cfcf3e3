#include "cfstation/dsg_layout.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "common/fatal_error.h"

namespace d2g::cf {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A variable with the attributes that say what it is.
struct Candidate {
  Variable var;
  std::string units, standard_name, axis, cf_role, sample_dimension, instance_dimension, positive;
  std::string coordinates;
};

bool has_dim(const Variable& var, const std::string& name) {
  return std::any_of(var.dims.begin(), var.dims.end(),
                     [&](const Dimension& d) { return d.full_name == name; });
}

bool is_integer(nc_type type) {
  return type == NC_BYTE || type == NC_UBYTE || type == NC_SHORT || type == NC_USHORT ||
         type == NC_INT || type == NC_UINT || type == NC_INT64 || type == NC_UINT64;
}

bool is_numeric(nc_type type) { return is_integer(type) || type == NC_FLOAT || type == NC_DOUBLE; }

std::string dims_text(const Variable& var) {
  std::vector<std::string> names;
  for (const Dimension& d : var.dims) names.push_back(d.full_name);
  return "(" + fmt::format("{}", fmt::join(names, ", ")) + ")";
}

bool is_time(const Candidate& c) {
  const std::string units = lower(c.units);
  return units.find(" since ") != std::string::npos || units.find(" after ") != std::string::npos ||
         lower(c.axis) == "t" || lower(c.standard_name) == "time";
}

bool is_latitude(const Candidate& c) {
  static const std::set<std::string> kUnits = {"degrees_north", "degree_north", "degree_n",
                                               "degrees_n",     "degreen",      "degreesn"};
  return lower(c.standard_name) == "latitude" || kUnits.count(lower(c.units)) > 0;
}

bool is_longitude(const Candidate& c) {
  static const std::set<std::string> kUnits = {"degrees_east", "degree_east", "degree_e",
                                               "degrees_e",    "degreee",     "degreese"};
  return lower(c.standard_name) == "longitude" || kUnits.count(lower(c.units)) > 0;
}

bool is_vertical(const Candidate& c) {
  static const std::set<std::string> kNames = {"altitude", "height", "depth", "air_pressure",
                                               "height_above_mean_sea_level"};
  const std::string positive = lower(c.positive);
  return lower(c.axis) == "z" || positive == "up" || positive == "down" ||
         kNames.count(lower(c.standard_name)) > 0;
}

class Finder {
 public:
  Finder(const NcFile& file, int32_t& status) : file_(file) {
    for (const std::string& name : variable_names(file, false)) {
      std::optional<Variable> var = lookup_variable(file, name, status);
      if (!var) continue;
      Candidate c;
      c.var = *var;
      auto text = [&](const char* attribute) {
        return text_attribute(file, var->varid, attribute);
      };
      c.units = text("units");
      c.standard_name = text("standard_name");
      c.axis = text("axis");
      c.cf_role = lower(text("cf_role"));
      c.sample_dimension = text("sample_dimension");
      c.instance_dimension = text("instance_dimension");
      c.positive = text("positive");
      c.coordinates = text("coordinates");
      // Coordinates and cell bounds are named by the variables they belong to.
      std::istringstream words(c.coordinates + " " + text("bounds"));
      for (std::string word; words >> word;) referenced_.insert(word);
      all_.push_back(std::move(c));
    }
  }

  const std::vector<Candidate>& all() const { return all_; }
  bool referenced(const std::string& name) const { return referenced_.count(name) > 0; }

  // The variable that `test` accepts, the best ranked as said below; `allowed` narrows the
  // choice.
  template <class Test, class Allowed>
  const Candidate* pick(Test test, Allowed allowed) const {
    const Candidate* best = nullptr;
    int best_rank = -1;
    for (const Candidate& c : all_) {
      if (!test(c) || !allowed(c)) continue;
      // A variable along a dimension before a scalar one (a scalar "base_time" beside the time
      // coordinate), then one that a coordinates attribute names, then one whose standard name
      // says what it is, then a coordinate variable (named like its one dimension).
      const bool coordinate_variable =
          c.var.dims.size() == 1 && c.var.dims[0].full_name == c.var.name;
      const int rank = (!c.var.dims.empty() ? 8 : 0) + (referenced(c.var.name) ? 4 : 0) +
                       (!c.standard_name.empty() ? 2 : 0) + (coordinate_variable ? 1 : 0);
      if (rank > best_rank) {
        best = &c;
        best_rank = rank;
      }
    }
    return best;
  }

  const Candidate* named(const std::string& name) const {
    for (const Candidate& c : all_) {
      if (c.var.name == name) return &c;
    }
    return nullptr;
  }

 private:
  const NcFile& file_;
  std::vector<Candidate> all_;
  std::set<std::string> referenced_;
};

// Where a variable's values lie, or nothing when it has a dimension the layout does not know.
std::optional<Strides> strides_of(const Variable& var, const DsgLayout& layout) {
  Strides strides;
  int64_t stride = 1;
  for (std::size_t d = var.dims.size(); d-- > 0;) {
    const std::string& name = var.dims[d].full_name;
    if (layout.station_dim && name == layout.station_dim->full_name) {
      strides.station = stride;
    } else if (name == layout.element_dim.full_name) {
      strides.element = stride;
    } else if (layout.level_dim && name == layout.level_dim->full_name) {
      strides.level = stride;
    } else if (var.dims[d].length != 1) {
      // A dimension of one (a single height, a member) holds nothing to place.
      return std::nullopt;
    }
    stride *= var.dims[d].length;
  }
  return strides;
}

}  // namespace

DsgLayout find_layout(const NcFile& file, const std::vector<std::string>& wanted,
                      const std::string& id_variable, int32_t& status) {
  DsgLayout layout;
  const Finder finder(file, status);
  auto fail = [&](const std::string& what) { return FatalError::bad_input(file.path(), what); };

  const std::string feature = text_attribute(file, NC_GLOBAL, "featureType");
  if (lower(feature) == "timeseriesprofile") {
    layout.feature = FeatureType::kTimeSeriesProfile;
  } else if (!feature.empty() && lower(feature) != "timeseries") {
    throw fail(
        fmt::format("featureType \"{}\": only timeSeries and timeSeriesProfile station data "
                    "convert into GrADS station data",
                    feature));
  }
  bool profiles = layout.feature == FeatureType::kTimeSeriesProfile;
  auto any = [](const Candidate&) { return true; };

  // Ragged arrays: count variables (sample_dimension) and index variables (instance_dimension).
  std::vector<const Candidate*> counts, indexes;
  for (const Candidate& c : finder.all()) {
    if (!c.sample_dimension.empty()) counts.push_back(&c);
    if (!c.instance_dimension.empty()) indexes.push_back(&c);
  }
  for (const Candidate* c : counts) {
    if (c->var.dims.size() != 1 || !is_integer(c->var.type)) {
      throw file.error(c->var.name,
                       " has sample_dimension but is not a one-dimensional integer "
                       "count variable");
    }
  }
  for (const Candidate* c : indexes) {
    if (c->var.dims.size() != 1 || !is_integer(c->var.type)) {
      throw file.error(c->var.name,
                       " has instance_dimension but is not a one-dimensional "
                       "integer index variable");
    }
  }

  const Candidate* time = finder.pick(is_time, any);
  if (time == nullptr) {
    throw fail(
        "no time coordinate: no variable has units \"UNIT since DATE\", axis \"T\" or "
        "standard_name \"time\"");
  }
  if (!is_numeric(time->var.type)) throw file.error(time->var.name, " is not numeric");
  if (!profiles) {
    // Profiles not called so: the CF conventions' own orthogonal time series of profiles carries
    // no featureType, and moorings often call sensors at fixed depths a timeSeries. A vertical
    // coordinate variable of several levels that data along the time run through makes them
    // profiles.
    const auto is_level_axis = [&](const Candidate& c) {
      return c.var.dims.size() == 1 && c.var.dims[0].full_name == c.var.name &&
             c.var.dims[0].length > 1 && is_numeric(c.var.type) && !has_dim(time->var, c.var.name);
    };
    const Candidate* z = finder.pick(is_vertical, is_level_axis);
    const bool data_on_levels =
        z != nullptr && std::any_of(finder.all().begin(), finder.all().end(), [&](const auto& c) {
          return &c != z && is_numeric(c.var.type) && has_dim(c.var, z->var.name) &&
                 std::any_of(time->var.dims.begin(), time->var.dims.end(),
                             [&](const Dimension& d) { return has_dim(c.var, d.full_name); });
        });
    if (data_on_levels) {
      profiles = true;
      layout.feature = FeatureType::kTimeSeriesProfile;
      layout.notes.push_back(fmt::format(
          "{}: featureType {}, but the data vary along the vertical coordinate \"{}\": read "
          "as time series of profiles, its values the levels",
          file.path(), feature.empty() ? "missing" : "\"" + feature + "\"", z->var.name));
    }
  }
  const Candidate* lat = finder.pick(is_latitude, any);
  const Candidate* lon = finder.pick(is_longitude, any);
  if (lat == nullptr) {
    throw fail(
        "no latitude: no variable has standard_name \"latitude\" or units "
        "\"degrees_north\"");
  }
  if (lon == nullptr) {
    throw fail(
        "no longitude: no variable has standard_name \"longitude\" or units "
        "\"degrees_east\"");
  }

  const Candidate* id = nullptr;
  if (!id_variable.empty()) {
    id = finder.named(id_variable);
    if (id == nullptr) throw file.error(id_variable, " is not in the file (--station-ids)");
  } else {
    id = finder.pick([](const Candidate& c) { return c.cf_role == "timeseries_id"; }, any);
  }

  // How stations find their elements.
  const Candidate* station_count = nullptr;
  const Candidate* profile_count = nullptr;
  for (const Candidate* c : counts) {
    const bool below_another = std::any_of(counts.begin(), counts.end(), [&](const Candidate* o) {
      return o != c && o->sample_dimension == c->var.dims[0].full_name;
    });
    if (below_another || (profiles && !indexes.empty())) {
      profile_count = c;
    } else {
      station_count = c;
    }
  }
  auto dimension_of = [](const Variable& var, std::size_t d) { return var.dims[d]; };
  auto dimension_named = [&](const Candidate& owner, const std::string& name) -> Dimension {
    int dimid = -1;
    std::size_t length = 0;
    if (nc_inq_dimid(file.id(), name.c_str(), &dimid) != NC_NOERR ||
        nc_inq_dimlen(file.id(), dimid, &length) != NC_NOERR) {
      throw file.error(owner.var.name,
                       fmt::format(": its dimension \"{}\" is not in the file", name));
    }
    Dimension dim;
    dim.full_name = name;
    dim.name = name.substr(0, 15);
    dim.length = static_cast<int32_t>(length);
    return dim;
  };

  if (!indexes.empty()) {
    const Candidate& index = *indexes.front();
    layout.elements = Link::kIndex;
    layout.element_link = index.var;
    layout.station_dim = dimension_named(index, index.instance_dimension);
    layout.element_dim = dimension_of(index.var, 0);
    layout.representation =
        profiles ? "ragged (indexed stations, contiguous profiles)" : "indexed ragged";
  } else if (station_count != nullptr) {
    layout.elements = Link::kCount;
    layout.element_link = station_count->var;
    layout.station_dim = dimension_of(station_count->var, 0);
    layout.element_dim = dimension_named(*station_count, station_count->sample_dimension);
    layout.representation =
        profiles ? "ragged (contiguous stations, contiguous profiles)" : "contiguous ragged";
  } else {
    // Multidimensional: the station dimension is the identifiers' or the positions'.
    std::optional<Dimension> station;
    if (id != nullptr && !id->var.dims.empty() &&
        !(id->var.type == NC_CHAR && id->var.dims.size() == 1)) {
      station = id->var.dims[0];
    } else if (lat->var.dims.size() == 1 &&
               !(time->var.dims.size() == 1 &&
                 time->var.dims[0].full_name == lat->var.dims[0].full_name)) {
      station = lat->var.dims[0];
    }
    layout.station_dim = station;
    std::vector<Dimension> rest;
    for (const Dimension& d : time->var.dims) {
      if (!station || d.full_name != station->full_name) rest.push_back(d);
    }
    if (rest.size() != 1) {
      throw file.error(time->var.name,
                       fmt::format(" has dimensions {}: a station time coordinate runs along one "
                                   "time (or profile) dimension, with or without the station "
                                   "dimension",
                                   dims_text(time->var)));
    }
    layout.element_dim = rest.front();
    const bool shared_time = !station || !has_dim(time->var, station->full_name);
    if (!station) {
      layout.representation = "single station";
    } else if (profiles) {
      layout.representation = "multidimensional";
    } else {
      layout.representation =
          shared_time ? "orthogonal multidimensional" : "incomplete multidimensional";
    }
  }
  layout.nstation = layout.station_dim ? layout.station_dim->length : 1;

  // Without a cf_role variable (older files), the station names: a variable with a platform's
  // standard name, else a text variable along the station dimension alone.
  if (id == nullptr && id_variable.empty()) {
    auto along_stations = [&](const Candidate& c) {
      const std::size_t text_dims = c.var.type == NC_CHAR ? 1 : 0;
      if (c.var.type != NC_CHAR && c.var.type != NC_STRING && !is_integer(c.var.type)) return false;
      if (!layout.station_dim) return c.var.dims.size() == text_dims;
      return c.var.dims.size() == 1 + text_dims &&
             c.var.dims[0].full_name == layout.station_dim->full_name;
    };
    static const std::set<std::string> kNames = {"platform_id", "platform_name", "station_id",
                                                 "station_name"};
    id = finder.pick([&](const Candidate& c) { return kNames.count(lower(c.standard_name)) > 0; },
                     along_stations);
    if (id == nullptr) {
      id = finder.pick(
          [&](const Candidate& c) {
            return (c.var.type == NC_CHAR || c.var.type == NC_STRING) &&
                   c.instance_dimension.empty();
          },
          along_stations);
    }
  }

  if (profiles) {
    if (profile_count != nullptr) {
      if (profile_count->var.dims[0].full_name != layout.element_dim.full_name) {
        throw file.error(
            profile_count->var.name,
            fmt::format(" counts the levels along \"{}\", but the profiles run "
                        "along \"{}\"",
                        profile_count->var.dims[0].full_name, layout.element_dim.full_name));
      }
      layout.levels = Link::kCount;
      layout.level_link = profile_count->var;
      layout.level_dim = dimension_named(*profile_count, profile_count->sample_dimension);
    }
    const Candidate* z = finder.pick(is_vertical, [&](const Candidate& c) {
      if (!is_numeric(c.var.type)) return false;
      if (layout.level_dim) return has_dim(c.var, layout.level_dim->full_name);
      // Multidimensional: one dimension besides the station's and the profiles'.
      int others = 0;
      for (const Dimension& d : c.var.dims) {
        others += (!layout.station_dim || d.full_name != layout.station_dim->full_name) &&
                  d.full_name != layout.element_dim.full_name;
      }
      return others == 1;
    });
    if (z == nullptr) {
      throw fail(
          "featureType \"timeSeriesProfile\" but no vertical coordinate: no variable on "
          "the profiles' levels has axis \"Z\", positive, or a vertical standard_name");
    }
    if (!layout.level_dim) {
      for (const Dimension& d : z->var.dims) {
        if ((!layout.station_dim || d.full_name != layout.station_dim->full_name) &&
            d.full_name != layout.element_dim.full_name) {
          layout.level_dim = d;
        }
      }
    }
    layout.z = Located{z->var, {}};
  }

  auto locate = [&](const Candidate& c, const char* role, bool levels_allowed) {
    const std::optional<Strides> strides = strides_of(c.var, layout);
    if (!strides ||
        (!levels_allowed && layout.level_dim && has_dim(c.var, layout.level_dim->full_name))) {
      throw file.error(c.var.name, fmt::format(" ({}) has dimensions {}, which are not the station "
                                               "feature's",
                                               role, dims_text(c.var)));
    }
    return Located{c.var, *strides};
  };
  layout.time = locate(*time, "the time coordinate", false);
  layout.time_units = time->units;
  layout.calendar = text_attribute(file, time->var.varid, "calendar");
  // A station's own position before positions along its observations, where a file has both
  // (as the CF conventions' drifting mooring: lat, lon and precise_lat, precise_lon): a GrADS
  // station is one identifier at one position.
  const auto nominal = [&](const Candidate* chosen, auto test) {
    const std::string& element = layout.element_dim.full_name;
    if (!has_dim(chosen->var, element)) return chosen;
    const Candidate* station_level = finder.pick(test, [&](const Candidate& c) {
      return !has_dim(c.var, element) && is_numeric(c.var.type) && strides_of(c.var, layout) &&
             !(layout.level_dim && has_dim(c.var, layout.level_dim->full_name));
    });
    return station_level != nullptr ? station_level : chosen;
  };
  lat = nominal(lat, is_latitude);
  lon = nominal(lon, is_longitude);
  if (!is_numeric(lat->var.type)) throw file.error(lat->var.name, " is not numeric");
  if (!is_numeric(lon->var.type)) throw file.error(lon->var.name, " is not numeric");
  layout.lat = locate(*lat, "the latitude", false);
  layout.lon = locate(*lon, "the longitude", false);
  if (layout.z)
    layout.z = locate(*finder.named(layout.z->var.name), "the vertical coordinate", true);
  if (id != nullptr) {
    const bool char_id = id->var.type == NC_CHAR;
    const std::size_t station_dims = id->var.dims.size() - (char_id ? 1 : 0);
    const bool fits = (id->var.dims.empty() && !layout.station_dim) ||
                      (char_id && id->var.dims.size() == 1 && !layout.station_dim) ||
                      (station_dims == 1 && layout.station_dim &&
                       id->var.dims[0].full_name == layout.station_dim->full_name) ||
                      (station_dims == 0 && !layout.station_dim);
    if (!fits) {
      throw file.error(id->var.name,
                       fmt::format(" (the station identifiers) has dimensions {}: one identifier "
                                   "per station is needed",
                                   dims_text(id->var)));
    }
    layout.id = id->var;
  }

  // The data: numeric variables on the feature's elements that are nothing else.
  std::set<std::string> taken = {layout.time.var.name, layout.lat.var.name, layout.lon.var.name};
  if (layout.z) taken.insert(layout.z->var.name);
  if (layout.id) taken.insert(layout.id->name);
  for (const Candidate* c : counts) taken.insert(c->var.name);
  for (const Candidate* c : indexes) taken.insert(c->var.name);
  auto role_of = [&](const Candidate& c) -> std::string {
    if (taken.count(c.var.name) > 0 || !c.cf_role.empty() || is_time(c)) {
      return "a coordinate, identifier, count or index variable";
    }
    if (finder.referenced(c.var.name)) return "named as a coordinate";
    if (c.var.dims.size() == 1 && c.var.dims[0].full_name == c.var.name) {
      return "a coordinate variable";
    }
    if (!is_numeric(c.var.type)) return "not numeric";
    return "";
  };
  auto on_feature = [&](const Candidate& c) {
    return has_dim(c.var, layout.element_dim.full_name) ||
           (layout.level_dim && has_dim(c.var, layout.level_dim->full_name));
  };
  auto take = [&](const Candidate& c) {
    DataVariable data;
    data.at = Located{c.var, *strides_of(c.var, layout)};
    data.on_levels = layout.level_dim && has_dim(c.var, layout.level_dim->full_name);
    data.long_name = text_attribute(file, c.var.varid, "long_name");
    data.units = c.units;
    data.standard_name = c.standard_name;
    layout.data.push_back(std::move(data));
  };
  if (!wanted.empty()) {
    for (const std::string& name : wanted) {
      const Candidate* c = finder.named(name);
      if (c == nullptr) throw file.error(name, " is not in the file (--vars)");
      const std::string role = role_of(*c);
      if (!role.empty()) throw file.error(name, fmt::format(" is {}, not data (--vars)", role));
      if (!on_feature(*c) || !strides_of(c->var, layout)) {
        throw file.error(name, fmt::format(" has dimensions {}, not the station feature's {} "
                                           "(--vars)",
                                           dims_text(c->var), layout.element_dim.full_name));
      }
      take(*c);
    }
  } else {
    for (const Candidate& c : finder.all()) {
      if (!on_feature(c)) continue;
      const std::string role = role_of(c);
      if (role == "not numeric") {
        layout.notes.push_back(
            fmt::format("{}: variable \"{}\" holds text, which GrADS station data cannot: left out",
                        file.path(), c.var.name));
        continue;
      }
      if (!role.empty()) continue;
      if (!strides_of(c.var, layout)) {
        layout.notes.push_back(fmt::format(
            "{}: variable \"{}\" has dimensions {}, beyond the station feature's: left out",
            file.path(), c.var.name, dims_text(c.var)));
        continue;
      }
      take(c);
    }
  }
  if (layout.data.empty()) {
    throw fail(fmt::format("no data variables along the stations' {} dimension \"{}\"",
                           profiles ? "profile or level" : "time", layout.element_dim.full_name));
  }
  return layout;
}

}  // namespace d2g::cf
