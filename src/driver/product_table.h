// The seven products written straight from a result variable, in the order they are written.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "driver/run_tables.h"
#include "gradsout/write_grads_stn.h"

namespace d2g {

struct DirectProduct {
  const char* name;    // the product: NAME.dat, NAME.ctl, NAME.dat.map
  const char* ctlvar;  // the variable in the control file
  Field2D RunTables::*table;
  int32_t RunState::*time_count;
};

inline constexpr std::array<DirectProduct, 7> kDirectProducts = {{
    {"Num_Dr_Mon", "Dr_Mon", &RunTables::NUM_DR_MON, &RunState::nt_numdr},
    {"Sensl", "Sensl", &RunTables::SENSL, &RunState::nt_sen},
    {"Prob", "Prob", &RunTables::PROB, &RunState::nt_sen},
    {"Spell_Ave", "Spell_Ave", &RunTables::SPELL_AVE, &RunState::ncomb},
    {"Spell_Max", "Spell_Max", &RunTables::SPELL_MAX, &RunState::ncomb},
    {"Time_Arr_Ave", "Time_Arr_Ave", &RunTables::TIME_ARR_AVE, &RunState::ncomb},
    {"Time_Arr_Max", "Time_Arr_Max", &RunTables::TIME_ARR_MAX, &RunState::ncomb},
}};

// The names of all products in the order they are written: the seven direct ones, then
// Fre_01, Mag_01, ..., Fre_12, Mag_12, and with `seasonal` Fre_pdsi_mod, Mag_pdsi_mod,
// Fre_scpdsi_mod, ..., Mag_spi12_ext.
std::vector<std::string> product_names(const RunState& state, bool seasonal = false);

// Whether `name` is one of the seasonal products (a combination over the 12 months).
bool is_seasonal_product(const std::string& name);

// The three files of product `name`: NAME.dat, NAME.ctl, NAME.dat.map.
std::array<std::string, 3> product_files(const std::string& name);

// Writes the seven products into the directory `prefix` (ending in "/"), logging after the first.
void write_direct_products(const RunState& state, const RunTables& tables,
                           const std::string& prefix, StationWriterContext& context,
                           std::ostream& log);

}  // namespace d2g
