// The fields of a GrADS station report header, packed in the byte order the control file
// declares. Every writer of station data packs its headers and values here.
//
//   offset size type   field
//    0      8   chars  station id, blank-padded
//    8      4   float  latitude
//   12      4   float  longitude
//   16      4   float  time offset, in units of the time step
//   20      4   int32  data groups (levels), the surface group included; 0 ends a time group
//   24      4   int32  1 if a surface group follows, else 0
#pragma once

#include <cstdint>
#include <cstring>

namespace d2g {

enum class ByteOrder { kLittle, kBig };

inline constexpr std::size_t kHeaderBytes = 28;

inline void put_u32(char* at, uint32_t value, ByteOrder order) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  if (order == ByteOrder::kLittle) value = __builtin_bswap32(value);
#else
  if (order == ByteOrder::kBig) value = __builtin_bswap32(value);
#endif
  std::memcpy(at, &value, sizeof value);
}

inline void put_f32(char* at, float value, ByteOrder order) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  put_u32(at, bits, order);
}

inline void put_report_header(char* at, const char* id8, float lat, float lon, float offset,
                              int32_t levels, bool surface, ByteOrder order) {
  std::memcpy(at, id8, 8);
  put_f32(at + 8, lat, order);
  put_f32(at + 12, lon, order);
  put_f32(at + 16, offset, order);
  put_u32(at + 20, static_cast<uint32_t>(levels), order);
  put_u32(at + 24, surface ? 1u : 0u, order);
}

}  // namespace d2g
