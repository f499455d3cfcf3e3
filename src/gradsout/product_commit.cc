#include "gradsout/product_commit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "gradsout/product_swap.h"

namespace d2g {

bool file_exists_in(const OutputDir& dir, const std::string& name) {
  struct stat info {};
  return ::fstatat(dir.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool file_holds(const OutputDir& dir, const std::string& name, std::string_view content) {
  struct stat info {};
  if (::fstatat(dir.fd(), name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) != content.size()) {
    return false;
  }
  const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::string found(content.size() + 1, '\0');
  std::size_t got = 0;
  ssize_t n;
  while (got < found.size() && (n = ::read(fd, found.data() + got, found.size() - got)) > 0) {
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == content.size() && found.compare(0, got, content) == 0;
}

void commit_product(const OutputDir& output, ProductCommit& commit,
                    const CommitSettings& settings) {
  auto step = [&](CommitStep done) {
    if (settings.on_commit_step) settings.on_commit_step(commit.product, done);
  };
  const bool map_current = !commit.map.empty()
                               ? file_holds(output, commit.map_name,
                                            std::string_view(commit.map.data(), commit.map.size()))
                               : !file_exists_in(output, commit.map_name);
  bool withdraw_others = false;
  for (const std::string& name : commit.withdrawn) withdraw_others |= file_exists_in(output, name);
  const bool withdraw_control =
      !map_current || withdraw_others || !file_holds(output, commit.control_name, commit.control);

  std::optional<PendingFile> control_file;
  if (withdraw_control) {
    control_file.emplace(output, commit.control_name, kControlUnit, settings.durable);
    control_file->write(commit.control.data(), commit.control.size());
    control_file->finish();
  }
  std::optional<PendingFile> map_file;
  if (!map_current && !commit.map.empty()) {
    map_file.emplace(output, commit.map_name, kMapUnit, settings.durable);
    map_file->write(commit.map.data(), commit.map.size());
    map_file->finish();
  }

  ProductSwap swap(output);
  if (withdraw_control) {
    swap.withdraw(commit.control_name, kControlUnit);
    step(CommitStep::kControlWithdrawn);
  }
  if (!map_current) {
    swap.withdraw(commit.map_name, kMapUnit);
    step(CommitStep::kMapWithdrawn);
  }
  for (const std::string& name : commit.withdrawn) {
    if (file_exists_in(output, name)) swap.withdraw(name, kDataUnit);
  }
  for (PendingFile* data : commit.data) {
    swap.put(*data);
    step(CommitStep::kDataReplaced);
  }
  if (map_file) {
    swap.put(*map_file);
    step(CommitStep::kMapReplaced);
  }
  if (control_file) {
    swap.put(*control_file);
    step(CommitStep::kControlReplaced);
  }
  swap.complete(settings.reaper);
  if (settings.durable) output.sync(commit.control_name, kControlUnit);
}

}  // namespace d2g
