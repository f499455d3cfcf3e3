#include "gradsin/report_scanner.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

namespace d2g::gradsin::scanning {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

}  // namespace

DataReader::DataReader(const StationDataSet& data)
    : data_(data), sequential_(data.sequential), buffer_(kBufferBytes) {}

DataReader::~DataReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool DataReader::open_for(int64_t g, int64_t& files_missing) {
  const std::string name = data_.data_file(g);
  if (fd_ >= 0 && name == name_) return true;
  if (fd_ < 0 && name == name_ && missing_) return false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  name_ = name;
  position_ = 0;
  begin_ = end_ = 0;
  missing_ = fd_ < 0;
  if (fd_ < 0) {
    if (!data_.templated) {
      throw FatalError::bad_input(name, fmt::format("cannot be opened: {}", std::strerror(errno)));
    }
    ++files_missing;
    return false;
  }
  return true;
}

FatalError DataReader::error(int64_t g, int64_t at, const std::string& what) const {
  return FatalError::bad_input(name_, fmt::format("time group {}, byte {}: {}", g + 1, at, what));
}

// A read across the buffer's end, or within a sequential record.
const unsigned char* DataReader::read_edge(std::size_t count, int64_t g, const char* what) {
  if (sequential_) record_edge(count, g, what);
  const unsigned char* at = raw(count, g, what);
  if (sequential_) {
    // The closing marker may move the buffer: keep the payload where it stays valid.
    payload_.assign(at, at + count);
    record_edge(count, g, what);
    return payload_.data();
  }
  return at;
}

const unsigned char* DataReader::raw(std::size_t count, int64_t g, const char* what) {
  if (end_ - begin_ < count) fill(count);
  if (end_ - begin_ < count) {
    throw error(
        g, position_,
        fmt::format("the file ends inside {} ({} of {} bytes)", what, end_ - begin_, count));
  }
  const unsigned char* at = buffer_.data() + begin_;
  begin_ += count;
  position_ += static_cast<int64_t>(count);
  return at;
}

// Moves what is left to the front and reads until `count` bytes are there or the file ends.
void DataReader::fill(std::size_t count) {
  std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  if (buffer_.size() < count) buffer_.resize(count);
  while (end_ < count) {
    const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0)
      throw FatalError::bad_input(name_, fmt::format("cannot be read: {}", std::strerror(errno)));
    if (got == 0) return;
    end_ += static_cast<std::size_t>(got);
  }
}

void DataReader::record_edge(std::size_t count, int64_t g, const char* what) {
  const int64_t at = position_;
  const uint32_t length = get_u32(raw(4, g, "a sequential record marker"), data_.order);
  if (length != count) {
    throw error(
        g, at,
        fmt::format("a sequential record of {} bytes where {} holds {}", length, what, count));
  }
}

int32_t StationNumbers::look_up(const unsigned char* header, float lat, float lon,
                                ScanSummary& out) {
  std::string id(reinterpret_cast<const char*>(header), 8);
  const std::size_t first = id.find_first_not_of(' ');
  id = first == std::string::npos ? "" : id.substr(first);
  id = id.substr(0, id.find_first_of(std::string(" \0", 2)));
  std::string key = id;
  key.push_back('\0');
  // Positions compare as numbers: -0.0 is 0.0.
  const float position[2] = {lat == 0 ? 0.0f : lat, lon == 0 ? 0.0f : lon};
  key.append(reinterpret_cast<const char*>(position), sizeof position);
  const auto [it, added] = known_.emplace(std::move(key), static_cast<int32_t>(out.ids.size()));
  if (added) {
    out.ids.push_back(id);
    out.lat.push_back(lat);
    out.lon.push_back(lon);
    raw_keys_.insert(raw_keys_.end(), header, header + 16);
  }
  return it->second;
}

void check_map(const StationDataSet& data, const std::vector<int64_t>& offsets,
               const std::vector<int32_t>& counts, std::vector<std::string>& notes) {
  if (data.stnmap.empty()) return;
  File map(std::fopen(data.stnmap.c_str(), "rb"));
  if (!map) return;
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, map.get())) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  auto stale = [&](const std::string& why) {
    notes.push_back(
        fmt::format("{}: the station map does not describe the data ({}): run "
                    "stnmap before GrADS opens it",
                    data.stnmap, why));
  };
  if (bytes.size() < 24 || std::memcmp(bytes.data(), "GrADS_stnmapV002", 16) != 0) {
    return stale("not a version-2 station map");
  }
  const auto ntime = static_cast<int64_t>(get_u32(bytes.data() + 16, ByteOrder::kBig));
  if (ntime != static_cast<int64_t>(offsets.size()) ||
      bytes.size() < 24 + 8 * static_cast<std::size_t>(ntime)) {
    return stale(fmt::format("{} time groups where tdef has {}", ntime, offsets.size()));
  }
  for (int64_t g = 0; g < ntime; ++g) {
    const int64_t offset = get_u32(bytes.data() + 24 + 4 * g, ByteOrder::kBig);
    const int64_t count = get_u32(bytes.data() + 24 + 4 * (ntime + g), ByteOrder::kBig);
    if (offset != offsets[g] || count != counts[g]) {
      return stale(
          fmt::format("time group {} at byte {} with {} reports, where the data have "
                      "them at byte {} with {}",
                      g + 1, offset, count, offsets[g], counts[g]));
    }
  }
}

}  // namespace d2g::gradsin::scanning
