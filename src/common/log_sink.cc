#include "common/log_sink.h"

#include <unistd.h>

#include <cerrno>

namespace d2g {

int LogSink::sync() {
  const char* next = pbase();
  while (next < pptr() && error_ == 0) {
    const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      break;
    }
    next += written;
  }
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  return error_ == 0 ? 0 : -1;
}

LogSink::int_type LogSink::overflow(int_type ch) {
  if (sync() != 0) return traits_type::eof();
  if (!traits_type::eq_int_type(ch, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
  }
  return traits_type::not_eof(ch);
}

}  // namespace d2g
