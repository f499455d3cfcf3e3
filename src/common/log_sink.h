// LogSink: the stream buffer behind the progress log. It writes to a file descriptor in large
// pieces and remembers why a write failed, so that a lost log can be reported with its cause.
#pragma once

#include <streambuf>
#include <vector>

namespace d2g {

class LogSink : public std::streambuf {
 public:
  explicit LogSink(int fd) : fd_(fd), buffer_(std::size_t{1} << 16) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
  }
  ~LogSink() override { sync(); }
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;

  // The errno of the first failed write, 0 while every write has succeeded.
  int error() const { return error_; }

 protected:
  int sync() override;
  int_type overflow(int_type ch) override;

 private:
  int fd_;
  std::vector<char> buffer_;
  int error_ = 0;
};

}  // namespace d2g
