#include "gradsout/report_stream.h"

#include <algorithm>

#include "gradsout/pending_file.h"

namespace d2g {

namespace {

constexpr std::size_t kWriteBufferBytes = std::size_t{4} << 20;

}  // namespace

ReportStream::ReportStream(ByteOrder order, WriteBuffer& buffer)
    : order_(order), buffer_(buffer), slots_(1) {
  if (buffer_.size() < kWriteBufferBytes) buffer_.resize(kWriteBufferBytes);
  spare_.resize(buffer_.size());
}

void ReportStream::start_file(PendingFile* out) {
  flush();
  out_ = out;
  file_bytes_ = 0;
}

void ReportStream::stage(int32_t groups) {
  slots_.resize(static_cast<std::size_t>(std::max(groups, 1)));
}

void ReportStream::append(const char* bytes, std::size_t count) {
  file_bytes_ += static_cast<int64_t>(count);
  while (count > 0) {
    if (used_ == buffer_.size()) hand_over();
    const std::size_t piece = std::min(count, buffer_.size() - used_);
    std::copy(bytes, bytes + piece, buffer_.data() + used_);
    used_ += piece;
    bytes += piece;
    count -= piece;
  }
}

void ReportStream::report(int32_t slot_index, const char* id8, float lat, float lon, float offset,
                          const float* surface, int32_t nsurface, const float* levels,
                          int32_t nlevels, int32_t level_values) {
  Slot& slot = slots_[static_cast<std::size_t>(slot_index)];
  const bool flag = nsurface > 0;
  const int64_t level_floats = static_cast<int64_t>(nlevels) * (1 + level_values);
  const int64_t floats = (flag ? nsurface : 0) + level_floats;
  const std::size_t bytes = kHeaderBytes + 4 * static_cast<std::size_t>(floats);
  if (slot.used + bytes > slot.bytes.size()) {
    slot.bytes.resize(std::max(2 * slot.bytes.size(), slot.used + bytes + (std::size_t{1} << 16)));
  }
  char* at = slot.bytes.data() + slot.used;
  slot.used += bytes;
  put_report_header(at, id8, lat, lon, offset, nlevels + (flag ? 1 : 0), flag, order_);
  at += kHeaderBytes;
  for (int32_t v = 0; v < nsurface; ++v, at += 4) put_f32(at, surface[v], order_);
  for (int64_t v = 0; v < level_floats; ++v, at += 4) put_f32(at, levels[v], order_);
  std::copy(id8, id8 + 8, slot.last_id);
  slot.last_lat = lat;
  slot.last_lon = lon;
  ++slot.reports;
  slot.most_values = std::max<int32_t>(slot.most_values, static_cast<int32_t>(floats));
}

void ReportStream::end_group(int32_t slot_index) {
  Slot& slot = slots_[static_cast<std::size_t>(slot_index)];
  index_.offsets.push_back(file_bytes_);
  index_.reports.push_back(slot.reports);
  index_.most_values = std::max(index_.most_values, slot.most_values);
  total_reports_ += slot.reports;
  append(slot.bytes.data(), slot.used);
  if (slot.reports > 0) {
    std::copy(slot.last_id, slot.last_id + 8, last_id_);
    last_lat_ = slot.last_lat;
    last_lon_ = slot.last_lon;
  }
  char terminator[kHeaderBytes];
  put_report_header(terminator, last_id_, last_lat_, last_lon_, 0.0f, 0, true, order_);
  append(terminator, kHeaderBytes);
  // Keep the slot's memory for the next group it holds.
  slot.used = 0;
  slot.reports = 0;
  slot.most_values = 0;
}

void ReportStream::hand_over() {
  if (out_ != nullptr && used_ > 0) {
    writer_.submit(*out_, buffer_.data(), used_);
    // The writer has the filled buffer now; fill the other.
    buffer_.swap(spare_);
  }
  used_ = 0;
}

void ReportStream::flush() {
  hand_over();
  writer_.wait();
}

}  // namespace d2g
