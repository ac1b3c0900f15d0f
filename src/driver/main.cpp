// asm2pas: turns the fixed-column disassembly listing of one 32-bit x86
// routine into Pascal-like source on standard output. The one exit point:
// every diagnostic of a run is printed here, once.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "driver/conversion.h"
#include "output/sink.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: asm2pas LISTING\n", stderr);
    return 0;  // a wrong argument count writes nothing and is no failure
  }
  const std::string path = argv[1];
  asm2pas::FdSink out(STDOUT_FILENO);
  asm2pas::Conversion conversion(path, out);

  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    conversion.FailRead(std::string("cannot open: ") + std::strerror(errno));
  } else {
    static char block[64 * 1024];
    // Ends: at the end of the file, at a read error, or when the reader
    // stops the run.
    for (;;) {
      ssize_t n = ::read(fd, block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        conversion.FailRead(std::string("cannot read: ") + std::strerror(errno));
        break;
      }
      if (n == 0 || !conversion.Feed(std::string_view(block, static_cast<size_t>(n)))) break;
    }
    ::close(fd);
  }

  asm2pas::ConversionResult result = conversion.Finish();
  if (!out.Flush() && result.Status == 0) {
    result.Status = 1;
    result.Messages.push_back("asm2pas: " + path + ": cannot write to standard output: " +
                              std::string(std::strerror(out.Error())));
  }
  for (const std::string& line : result.Messages) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
  }
  return result.Status;
}
