#include "output/sink.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

namespace asm2pas {

namespace {
constexpr size_t kBlock = 64 * 1024;
}

FdSink::FdSink(int fd) : fd_(fd) {
  // Room for a block and the line that fills it, so that the buffer is not
  // copied as it grows (only an unusually long line grows it further).
  buffer_.reserve(kBlock + 4096);
}

bool Sink::WriteLine(size_t spaces, std::string_view line) {
  std::string bytes(spaces, ' ');
  bytes.append(line).append("\r\n");
  return Write(bytes);
}

bool FdSink::WriteLine(size_t spaces, std::string_view line) {
  if (error_ != 0) return false;
  AppendLine(buffer_, spaces, line);
  if (buffer_.size() >= kBlock) return Flush();
  return true;
}

bool FdSink::Write(std::string_view bytes) {
  if (error_ != 0) return false;
  buffer_.append(bytes);
  if (buffer_.size() >= kBlock) return Flush();
  return true;
}

bool FdSink::Flush() {
  if (error_ != 0) return false;
  size_t done = 0;
  // Ends: every pass either writes at least one byte or fails and returns;
  // an interrupted write is retried.
  while (done < buffer_.size()) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      buffer_.clear();
      return false;
    }
    done += static_cast<size_t>(n);
  }
  buffer_.clear();
  return true;
}

}  // namespace asm2pas
