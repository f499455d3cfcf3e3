#include "ncinput/classic_header.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/fatal_error.h"

namespace d2g {

namespace {

constexpr uint64_t kDimensionTag = 0x0A;
constexpr uint64_t kVariableTag = 0x0B;
constexpr uint64_t kAttributeTag = 0x0C;
constexpr uint64_t kMaxName = 256;
constexpr uint64_t kStreaming = 0xFFFFFFFFu;

// Bytes of one value of a classic type; 0 for a type the version does not have.
uint64_t type_size(uint64_t type, int version) {
  static const uint64_t sizes[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
  const uint64_t last = version == 5 ? 11 : 6;
  return type >= 1 && type <= last ? sizes[type] : 0;
}

struct Damaged {
  std::string what;
};

// Reads the header from the start of the file as the parse asks for it.
class HeaderReader {
 public:
  HeaderReader(int fd, uint64_t file_size) : fd_(fd), file_size_(file_size) {}

  uint64_t offset() const { return at_; }

  uint64_t number(int bytes) {
    need(static_cast<uint64_t>(bytes));
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i)
      value = (value << 8) | static_cast<unsigned char>(buffer_[at_ + i]);
    at_ += static_cast<uint64_t>(bytes);
    return value;
  }

  void skip(uint64_t bytes) {
    need(bytes);
    at_ += bytes;
  }

 private:
  void need(uint64_t bytes) {
    if (bytes > file_size_ || at_ > file_size_ - bytes) {
      throw Damaged{
          fmt::format("the header ends past the end of the file, at byte {}", file_size_)};
    }
    const uint64_t end = at_ + bytes;
    while (buffer_.size() < end) {
      const uint64_t want = std::min<uint64_t>(file_size_ - buffer_.size(),
                                               std::max<uint64_t>(end - buffer_.size(), 1 << 16));
      const std::size_t old = buffer_.size();
      buffer_.resize(old + want);
      const ssize_t got = ::pread(fd_, buffer_.data() + old, want, static_cast<off_t>(old));
      if (got <= 0) throw Damaged{fmt::format("it cannot be read at byte {}", old)};
      buffer_.resize(old + static_cast<std::size_t>(got));
    }
  }

  int fd_;
  uint64_t file_size_;
  std::vector<char> buffer_;
  uint64_t at_ = 0;
};

uint64_t padded(uint64_t bytes) { return (bytes + 3) / 4 * 4; }

struct ClassicLayout {
  int version = 1;
  uint64_t numrecs = 0;
  std::vector<uint64_t> dim_lengths;
  int record_dim = -1;
  struct Var {
    std::vector<uint64_t> dimids;
    uint64_t type = 0;
    uint64_t begin = 0;
  };
  std::vector<Var> vars;
  uint64_t header_end = 0;
};

ClassicLayout parse(HeaderReader& in, int version) {
  ClassicLayout layout;
  layout.version = version;
  const int count_bytes = version == 5 ? 8 : 4;
  const int offset_bytes = version == 1 ? 4 : 8;
  layout.numrecs = in.number(count_bytes);
  if (version == 5 && layout.numrecs == UINT64_MAX) layout.numrecs = kStreaming;

  auto list_count = [&](uint64_t expected_tag, const char* list) {
    const uint64_t tag = in.number(4);
    const uint64_t count = in.number(count_bytes);
    if (tag == 0) {
      if (count != 0)
        throw Damaged{fmt::format("its {} list is absent but counts {}", list, count)};
      return uint64_t{0};
    }
    if (tag != expected_tag) throw Damaged{fmt::format("its {} list has a wrong tag", list)};
    return count;
  };
  auto name = [&](const char* what) {
    const uint64_t length = in.number(count_bytes);
    if (length == 0 || length > kMaxName) {
      throw Damaged{fmt::format("{} name is {} bytes long", what, length)};
    }
    in.skip(padded(length));
  };
  auto attributes = [&](const char* list) {
    const uint64_t count = list_count(kAttributeTag, list);
    for (uint64_t a = 0; a < count; ++a) {
      name("an attribute");
      const uint64_t type = in.number(4);
      const uint64_t size = type_size(type, version);
      if (size == 0) throw Damaged{fmt::format("an attribute has the unknown type {}", type)};
      const uint64_t values = in.number(count_bytes);
      if (values > UINT64_MAX / size) throw Damaged{"an attribute is impossibly long"};
      in.skip(padded(values * size));
    }
  };

  const uint64_t ndims = list_count(kDimensionTag, "dimension");
  for (uint64_t d = 0; d < ndims; ++d) {
    name("a dimension");
    const uint64_t length = in.number(count_bytes);
    if (length == 0) {
      if (layout.record_dim >= 0) throw Damaged{"it declares two record dimensions"};
      layout.record_dim = static_cast<int>(d);
    }
    layout.dim_lengths.push_back(length);
  }
  attributes("global attribute");
  const uint64_t nvars = list_count(kVariableTag, "variable");
  for (uint64_t v = 0; v < nvars; ++v) {
    ClassicLayout::Var var;
    name("a variable");
    const uint64_t rank = in.number(count_bytes);
    if (rank > 1024) throw Damaged{fmt::format("a variable has {} dimensions", rank)};
    for (uint64_t r = 0; r < rank; ++r) {
      const uint64_t id = in.number(count_bytes);
      if (id >= ndims) throw Damaged{fmt::format("a variable names dimension {} of {}", id, ndims)};
      if (static_cast<int>(id) == layout.record_dim && r != 0) {
        throw Damaged{"a variable has the record dimension other than first"};
      }
      var.dimids.push_back(id);
    }
    attributes("variable attribute");
    var.type = in.number(4);
    if (type_size(var.type, version) == 0) {
      throw Damaged{fmt::format("a variable has the unknown type {}", var.type)};
    }
    in.number(count_bytes);  // vsize: computed from the shape below, as the library does
    var.begin = in.number(offset_bytes);
    layout.vars.push_back(std::move(var));
  }
  layout.header_end = in.offset();
  return layout;
}

// The least size the file must have to hold every value its header declares.
uint64_t required_size(const ClassicLayout& layout) {
  uint64_t required = layout.header_end;
  struct Extent {
    uint64_t begin;
    uint64_t bytes;  // per record for record variables
  };
  std::vector<Extent> records;
  uint64_t record_size = 0;
  for (const ClassicLayout::Var& var : layout.vars) {
    const bool is_record =
        !var.dimids.empty() && static_cast<int>(var.dimids[0]) == layout.record_dim;
    uint64_t bytes = type_size(var.type, layout.version);
    for (std::size_t d = is_record ? 1 : 0; d < var.dimids.size(); ++d) {
      const uint64_t length = layout.dim_lengths[var.dimids[d]];
      if (length != 0 && bytes > UINT64_MAX / length)
        throw Damaged{"a variable is impossibly large"};
      bytes *= length;
    }
    if (bytes == 0) continue;
    if (var.begin < layout.header_end) {
      throw Damaged{
          fmt::format("a variable's data begins at byte {}, inside the header", var.begin)};
    }
    if (is_record) {
      records.push_back({var.begin, bytes});
      record_size += padded(bytes);
    } else {
      if (var.begin > UINT64_MAX - bytes) throw Damaged{"a variable lies beyond any file size"};
      required = std::max(required, var.begin + bytes);
    }
  }
  // One record variable alone is not padded.
  if (records.size() == 1) record_size = records[0].bytes;
  if (layout.numrecs != kStreaming && layout.numrecs > 0) {
    for (const Extent& extent : records) {
      const uint64_t last = layout.numrecs - 1;
      if (record_size != 0 && last > (UINT64_MAX - extent.begin - extent.bytes) / record_size) {
        throw Damaged{"its record count is impossibly large"};
      }
      required = std::max(required, extent.begin + last * record_size + extent.bytes);
    }
  }
  return required;
}

}  // namespace

void require_complete_classic_file(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return;  // the library's open reports it
  struct stat info {};
  char magic[4] = {};
  const bool classic = ::fstat(fd, &info) == 0 && ::pread(fd, magic, 4, 0) == 4 &&
                       std::memcmp(magic, "CDF", 3) == 0 &&
                       (magic[3] == 1 || magic[3] == 2 || magic[3] == 5);
  if (!classic) {
    ::close(fd);
    return;
  }
  const uint64_t file_size = static_cast<uint64_t>(info.st_size);
  std::string problem;
  uint64_t required = 0;
  try {
    HeaderReader in(fd, file_size);
    in.skip(4);
    required = required_size(parse(in, magic[3]));
  } catch (const Damaged& damaged) {
    problem = damaged.what;
  }
  ::close(fd);
  if (!problem.empty()) {
    throw FatalError::bad_input(path, "its classic netCDF header is damaged: " + problem);
  }
  if (file_size < required) {
    throw FatalError::bad_input(
        path, fmt::format("the file has {} bytes, but its header declares data up to byte {}: it "
                          "was cut short (an incomplete copy or download?)",
                          file_size, required));
  }
}

}  // namespace d2g
