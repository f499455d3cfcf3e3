// floor: the machine's I/O floor for a conversion. It reads the five input files once and writes
// files with the names and sizes of a converter run's products from a buffer already in memory,
// in large write() calls; nothing is computed. The benchmark compares the converter with it.
//
// Usage: floor THREADS OUT_DIR LIST INPUT...
//   LIST holds one "NAME SIZE" line per product file; THREADS (1 or 2) share the files.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::size_t kChunk = std::size_t{4} << 20;

void die(const std::string& what) {
  std::perror(what.c_str());
  std::exit(1);
}

void read_whole(const std::string& path, std::vector<char>& buffer) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) die(path);
  ssize_t n;
  while ((n = ::read(fd, buffer.data(), buffer.size())) > 0) {
  }
  if (n < 0) die(path);
  ::close(fd);
}

void write_file(const std::string& path, std::size_t size, const std::vector<char>& source) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) die(path);
  while (size > 0) {
    const std::size_t piece = std::min(size, source.size());
    const ssize_t written = ::write(fd, source.data(), piece);
    if (written <= 0) die(path);
    size -= static_cast<std::size_t>(written);
  }
  if (::close(fd) != 0) die(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: floor THREADS OUT_DIR LIST INPUT...\n");
    return 2;
  }
  const int threads = std::max(1, std::atoi(argv[1]));
  const std::string out = argv[2];
  std::vector<std::pair<std::string, std::size_t>> files;
  std::ifstream list(argv[3]);
  std::string name;
  std::size_t size;
  while (list >> name >> size) files.emplace_back(out + "/" + name, size);

  std::vector<char> buffer(kChunk);
  for (int i = 4; i < argc; ++i) read_whole(argv[i], buffer);

  std::vector<char> source(kChunk, 'x');
  std::vector<std::thread> workers;
  for (int w = 0; w < threads; ++w) {
    workers.emplace_back([&, w] {
      for (std::size_t f = static_cast<std::size_t>(w); f < files.size();
           f += static_cast<std::size_t>(threads)) {
        write_file(files[f].first, files[f].second, source);
      }
    });
  }
  for (std::thread& worker : workers) worker.join();
  return 0;
}
