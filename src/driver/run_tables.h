// The tables a run loads and writes from, owned by the run from the load phase to its end.
#pragma once

#include <vector>

#include "common/field2d.h"
#include "common/float_buffer.h"
#include "common/stations.h"

namespace d2g {

struct RunTables {
  Field2D NUM_DR_MON;    // stations x nt_numdr
  Field2D SENSL;         // stations x second axis of "SenSL"
  Field2D PROB;          // stations x nt_sen
  Field2D SPELL_AVE;     // stations x 18
  Field2D SPELL_MAX;     // stations x 18
  Field2D TIME_ARR_AVE;  // stations x 18
  Field2D TIME_ARR_MAX;  // stations x 18
  // Frequencies and magnitudes indexed (combination, station, month), combination fastest:
  // 18 x nstn x 12.
  FloatBuffer FRE;
  FloatBuffer MAG;
  Field2D X;  // one month's slice: stations x 18
  std::vector<float> LON;
  std::vector<float> LAT;
  std::vector<float> REG;   // kept for the run, read by no product
  std::vector<float> XSTN;  // station coordinates of the last station-list read
  std::vector<StationLabel> STATION;
};

}  // namespace d2g
