// Result variables as pipelines write them: looked up in any files, labelled combination axes in
// any order and any dimension order, giving the products of the fixed layout byte for byte; and
// labels that cannot be placed refused, naming the variable, the dimension and the label.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

const char* const kIndices[] = {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"};
const char* const kSeverities[] = {"mod", "sev", "ext"};

std::string cdl_number(float value) {
  if (value != value) return "NaN";
  return fmt::format("{}", value);
}

// Combination k (0-based, the products' order) as a label of another spelling.
std::string label(int k) {
  return fmt::format("{} {}", kIndices[k % 6], k / 6 == 0 ? "moderate" : kSeverities[k / 6]);
}

TEST(LabelledInputs, ShuffledCombinationLabelsGiveTheProductsOfTheFixedLayout) {
  TempDir work;
  const int nstn = 4;
  testing::generate_sample(work.path(), nstn, 3, 2);
  // Index-major, the order the products do not use: pdsi_mod, pdsi_sev, pdsi_ext, scpdsi_mod, ...
  std::vector<int> order;
  for (int i = 0; i < 6; ++i) {
    for (int s = 0; s < 3; ++s) order.push_back(6 * s + i);
  }
  std::string labels;
  for (int k : order) labels += (labels.empty() ? "\"" : ", \"") + label(k) + "\"";
  std::string declarations = "  string comb(comb) ;\n", data = "  comb = " + labels + " ;\n";
  for (const char* name : {"Spell_Ave", "Spell_Max", "Time_Arr_Ave", "Time_Arr_Max"}) {
    const testing::NcValues values =
        testing::read_nc(work.file("Spell_Time_Arr_Stn.nc"), name);  // (comb, stn)
    declarations +=
        fmt::format("  float {}(comb, stn) ;\n    {}:_FillValue = -999.f ;\n", name, name);
    std::string text;
    for (int k : order) {
      for (int j = 0; j < nstn; ++j) {
        text += (text.empty() ? "" : ", ") + cdl_number(values.values[k * nstn + j]);
      }
    }
    data += fmt::format("  {} = {} ;\n", name, text);
  }
  // Fre over (stn, comb, month) and Mag over (month, comb, stn).
  for (const char* kind : {"Fre", "Mag"}) {
    const bool station_first = kind[0] == 'F';
    declarations += fmt::format("  float {}({}) ;\n    {}:_FillValue = -999.f ;\n", kind,
                                station_first ? "stn, comb, month" : "month, comb, stn", kind);
    std::vector<testing::NcValues> slices;  // by position along comb, each (month, stn)
    for (int k : order) {
      slices.push_back(
          testing::read_nc(work.file("Fre_Mag_Stn.nc"),
                           fmt::format("{}_{}_{}", kind, kIndices[k % 6], kSeverities[k / 6])));
    }
    std::string text;
    auto add = [&](float value) { text += (text.empty() ? "" : ", ") + cdl_number(value); };
    for (int a = 0; a < (station_first ? nstn : 12); ++a) {
      for (std::size_t c = 0; c < slices.size(); ++c) {
        for (int b = 0; b < (station_first ? 12 : nstn); ++b) {
          const int month = station_first ? b : a, station = station_first ? a : b;
          add(slices[c].values[month * nstn + station]);
        }
      }
    }
    data += fmt::format("  {} = {} ;\n", kind, text);
  }
  testing::ncgen(fmt::format("netcdf labelled {{\ndimensions:\n  stn = {} ;\n  comb = 18 ;\n"
                             "  month = 12 ;\nvariables:\n{}data:\n{}}}\n",
                             nstn, declarations, data),
                 work.file("labelled.nc"), "nc4");
  for (const char* dir : {"fixed", "labelled"}) std::filesystem::create_directory(work.file(dir));
  const testing::ConverterRun fixed =
      testing::run_converter(work.path(), "-q --stations SPI_Stn.nc --output-dir fixed");
  const testing::ConverterRun labelled =
      testing::run_converter(work.path(),
                             "-q --stations SPI_Stn.nc --output-dir labelled -i labelled.nc -i "
                             "Num_Drou_Mon_Stn.nc --input Sen_Prob_idx_Stn.nc");
  ASSERT_EQ(fixed.status, 0) << fixed.err;
  ASSERT_EQ(labelled.status, 0) << labelled.err;
  EXPECT_EQ(testing::snapshot(work.file("labelled")), testing::snapshot(work.file("fixed")));
  EXPECT_EQ(testing::snapshot(work.file("fixed")).size(), 93u);
}

// Each fault in a one-file set: the message after "drought2grads: error: all.nc: ".
TEST(LabelledInputs, LabelsThatCannotBePlacedAreRefused) {
  const std::string indices = "\"pdsi\", \"scpdsi\", \"spi01\", \"spi03\", \"spi06\", \"spi12\"";
  struct Case {
    const char* what;
    std::string spell;  // the declarations and data of Spell_Ave and its coordinates
    std::string spell_data;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a label outside the set",
       "  string index(index) ;\n  string severity(severity) ;\n"
       "  float Spell_Ave(stn, index, severity) ;\n",
       "  index = \"pdsi\", \"scpdsi\", \"spei\", \"spi03\", \"spi06\", \"spi12\" ;\n"
       "  severity = \"mod\", \"sev\", \"ext\" ;\n",
       "variable \"Spell_Ave\": dimension \"index\": label \"spei\" is not one of pdsi, scpdsi, "
       "spi01, spi03, spi06, spi12"},
      {"a repeated label",
       "  string index(index) ;\n  string severity(severity) ;\n"
       "  float Spell_Ave(stn, index, severity) ;\n",
       "  index = " + indices + " ;\n  severity = \"mod\", \"SEV\", \"sev\" ;\n",
       "variable \"Spell_Ave\": dimension \"severity\": label \"sev\" stands twice (at 2 and 3)"},
      {"a missing label",
       "  string index(index) ;\n  string severity(two) ;\n  float Spell_Ave(stn, index, two) ;\n"
       "    Spell_Ave:coordinates = \"severity\" ;\n",
       "  index = " + indices + " ;\n  severity = \"mod\", \"sev\" ;\n",
       "variable \"Spell_Ave\": dimension \"two\": the label \"ext\" is missing"},
      {"no labels", "  float Spell_Ave(stn, index, severity) ;\n", "",
       "variable \"Spell_Ave\": dimension \"index\" has no labels: a coordinate variable of the "
       "same name holding drought index, severity or combination names is needed to place its "
       "values"},
      {"severity labels on a combination axis",
       "  string severity(severity) ;\n  float Spell_Ave(severity, stn) ;\n",
       "  severity = \"mod\", \"sev\", \"ext\" ;\n",
       "variable \"Spell_Ave\": dimension \"severity\": its labels name severities, but this "
       "second axis needs the 18 combinations (pdsi_mod, ...)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir work;
    testing::generate_sample(work.path(), 3, 2, 2);
    // Spell_Ave from the case; everything else from the sample files after it.
    testing::ncgen(fmt::format("netcdf all {{\ndimensions:\n  stn = 3 ;\n  index = 6 ;\n"
                               "  severity = 3 ;\n  two = 2 ;\nvariables:\n{}data:\n{}}}\n",
                               c.spell, c.spell_data),
                   work.file("all.nc"), "nc4");
    const testing::ConverterRun run =
        testing::run_converter(work.path(),
                               "--check --stations SPI_Stn.nc -i all.nc -i Num_Drou_Mon_Stn.nc -i "
                               "Sen_Prob_idx_Stn.nc -i Spell_Time_Arr_Stn.nc -i Fre_Mag_Stn.nc");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "drought2grads: error: all.nc: " + c.message + "\n");
  }
}

// Where the station counts disagree, the message names the dimension that is off and lists the
// variable's dimensions; a missing variable, what the file holds and the closest name.
TEST(LabelledInputs, MessagesPointAtWhatIsOff) {
  TempDir work;
  testing::generate_sample(work.path(), 5, 2, 6);
  testing::ncgen(
      "netcdf s {\ndimensions:\n  stn = 4 ;\n  index = 6 ;\nvariables:\n"
      "  float SenSL(index, stn) ;\n  float Prob(index, stn) ;\n}\n",
      work.file("Sen_Prob_idx_Stn.nc"));
  const testing::ConverterRun short_of_one =
      testing::run_converter(work.path(), "--check --stations SPI_Stn.nc");
  EXPECT_EQ(short_of_one.status, 1);
  EXPECT_EQ(short_of_one.err,
            "drought2grads: error: Sen_Prob_idx_Stn.nc: variable \"SenSL\": station dimension "
            "\"stn\" has 4 values; 5 expected (the stations of SPI_Stn.nc); its dimensions are "
            "(index = 6, stn = 4)\n");

  testing::generate_sample(work.path(), 5, 2, 6);
  testing::ncgen(
      "netcdf one {\ndimensions:\n  stn = 5 ;\n  x = 2 ;\nvariables:\n"
      "  float N_Drou_Mon(x, stn) ;\n  float stn(stn) ;\n}\n",
      work.file("one.nc"));
  const testing::ConverterRun renamed =
      testing::run_converter(work.path(), "--check --stations SPI_Stn.nc --input one.nc");
  EXPECT_EQ(renamed.status, 1);
  EXPECT_EQ(renamed.err,
            "drought2grads: error: one.nc: variable \"N_Drou_mon\" is not in this file, which "
            "holds N_Drou_Mon; the closest name is \"N_Drou_Mon\"\n");

  std::filesystem::remove(work.file("Fre_Mag_Stn.nc"));
  const testing::ConverterRun missing =
      testing::run_converter(work.path(), "--check --stations SPI_Stn.nc");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err,
              HasSubstr("Fre_Mag_Stn.nc: No such file or directory (one of the four result files "
                        "Num_Drou_Mon_Stn.nc, Sen_Prob_idx_Stn.nc, Spell_Time_Arr_Stn.nc and "
                        "Fre_Mag_Stn.nc, looked for in the working directory; give their "
                        "directory with --input-dir DIR, or the files that hold the result "
                        "variables with --input FILE)"));
}

// A CF time axis GrADS cannot express stops a --time-axis cf run before anything is written,
// naming the file, the coordinate variable and the reason; without the option it converts.
TEST(TimeAxes, AxesGradsCannotExpressStopTheRunNamingTheVariable) {
  const struct {
    const char* attributes;  // ncatted arguments for the coordinate "comb"
    const char* reason;
  } cases[] = {
      {"-a units,comb,o,c,'days since 2000-01-01' -a calendar,comb,o,c,360_day",
       "calendar \"360_day\" cannot be expressed in GrADS"},
      {"-a units,comb,o,c,'months since 2000-01-01'",
       "time unit \"months\": months and years are fixed lengths in UDUNITS"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attributes);
    TempDir work;
    testing::generate_sample(work.path(), 4, 5, 2);
    ASSERT_EQ(testing::run_command("cd " + testing::shell_quote(work.path()) + " && ncatted -h " +
                                   c.attributes + " Num_Drou_Mon_Stn.nc"),
              0);
    std::filesystem::create_directory(work.file("out"));
    const testing::ConverterRun run = testing::run_converter(
        work.path(), "-q --stations SPI_Stn.nc --output-dir out --time-axis cf");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, ::testing::StartsWith(
                             "drought2grads: error: Num_Drou_Mon_Stn.nc: variable \"comb\": " +
                             std::string(c.reason)));
    EXPECT_THAT(run.err, ::testing::EndsWith("(--time-axis cf)\n"));
    EXPECT_TRUE(testing::list_dir(work.file("out")).empty());
    EXPECT_EQ(
        testing::run_converter(work.path(), "-q --stations SPI_Stn.nc --output-dir out").status, 0);
  }
}

}  // namespace
}  // namespace d2g
