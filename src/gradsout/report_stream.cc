#include "gradsout/report_stream.h"

#include <algorithm>

#include "gradsout/pending_file.h"

namespace d2g {

namespace {

constexpr std::size_t kWriteBufferBytes = std::size_t{4} << 20;

}  // namespace

ReportStream::ReportStream(ByteOrder order, WriteBuffer& buffer) : order_(order), buffer_(buffer) {
  if (buffer_.size() < kWriteBufferBytes) buffer_.resize(kWriteBufferBytes);
}

void ReportStream::start_file(PendingFile* out) {
  flush();
  out_ = out;
  file_bytes_ = 0;
}

char* ReportStream::reserve(std::size_t bytes) {
  if (used_ + bytes > buffer_.size()) {
    flush();
    if (bytes > buffer_.size()) buffer_.resize(bytes);
  }
  char* at = buffer_.data() + used_;
  used_ += bytes;
  file_bytes_ += static_cast<int64_t>(bytes);
  return at;
}

void ReportStream::report(const char* id8, float lat, float lon, float offset, const float* surface,
                          int32_t nsurface, const float* levels, int32_t nlevels,
                          int32_t level_values) {
  if (!group_open_) {
    index_.offsets.push_back(file_bytes_);
    group_open_ = true;
  }
  const bool flag = nsurface > 0;
  const int64_t level_floats = static_cast<int64_t>(nlevels) * (1 + level_values);
  const int64_t floats = (flag ? nsurface : 0) + level_floats;
  char* at = reserve(kHeaderBytes + 4 * static_cast<std::size_t>(floats));
  put_report_header(at, id8, lat, lon, offset, nlevels + (flag ? 1 : 0), flag, order_);
  at += kHeaderBytes;
  for (int32_t v = 0; v < nsurface; ++v, at += 4) put_f32(at, surface[v], order_);
  for (int64_t v = 0; v < level_floats; ++v, at += 4) put_f32(at, levels[v], order_);
  std::copy(id8, id8 + 8, last_id_);
  last_lat_ = lat;
  last_lon_ = lon;
  ++group_reports_;
  ++total_reports_;
  index_.most_values = std::max<int32_t>(index_.most_values, static_cast<int32_t>(floats));
}

void ReportStream::end_group() {
  if (!group_open_) index_.offsets.push_back(file_bytes_);
  char* at = reserve(kHeaderBytes);
  put_report_header(at, last_id_, last_lat_, last_lon_, 0.0f, 0, true, order_);
  index_.reports.push_back(group_reports_);
  group_reports_ = 0;
  group_open_ = false;
}

void ReportStream::flush() {
  if (out_ != nullptr && used_ > 0) out_->write(buffer_.data(), used_);
  used_ = 0;
}

}  // namespace d2g
