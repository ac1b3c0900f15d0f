#include "input_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace asm2pas::objdump {
namespace {

// Reads the descriptor to its end into `text`; false on a failed read.
bool ReadStream(int fd, std::string& text) {
  // Ends: at the end of the input or a failed read.
  for (char block[1 << 16];;) {
    ssize_t got = ::read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    text.append(block, static_cast<size_t>(got));
  }
}

// A mapped file that another program cuts short while it is read takes
// its pages away: the run ends with one message instead of a crash.
char fault_message[512];
size_t fault_length = 0;

void OnLostPage(int) {
  ssize_t ignored = ::write(STDERR_FILENO, fault_message, fault_length);
  (void)ignored;
  ::_exit(1);
}

void WatchMappedFile(const std::string& path) {
  std::string message = "asm2pas-listing: " + path + ": the file was cut short while it was read\n";
  fault_length = std::min(message.size(), sizeof fault_message);
  std::memcpy(fault_message, message.data(), fault_length);
  struct sigaction action {};
  action.sa_handler = OnLostPage;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

}  // namespace

InputText::~InputText() {
  if (mapped_) ::munmap(const_cast<char*>(mapped_), size_);
}

bool InputText::Read(const std::string& path, std::string& error) {
  if (path == "-") {
    if (ReadStream(STDIN_FILENO, read_)) return true;
    error = "cannot read standard input";
    return false;
  }
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + ": is a directory";
    return false;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
    size_ = static_cast<size_t>(st.st_size);
    void* at = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (at != MAP_FAILED) {
      mapped_ = static_cast<const char*>(at);
      WatchMappedFile(path);
      ::close(fd);
      return true;
    }
  }
  bool ok = ReadStream(fd, read_);
  ::close(fd);
  if (!ok) error = path + ": cannot read";
  return ok;
}

}  // namespace asm2pas::objdump
