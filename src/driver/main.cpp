// asm2pas: turns the fixed-column disassembly listing of one 32-bit x86
// routine into Pascal-like source on standard output. The one exit point:
// every diagnostic of a run is printed here, once.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/conversion.h"
#include "output/sink.h"

namespace {

constexpr const char* kHelp =
    "usage: asm2pas [--extended] LISTING\n"
    "Turns the fixed-column disassembly listing of one compiled 32-bit x86\n"
    "routine into Pascal-like source on standard output.\n"
    "\n"
    "  LISTING      the listing: one instruction a line, address in columns 1-8,\n"
    "               mnemonic from column 35, operands in Intel syntax, CR LF\n"
    "  --extended   read the layouts of today's compilers as well (Free Pascal,\n"
    "               gcc): their frames, loops, conditions and arithmetic\n"
    "  --help       print this text and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "Exit status 0 after a complete run, 1 after an error (one line on stderr).\n";

// Writes the text to standard output; the exit status.
int Print(const char* text) {
  if (std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0) return 0;
  const asm2pas::Diagnostic d{asm2pas::DiagKind::kCannotWrite, 0, 0, std::strerror(errno), {}};
  std::fprintf(stderr, "%s\n", asm2pas::FormatDiagnostic(asm2pas::kToolName, "", d).c_str());
  return 1;
}

bool Exists(const char* path) {
  struct stat info;
  return ::stat(path, &info) == 0;
}

// Converts the listing at `path` to standard output; the exit status.
int Convert(const std::string& path, const asm2pas::Reading& reading) {
  asm2pas::FdSink out(STDOUT_FILENO);
  asm2pas::Conversion conversion(path, out, reading);

  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    conversion.FailRead({asm2pas::DiagKind::kCannotOpen, 0, 0, std::strerror(errno), {}});
  } else {
    static char block[64 * 1024];
    // Ends: at the end of the file, at a read error, or when the reader
    // stops the run.
    for (;;) {
      ssize_t n = ::read(fd, block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        conversion.FailRead({asm2pas::DiagKind::kCannotRead, 0, 0, std::strerror(errno), {}});
        break;
      }
      if (n == 0 || !conversion.Feed(std::string_view(block, static_cast<size_t>(n)))) break;
    }
    ::close(fd);
  }

  asm2pas::ConversionResult result = conversion.Finish();
  if (!out.Flush() && result.Status == 0) {
    result.Status = 1;
    result.Diagnostics.push_back(
        {asm2pas::DiagKind::kCannotWrite, 0, 0, std::strerror(out.Error()), {}});
  }
  for (const std::string& line : asm2pas::Messages(result, path)) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
  }
  return result.Status;
}

}  // namespace

int main(int argc, char** argv) {
  // A run takes and gives back tables of the listing's size several times.
  // Kept in the heap, the pages a table gave back serve the next: returned
  // to the system, or mapped apart, each would be touched afresh, and a
  // first touch costs more than the instructions that fill it.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  if (argc == 2 && !Exists(argv[1])) {
    // A listing of that name comes first; only then are these options.
    const std::string_view arg = argv[1];
    if (arg == "--help") return Print(kHelp);
    if (arg == "--version") return Print("asm2pas " ASM2PAS_VERSION "\n");
  }
  if (argc == 3 && std::string_view(argv[1]) == "--extended") {
    return Convert(argv[2], asm2pas::ExtendedReading());
  }
  if (argc != 2) {
    std::fputs("usage: asm2pas LISTING\n", stderr);
    return 0;  // a wrong argument count writes nothing and is no failure
  }
  return Convert(argv[1], asm2pas::DefaultReading());
}
