// libFuzzer target over asm2pas-listing's reader: the input bytes are
// objdump text; it is read, its routine starts are found, and every routine
// is written as a listing, with its file name, its .pas comment block and
// its HTML. A run that breaks one of the rules below aborts, so it counts
// as a finding like a crash, a sanitizer report or a hang.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "html.h"
#include "listing_writer.h"
#include "objdump_input.h"
#include "pas_file.h"
#include "relocations.h"
#include "routine_starts.h"

namespace {

using namespace asm2pas::objdump;

[[noreturn]] void Broken(const char* rule, std::string_view text) {
  std::fprintf(stderr, "broken rule: %s\n%.*s\n", rule, static_cast<int>(text.size()), text.data());
  std::abort();
}

// Every listing line ends in CR LF, holds no other CR or LF, and is a
// comment line or has eight hexadecimal digits, then the mnemonic at
// column 35.
void CheckListing(std::string_view listing) {
  size_t pos = 0;
  // Ends: every pass moves past one line end.
  while (pos < listing.size()) {
    size_t end = listing.find("\r\n", pos);
    if (end == std::string_view::npos) Broken("a listing line without CR LF", listing.substr(pos));
    std::string_view line = listing.substr(pos, end - pos);
    if (line.find_first_of("\r\n") != std::string_view::npos) Broken("a line end inside a line", line);
    if (line.empty() || line.front() != '*') {
      if (line.size() < 35 || line.find_first_not_of("0123456789ABCDEF") != 8 || line[34] == ' ')
        Broken("a line out of its columns", line);
    }
    pos = end + 2;
  }
}

void CheckRoutine(const Routine& r, const SymbolTable& symbols) {
  CheckListing(ConvertRoutine(r, symbols).Text);
  std::string file = FileNameFor(r.Name);
  if (file.find('/') != std::string::npos || file.front() == '.') Broken("a file name leaves DIR", file);
  std::string header = PasHeader(PasHeading{r.Name, r.Address, r.Address, r.Instructions.size(), {{r.Name, r.Name}}});
  if (header.find('}') != header.size() - 3 || header.find('{', 1) != std::string::npos)
    Broken("a text ends the comment block", header);
  if (EscapeHtml(r.Name).find_first_of("<>\"'") != std::string::npos)
    Broken("a name reaches the HTML unescaped", r.Name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  ObjdumpInput input;
  InputError error;
  if (!ReadObjdump(text, input, error)) return 0;
  FindRoutineStarts(input);
  SymbolTable symbols = CollectSymbols(input);
  for (const Routine& r : input.Routines)
    if (!r.Instructions.empty()) CheckRoutine(r, symbols);
  return 0;
}
