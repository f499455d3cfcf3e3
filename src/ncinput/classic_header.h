// Checks a classic netCDF file (CDF-1, CDF-2 or CDF-5) against its own header before the netCDF
// library reads it. The library returns zeros for values past the end of a file cut short, and
// crashes on some damaged headers; both are refused here instead, with a message naming the file.
//
// The header, all numbers big-endian (CDF-5 counts, lengths and ids are 64-bit; CDF-1 offsets
// 32-bit, CDF-2 and CDF-5 offsets 64-bit):
//   "CDF" version numrecs
//   dimensions: tag 0x0A, count, then per dimension: name, length (0 for the record dimension)
//   global attributes: tag 0x0C, count, then per attribute: name, type, count, values (padded)
//   variables: tag 0x0B, count, then per variable: name, rank, dimension ids, attributes, type,
//              vsize, begin (the offset of its data)
// An absent list is two zeros; a name is a count and its bytes, padded to 4.
#pragma once

#include <string>

namespace d2g {

// Does nothing for a file that is not classic netCDF (netCDF-4 files go to HDF5, which checks
// its own structures). Throws FatalError (exit status 1) for a damaged header or a file shorter
// than its header declares, naming both sizes.
void require_complete_classic_file(const std::string& path);

}  // namespace d2g
