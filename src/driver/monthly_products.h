// The monthly frequency and magnitude products. "Fre_Mag_Stn.nc" holds one frequency and one
// magnitude variable over months and stations for each drought index and severity; the write
// phase cuts one month at a time out of them into products whose time step k carries
// combination k.
//
// Combination k = 6 * (severity - 1) + index, severity varying slowest: k = 1 is pdsi with mod,
// k = 7 pdsi with sev, k = 18 spi12 with ext.
#pragma once

#include <array>
#include <string>

#include "driver/run_state.h"
#include "driver/run_tables.h"
#include "gradsout/write_grads_stn.h"

namespace d2g {

inline constexpr std::array<const char*, 6> IDXSTR = {"pdsi",  "scpdsi", "spi01",
                                                      "spi03", "spi06",  "spi12"};
inline constexpr std::array<const char*, 3> SEVSTR = {"mod", "sev", "ext"};

// The name of the frequency ("Fre_") or magnitude ("Mag_") variable of combination k (1 ... 18).
std::string fre_mag_variable_name(const char* prefix, int k);

// The product of month `month` (1 ... 12) for "Fre_" or "Mag_": Fre_01 ... Mag_12.
std::string monthly_product_name(const char* prefix, int32_t month);

// Writes Fre_pdsi_mod, Mag_pdsi_mod, ..., Mag_spi12_ext: each combination's 12 months as the
// time axis, so that GrADS draws a station's seasonal cycle with one d command.
void write_seasonal_products(const RunState& state, const RunTables& tables,
                             const std::string& prefix, StationWriterContext& context);

// Writes Fre_01, Mag_01, ..., Fre_12, Mag_12 through the slice buffer X.
void write_monthly_products(const RunState& state, RunTables& tables, const std::string& prefix,
                            StationWriterContext& context);

}  // namespace d2g
