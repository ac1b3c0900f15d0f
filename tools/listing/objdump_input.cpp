#include "objdump_input.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "header_facts.h"
#include "objdump_line.h"
#include "parallel.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// A file format that is not 32-bit x86 code; empty when the format is fine.
std::string RejectFormat(const std::string& format) {
  if (format.find("x86-64") != std::string::npos || format.find("elf64") != std::string::npos)
    return "the input holds x86-64 code (file format " + format +
           "); only 32-bit x86 code can be converted";
  if (format.find("i386") == std::string::npos)
    return "the input is not 32-bit x86 code (file format " + format + ")";
  return "";
}

bool LooksLikeAtt(std::string_view text) { return text.find('%') != std::string_view::npos; }

// The state of one reading: the routine being filled and the section.
class Reader {
 public:
  // `lines`: the instruction lines of the whole text.
  Reader(ObjdumpInput& out, size_t lines) : out_(out) { out_.Store.reserve(lines); }

  void Finish() { facts_.Finish(out_); }

  // One line without its line end; false with `error` filled on bad input.
  bool Take(std::string_view line, ObjdumpLine& parsed, size_t line_number, InputError& error) {
    // Between a file's "file format" line and its disassembly come the
    // headers that -f and -p print: read for their facts only.
    if (in_headers_ && parsed.Kind != LineKind::FileFormat && parsed.Kind != LineKind::Section &&
        parsed.Kind != LineKind::RoutineHeader && parsed.Kind != LineKind::Archive) {
      facts_.Take(line);
      return true;
    }
    in_headers_ = parsed.Kind == LineKind::FileFormat;
    std::string why = Apply(parsed, line, line_number);
    if (why.empty()) return true;
    error.Line = line_number;
    error.Message = std::move(why);
    return false;
  }

 private:
  // What is wrong with the line, or "".
  std::string Apply(ObjdumpLine& parsed, std::string_view line, size_t line_number) {
    switch (parsed.Kind) {
      case LineKind::Blank:
        return "";
      case LineKind::FileFormat:
        current_ = nullptr;
        facts_.Finish(out_);
        if (StartsWith(parsed.Name, "pe-") || StartsWith(parsed.Name, "pei-")) out_.Coff = true;
        return RejectFormat(std::string(parsed.Name));
      case LineKind::Archive:
        current_ = nullptr;
        return "";
      case LineKind::Section:
        section_ = std::string(parsed.Name);
        current_ = nullptr;
        return "";
      case LineKind::RoutineHeader:
        if (parsed.Address > 0xFFFFFFFFu) return TooWide(parsed.Address);
        out_.Routines.push_back(
            Routine{std::string(parsed.Name), parsed.Address, section_, {}, {}, parsed.Name == section_});
        current_ = &out_.Routines.back();
        current_->Instructions = std::span<SourceInstruction>(out_.Store.data() + out_.Store.size(), 0);
        return "";
      case LineKind::Instruction:
        return AddInstruction(parsed, line_number);
      case LineKind::MoreBytes:
        return AddBytes(parsed);
      case LineKind::Relocation:
        AddRelocation(parsed);
        return "";
      case LineKind::ZeroBlock:
        NoteZeroBlock();
        return "";
      case LineKind::Other:
        return OtherLine(line);
    }
    return "";
  }

  static std::string TooWide(uint64_t address) {
    return "the address " + Hex8(address) + " does not fit in 32 bits";
  }

  std::string AddInstruction(ObjdumpLine& parsed, size_t line_number) {
    if (!current_) return "an instruction line before any routine header (\"00000000 <name>:\")";
    if (parsed.Address > 0xFFFFFFFFu) return TooWide(parsed.Address);
    if (LooksLikeAtt(parsed.Text)) return kAtt;
    // Store has room for every instruction line: it never moves.
    SourceInstruction& ins = out_.Store.emplace_back();
    ins.Address = parsed.Address;
    ins.Bytes = std::move(parsed.Bytes);
    ins.Text = parsed.Text;
    ins.Line = line_number;
    current_->Instructions = std::span<SourceInstruction>(current_->Instructions.data(),
                                                          current_->Instructions.size() + 1);
    return "";
  }

  std::string AddBytes(const ObjdumpLine& parsed) {
    if (!current_ || current_->Instructions.empty())
      return "a line of instruction bytes without an instruction before it";
    InstructionBytes& bytes = current_->Instructions.back().Bytes;
    for (uint8_t b : parsed.Bytes) bytes.push_back(b);
    return "";
  }

  void AddRelocation(const ObjdumpLine& parsed) {
    out_.HasRelocations = true;
    // objdump prints a relocation under the instruction whose bytes it
    // patches; one outside every routine concerns no instruction here.
    if (current_ && !current_->Instructions.empty())
      current_->Instructions.back().Relocs.push_back(
          Relocation{parsed.Address, std::string(parsed.RelocType), std::string(parsed.RelocSymbol)});
  }

  void NoteZeroBlock() {
    if (!current_) return;
    std::string where = current_->Instructions.empty()
                            ? "at its start"
                            : "after " + Hex8(current_->Instructions.back().Address);
    uint64_t after = current_->Instructions.empty() ? current_->Address
                                                    : current_->Instructions.back().Address;
    current_->Notes.push_back(Note{after, "objdump left out a block of zero bytes " + where +
                                              " (disassemble with objdump -z to see them)"});
  }

  std::string OtherLine(std::string_view line) {
    if (current_)
      return "not a line of objdump -d -M intel output (source or line-number lines from -S or -l cannot be read): \"" +
             std::string(line) + "\"";
    // Outside a routine objdump prints little else, but a stray line
    // there does not concern any instruction.
    if (line.find('%') != std::string_view::npos) return kAtt;
    return "";
  }

  static constexpr const char* kAtt = "the input is in AT&T syntax; disassemble with objdump -d -M intel";
  ObjdumpInput& out_;
  HeaderFacts facts_;
  bool in_headers_ = false;
  std::string section_;
  Routine* current_ = nullptr;
};

constexpr unsigned kPiecesPerThread = 16;

// The lines of one part of the text, taken apart.
struct Part {
  std::vector<std::string_view> Lines;  // without line ends
  std::vector<ObjdumpLine> Parsed;
};

// Cuts `text` into `parts` pieces at line ends.
std::vector<std::string_view> Pieces(std::string_view text, unsigned parts) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  // Ends: every pass moves `pos` forward to a line end or the end of the text.
  for (unsigned p = 1; p <= parts && pos < text.size(); ++p) {
    size_t end = p == parts ? text.size() : std::max(pos, text.size() * p / parts);
    end = end >= text.size() ? text.size() : text.find('\n', end);
    end = end == std::string_view::npos ? text.size() : end + 1;
    out.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

// Takes the piece's lines apart into `part`, whose room from an earlier
// piece is used again.
void ClassifyPart(std::string_view piece, Part& part) {
  part.Lines.clear();
  part.Parsed.clear();
  size_t lines = static_cast<size_t>(std::count(piece.begin(), piece.end(), '\n')) + 1;
  part.Lines.reserve(lines);
  part.Parsed.reserve(lines);
  size_t pos = 0;
  // Ends: every pass moves `pos` past one line end, or to the end of the piece.
  while (pos < piece.size()) {
    size_t end = piece.find('\n', pos);
    std::string_view line = piece.substr(pos, end == std::string_view::npos ? piece.size() - pos : end - pos);
    pos = end == std::string_view::npos ? piece.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    part.Lines.push_back(line);
    part.Parsed.push_back(ClassifyLine(line));
  }
}

}  // namespace

bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error, unsigned threads) {
  out = ObjdumpInput();
  threads = std::max(1u, threads);
  // Taking lines apart is the costly part and needs no state: on all
  // threads, a few pieces at a time, so that the room for the taken-apart
  // lines serves again. Putting them together into routines follows, in
  // order. Every line may be an instruction: that much room in the store.
  Reader reader(out, static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
  std::vector<std::string_view> pieces = Pieces(text, threads * kPiecesPerThread);
  size_t waves = (pieces.size() + threads - 1) / threads;
  auto classify = [&](size_t wave, std::vector<Part>& parts) {
    size_t first = wave * threads;
    size_t count = std::min<size_t>(threads, pieces.size() - first);
    ParallelRanges(count, static_cast<unsigned>(count), [&](unsigned, size_t begin, size_t end) {
      for (size_t p = begin; p < end; ++p) ClassifyPart(pieces[first + p], parts[p]);
    });
    return count;
  };
  std::vector<Part> current(threads), next(threads);
  size_t count = waves ? classify(0, current) : 0;
  size_t line_number = 0;
  // Ends: every pass puts one wave of pieces together while the next one is
  // taken apart.
  for (size_t wave = 0; wave < waves; ++wave) {
    size_t next_count = 0;
    std::thread ahead;
    if (wave + 1 < waves) ahead = std::thread([&] { next_count = classify(wave + 1, next); });
    bool ok = true;
    // Ends: one pass per line of the wave's pieces, or at bad input.
    for (size_t p = 0; p < count && ok; ++p)
      for (size_t i = 0; i < current[p].Lines.size() && ok; ++i)
        ok = reader.Take(current[p].Lines[i], current[p].Parsed[i], ++line_number, error);
    if (ahead.joinable()) ahead.join();
    if (!ok) return false;
    std::swap(current, next);
    count = next_count;
  }
  reader.Finish();
  if (out.Routines.empty()) {
    error.Line = 0;
    error.Message = "no routine found; the input should be the output of objdump -d -M intel";
    return false;
  }
  return true;
}

}  // namespace asm2pas::objdump
