// asm2pas-listing: reads the output of `objdump -d -M intel` for a 32-bit
// x86 program or object file and writes listings in the fixed-column form
// asm2pas reads -- one routine to standard output, or every routine into a
// directory. All messages are printed here.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "input_file.h"
#include "listing_writer.h"
#include "objdump_input.h"
#include "relocations.h"
#include "call_names.h"
#include "routine_starts.h"
#include "text.h"
#include "parallel.h"
#include "whole_program.h"

namespace {

using namespace asm2pas::objdump;

const char kHelp[] =
    "usage: asm2pas-listing [OPTION] [INPUT]\n"
    "\n"
    "Reads the output of `objdump -d -M intel` (or `objdump -dr -M intel`) for a\n"
    "32-bit x86 program or object file, ELF or PE, from INPUT, or from standard\n"
    "input when INPUT is absent or \"-\", and writes listings in the fixed-column\n"
    "form that asm2pas reads. For a whole program, `objdump -d -f -p -M intel`\n"
    "adds the entry point and a PE file's export table.\n"
    "\n"
    "Options:\n"
    "  -r, --routine NAME|ADDRESS  write the routine with this symbol name, or the\n"
    "                              one starting at this hexadecimal address, to\n"
    "                              standard output\n"
    "  -d, --dir DIRECTORY         write every routine into DIRECTORY (made when\n"
    "                              missing), one file NAME.lst each\n"
    "  -p, --pas DIRECTORY         convert a whole program: for every routine\n"
    "                              NAME.lst, NAME.pas (a comment block with the\n"
    "                              routine, its addresses and the generated names,\n"
    "                              then what asm2pas prints for NAME.lst), pages\n"
    "                              routines-NNNN.html that show both side by side,\n"
    "                              and the index of all routines as index.txt and\n"
    "                              index.html\n"
    "      --extended              with --pas: convert with asm2pas --extended\n"
    "  -l, --list                  list the routines: address, instructions, name\n"
    "  -h, --help                  show this text\n"
    "Without an option the input must hold exactly one routine, which goes to\n"
    "standard output.\n"
    "\n"
    "The listing: one line per instruction, CR LF line ends; the address in\n"
    "columns 1-8, the instruction bytes up to column 34, the mnemonic from column\n"
    "35 in lower case, then the operands separated by \", \". Numbers are written\n"
    "as \"$\" and upper-case digits ([ebp-$04], $0A); absolute operands in brackets\n"
    "(ds:0x804a01c becomes [$0804A01C]); immediates the processor sign-extends\n"
    "from one byte as negative numbers (add esp,0xfffffff8 becomes add esp, -$08);\n"
    "jump targets as bare eight-digit addresses; je, jne, jg, jge, ja and jae as\n"
    "jz, jnz, jnle, jnl, jnbe and jnb; call targets as the symbol objdump shows.\n"
    "A js or jns right after a compare with zero becomes jl or jnl, which is what\n"
    "it means there. Scales of one (*1) and the hint prefixes bnd and notrack, rep\n"
    "before ret and cs or ds before a conditional jump are dropped: they change\n"
    "nothing the instruction does. Alignment filler after a ret or jmp that no\n"
    "jump reaches (nop, lea esi,[esi+eiz*1+0x0], ...) is written as a comment line\n"
    "\"* padding: ...\", which asm2pas skips.\n"
    "\n"
    "Stripped programs: where the input names no routines (one header per\n"
    "section) or only some (a library's exports), the routines are found: the\n"
    "entry point, exported routines, direct call targets, and code after a ret or\n"
    "jmp that begins a routine without being reached by the jumps of the routine\n"
    "before it. Found routines are called sub_ADDRESS, the entry point entry.\n"
    "Zero bytes and filler after a routine's last ret or jmp are written as\n"
    "\"* padding: ...\" lines, an instruction objdump decoded from zero bytes and\n"
    "a routine's first bytes together as \"* out of step: ...\".\n"
    "\n"
    "Object files: disassemble them with objdump -dr, so that the relocations name\n"
    "the routines the calls go to. An absolute operand whose address a relocation\n"
    "fills in is written with the symbol in place of the unknown address,\n"
    "[$g_total] or [$g_table+$08], so that asm2pas gives every global a name of\n"
    "its own instead of one name for all the globals at offset 0.\n"
    "\n"
    "Jumps asm2pas cannot follow: asm2pas accepts only jumps to a bare address.\n"
    "An indirect jump (jmp eax, jmp dword ptr [...]), a far jump, or a jump to a\n"
    "symbol whose address the input does not give is written with an \"i\" before\n"
    "its mnemonic (ijmp eax), which asm2pas does not take for a jump: it appears in\n"
    "asm2pas's output as a comment line (//ijmp eax, , ), in its place, and a\n"
    "warning on standard error names each one. Nothing is left out silently.\n"
    "\n"
    "Messages go to standard error: \"asm2pas-listing: warning: ...\" for what the\n"
    "user must know, \"asm2pas-listing: ...\" for errors. Exit status: 0 when the\n"
    "listings were written (warnings or not), 1 on bad input or a failed read or\n"
    "write, 2 on a bad command line.\n";

constexpr char kName[] = "asm2pas-listing";

enum class Mode { One, Routine, Dir, List, Pas };

struct Options {
  Mode Chosen = Mode::One;
  std::string ModeArg;        // the routine or the directory
  std::string Input = "-";    // "-": standard input
  bool Help = false;
  bool Extended = false;      // --pas converts with the extended reading
};


int Usage(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n%s: try --help\n", kName, message.c_str(), kName);
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kName, message.c_str());
  return 1;
}

void Warn(const std::string& message) { std::fprintf(stderr, "%s: warning: %s\n", kName, message.c_str()); }

// The routine a --routine argument names: by symbol name first, then by
// start address. Empty with `error` set when it names none or several.
const Routine* FindRoutine(const ObjdumpInput& input, const std::string& wanted, std::string& error) {
  std::vector<const Routine*> found;
  for (const Routine& r : input.Routines)
    if (r.Name == wanted) found.push_back(&r);
  if (found.empty()) {
    std::string digits = wanted;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits.erase(0, 2);
    else if (digits.rfind("$", 0) == 0) digits.erase(0, 1);
    if (std::optional<uint64_t> address = ParseHex(digits))
      for (const Routine& r : input.Routines)
        if (r.Address == *address) found.push_back(&r);
  }
  if (found.size() == 1) return found.front();
  if (found.empty()) {
    error = "no routine named or starting at \"" + wanted + "\" (--list shows the routines)";
  } else {
    error = "\"" + wanted + "\" names " + std::to_string(found.size()) + " routines, at";
    for (const Routine* r : found) {
      error.append(" ").append(Hex8(r->Address)).append(" (").append(r->Section).append(")");
    }
    error += "; choose one by its address";
  }
  return nullptr;
}

bool WriteStdout(const std::string& text) {
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) return false;
  return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

int WriteOne(const ObjdumpInput& input, const Routine& routine) {
  if (routine.Instructions.empty()) return Fail("routine " + routine.Name + " holds no instructions");
  RoutineListing listing = ConvertRoutine(routine, CollectSymbols(input));
  for (const std::string& w : listing.Warnings) Warn(w);
  if (!WriteStdout(listing.Text)) return Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
  return 0;
}

bool MakeDirectory(const std::string& dir, std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (!ec && std::filesystem::is_directory(dir)) return true;
  error = dir + ": cannot make the directory" + (ec ? ": " + ec.message() : std::string());
  return false;
}

int WriteAll(const ObjdumpInput& input, const std::string& dir) {
  if (std::string error; !MakeDirectory(dir, error)) return Fail(error);
  SymbolTable symbols = CollectSymbols(input);
  std::vector<std::string> files = BaseFileNames(input.Routines);
  // Ends: one pass per routine.
  for (size_t i = 0; i < input.Routines.size(); ++i) {
    const Routine& r = input.Routines[i];
    if (r.Instructions.empty()) {
      Warn(r.Name + ": holds no instructions; no file written for it");
      continue;
    }
    std::string file = files[i] + ".lst";
    RoutineListing listing = ConvertRoutine(r, symbols);
    for (const std::string& w : listing.Warnings) Warn(w);
    std::filesystem::path path = std::filesystem::path(dir) / file;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << listing.Text;
    out.close();
    if (!out) return Fail(path.string() + ": cannot write");
  }
  return 0;
}

int WriteProgram(const ObjdumpInput& input, const Options& options) {
  if (std::string error; !MakeDirectory(options.ModeArg, error)) return Fail(error);
  // Ends: one pass per routine.
  for (const Routine& r : input.Routines)
    if (r.Instructions.empty()) Warn(r.Name + ": holds no instructions; no file written for it");
  WholeProgramOptions run;
  run.Dir = options.ModeArg;
  run.Title = options.Input == "-" ? "standard input" : options.Input;
  if (options.Extended) run.Read = &asm2pas::ExtendedReading();
  WholeProgramResult result = ConvertWholeProgram(input, run);
  for (const std::string& e : result.Errors) std::fprintf(stderr, "%s: %s\n", kName, e.c_str());
  std::fprintf(stderr, "%s: %zu routines converted, %zu failed, %zu warnings; the index is %s/index.html\n",
               kName, result.Routines, result.Failed, result.Warnings, options.ModeArg.c_str());
  return result.Errors.empty() ? 0 : 1;
}

int List(const ObjdumpInput& input) {
  std::string text;
  for (const Routine& r : input.Routines)
    text += Hex8(r.Address) + "  " + std::to_string(r.Instructions.size()) + "  " + r.Name + "\n";
  if (!WriteStdout(text)) return Fail(std::string("cannot write to standard output: ") + std::strerror(errno));
  return 0;
}

// The command line into `options`; a non-empty result is the usage error.
std::string ParseCommandLine(int argc, char** argv, Options& options) {
  bool have_input = false;
  int modes = 0;
  // Ends: every pass takes one or two arguments.
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-h" || arg == "--help") {
      options.Help = true;
      return "";
    }
    if (arg == "-r" || arg == "--routine" || arg == "-d" || arg == "--dir" || arg == "-p" || arg == "--pas") {
      if (i + 1 >= argc) return arg + " needs a value";
      options.Chosen = (arg == "-r" || arg == "--routine") ? Mode::Routine
                       : (arg == "-d" || arg == "--dir")   ? Mode::Dir
                                                           : Mode::Pas;
      options.ModeArg = argv[++i];
      ++modes;
    } else if (arg == "--extended") {
      options.Extended = true;
    } else if (arg == "-l" || arg == "--list") {
      options.Chosen = Mode::List;
      ++modes;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      return "unknown option " + arg;
    } else {
      if (have_input) return "more than one input given";
      options.Input = arg;
      have_input = true;
    }
  }
  if (modes > 1) return "give at most one of --routine, --dir, --pas and --list";
  if (options.Extended && options.Chosen != Mode::Pas) return "--extended goes with --pas";
  return "";
}

int Run(const Options& options, const ObjdumpInput& input) {
  switch (options.Chosen) {
    case Mode::List:
      return List(input);
    case Mode::Dir:
      return WriteAll(input, options.ModeArg);
    case Mode::Pas:
      return WriteProgram(input, options);
    case Mode::Routine: {
      std::string error;
      const Routine* r = FindRoutine(input, options.ModeArg, error);
      if (!r) return Fail(error);
      return WriteOne(input, *r);
    }
    case Mode::One:
      if (input.Routines.size() != 1)
        return Fail("the input holds " + std::to_string(input.Routines.size()) +
                    " routines; choose one with --routine, or write them all with --dir "
                    "(--list shows them)");
      return WriteOne(input, input.Routines.front());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (std::string usage = ParseCommandLine(argc, argv, options); !usage.empty()) return Usage(usage);
  if (options.Help) {
    std::fputs(kHelp, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  InputText text;
  std::string error;
  if (!text.Read(options.Input, error)) return Fail(error);
  ObjdumpInput input;
  InputError bad;
  if (!ReadObjdump(text.View(), input, bad, Cores())) {
    std::string where = options.Input == "-" ? "standard input" : options.Input;
    if (bad.Line) where += ":" + std::to_string(bad.Line);
    return Fail(where + ": " + bad.Message);
  }
  FindRoutineStarts(input);
  NameCallTargets(input);
  int rc = Run(options, input);
  // What main holds is freed by the system at once; freeing it piece by
  // piece takes long on a large program.
  std::fflush(nullptr);
  std::_Exit(rc);
}
