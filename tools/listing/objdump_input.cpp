#include "objdump_input.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <new>
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

bool LooksLikeAtt(std::string_view text) { return FindChar(text, '%') != std::string_view::npos; }

constexpr size_t kNoSlot = SIZE_MAX;

// The state of one reading: the routine being filled, the section, and the
// next slot of the store. Instructions come already made from their lines
// (by several threads) and go into their slots later: the reader only
// decides which slot each takes, or that it takes none.
class Reader {
 public:
  explicit Reader(ObjdumpInput& out) : out_(out) {}

  void Finish() { facts_.Finish(out_); }

  // One line without its line end, of the kind ClassifyLine gives it; for an
  // instruction line, `ins` is the instruction made from it, and `slot`
  // becomes the store slot it goes to (kNoSlot: none). `suspect`: the
  // instruction's address or text may be wrong for a listing (found on the
  // thread that made it; the checks are made again here). False with
  // `error` filled on bad input.
  bool Take(std::string_view line, LineKind kind, bool suspect, SourceInstruction* ins, size_t& slot,
            size_t line_number, InputError& error) {
    // Most lines: an instruction of the routine being read.
    if (kind == LineKind::Instruction && !suspect && current_ && !in_headers_) {
      GiveSlot(*ins, slot);
      return true;
    }
    slot = kNoSlot;
    // Between a file's "file format" line and its disassembly come the
    // headers that -f and -p print: read for their facts only.
    if (in_headers_ && kind != LineKind::FileFormat && kind != LineKind::Section &&
        kind != LineKind::RoutineHeader && kind != LineKind::Archive) {
      facts_.Take(line);
      return true;
    }
    in_headers_ = kind == LineKind::FileFormat;
    std::string why;
    if (kind == LineKind::Instruction) {
      why = AddInstruction(*ins, suspect, slot);
    } else {
      // The other lines are few: taken apart again here, in order.
      ObjdumpLine parsed = ClassifyLine(line);
      why = Apply(parsed, line);
    }
    if (why.empty()) return true;
    error.Line = line_number;
    error.Message = std::move(why);
    return false;
  }

  // The slots below this one are taken.
  size_t Taken() const { return next_slot_; }

  // The current routine's last instruction, when it still lies among
  // `made` (a part's instructions, not yet in the store; `slots` says where
  // each goes), goes into its slot now: the part may be placed while the
  // reader still adds bytes or relocations to it.
  void Settle(std::vector<SourceInstruction>& made, std::vector<size_t>& slots) {
    std::less<const SourceInstruction*> before;
    if (!last_ || made.empty() || before(last_, made.data()) || !before(last_, made.data() + made.size())) return;
    slots[static_cast<size_t>(last_ - made.data())] = kNoSlot;
    last_ = ::new (out_.Store.Slot(last_slot_)) SourceInstruction(std::move(*last_));
  }

 private:
  // What is wrong with the line, or "".
  std::string Apply(ObjdumpLine& parsed, std::string_view line) {
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
        current_->Instructions = std::span<SourceInstruction>(out_.Store.Slot(next_slot_), 0);
        return "";
      case LineKind::Instruction:
        break;  // taken by AddInstruction
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

  std::string AddInstruction(SourceInstruction& ins, bool suspect, size_t& slot) {
    if (!current_) return "an instruction line before any routine header (\"00000000 <name>:\")";
    if (suspect && ins.Address > 0xFFFFFFFFu) return TooWide(ins.Address);
    if (suspect && LooksLikeAtt(ins.Text)) return kAtt;
    GiveSlot(ins, slot);
    return "";
  }

  // Gives the instruction the next slot of the store, which has a slot for
  // every line, and the current routine.
  void GiveSlot(SourceInstruction& ins, size_t& slot) {
    slot = next_slot_++;
    last_ = &ins;
    last_slot_ = slot;
    current_->Instructions = std::span<SourceInstruction>(current_->Instructions.data(),
                                                          current_->Instructions.size() + 1);
  }

  std::string AddBytes(const ObjdumpLine& parsed) {
    if (!current_ || current_->Instructions.empty())
      return "a line of instruction bytes without an instruction before it";
    for (uint8_t b : parsed.Bytes) last_->Bytes.push_back(b);
    return "";
  }

  void AddRelocation(const ObjdumpLine& parsed) {
    out_.HasRelocations = true;
    // objdump prints a relocation under the instruction whose bytes it
    // patches; one outside every routine concerns no instruction here.
    if (current_ && !current_->Instructions.empty())
      last_->Relocs.push_back(
          Relocation{parsed.Address, std::string(parsed.RelocType), std::string(parsed.RelocSymbol)});
  }

  void NoteZeroBlock() {
    if (!current_) return;
    std::string where = current_->Instructions.empty() ? "at its start" : "after " + Hex8(last_->Address);
    uint64_t after = current_->Instructions.empty() ? current_->Address : last_->Address;
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
  size_t next_slot_ = 0;
  // The current routine's last instruction: made from its line, or in its
  // slot once settled.
  SourceInstruction* last_ = nullptr;
  size_t last_slot_ = 0;
};

constexpr unsigned kPiecesPerThread = 32;

// A line's kind in a part, and a mark on an instruction whose address is
// too wide or whose text looks like AT&T syntax.
constexpr uint8_t kSuspect = 0x80;

// The lines of one piece of the text, taken apart.
struct Part {
  std::vector<std::string_view> Lines;  // without line ends
  std::vector<uint8_t> Kinds;           // LineKind, and kSuspect
  std::vector<SourceInstruction> Instructions;  // made from the instruction lines
  std::vector<size_t> Slots;                    // where each goes, or kNoSlot
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

// The lines of a piece: its line ends, and a last line without one.
size_t CountLines(std::string_view piece) {
  return CountChar(piece, '\n') + (!piece.empty() && piece.back() != '\n' ? 1 : 0);
}

// Takes the piece's lines apart into `part`, whose room from an earlier
// piece is used again; `line_number` is that of the piece's first line.
void ClassifyPart(std::string_view piece, size_t line_number, size_t lines, Part& part) {
  part.Lines.clear();
  part.Kinds.clear();
  part.Instructions.clear();
  part.Slots.clear();
  part.Lines.reserve(lines);
  part.Kinds.reserve(lines);
  part.Instructions.reserve(lines);
  size_t pos = 0;
  // Ends: every pass moves `pos` past one line end, or to the end of the piece.
  while (pos < piece.size()) {
    size_t end = FindChar(piece, '\n', pos);
    std::string_view line = piece.substr(pos, end == std::string_view::npos ? piece.size() - pos : end - pos);
    pos = end == std::string_view::npos ? piece.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ObjdumpLine parsed = ClassifyLine(line);
    part.Lines.push_back(line);
    bool suspect = parsed.Kind == LineKind::Instruction && (parsed.Address > 0xFFFFFFFFu || LooksLikeAtt(parsed.Text));
    part.Kinds.push_back(static_cast<uint8_t>(static_cast<uint8_t>(parsed.Kind) | (suspect ? kSuspect : 0)));
    if (parsed.Kind == LineKind::Instruction) {
      SourceInstruction& ins = part.Instructions.emplace_back();
      ins.Address = parsed.Address;
      ins.Bytes = std::move(parsed.Bytes);
      ins.Text = parsed.Text;
      ins.Line = static_cast<uint32_t>(std::min<size_t>(line_number, UINT32_MAX));
    }
    ++line_number;
  }
  part.Slots.assign(part.Instructions.size(), kNoSlot);
}

// Moves the part's instructions that the reader took into their slots;
// the part is empty afterwards.
void Place(Part& part, InstructionStore& store) {
  // Ends: one pass per instruction of the part.
  for (size_t k = 0; k < part.Instructions.size(); ++k)
    if (part.Slots[k] != kNoSlot) ::new (store.Slot(part.Slots[k])) SourceInstruction(std::move(part.Instructions[k]));
  part.Instructions.clear();
  part.Slots.clear();
}

}  // namespace

bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error, unsigned threads) {
  out = ObjdumpInput();
  threads = std::max(1u, threads);
  // Taking lines apart is the costly part and needs no state: every thread
  // takes the next piece apart, into one of a few rooms that serve again
  // and again. The reader (this thread) goes through the pieces in order and
  // gives each instruction its slot, and takes pieces apart itself while it
  // waits for the next. A piece's instructions go into their slots when its
  // room is wanted again, or at the end. No thread waits for another at
  // fixed points, so that a machine busy with other work costs little more
  // than one thread would.
  std::vector<std::string_view> pieces = Pieces(text, threads * kPiecesPerThread);
  std::vector<size_t> lines(pieces.size());
  ParallelRanges(pieces.size(), threads, [&](unsigned, size_t begin, size_t end) {
    for (size_t p = begin; p < end; ++p) lines[p] = CountLines(pieces[p]);
  });
  std::vector<size_t> first_line(pieces.size() + 1, 1);  // numbered from 1
  // Ends: one pass per piece.
  for (size_t p = 0; p < pieces.size(); ++p) first_line[p + 1] = first_line[p] + lines[p];
  // Every line may be an instruction: that many slots.
  out.Store.Reserve(first_line.back() - 1);
  Reader reader(out);

  const size_t rooms = 2 * threads + 2;
  std::vector<Part> parts(rooms);
  std::vector<std::atomic<size_t>> ready(rooms);  // the piece taken apart in a room, plus one; 0: none
  std::atomic<size_t> next{0};                    // the next piece to take apart
  std::atomic<size_t> read{0};                    // the pieces the reader went through
  std::atomic<bool> stop{false};
  // Takes the next piece apart. Its room held the piece `rooms` before it,
  // which goes into the store first; that one and the one after it (whose
  // reading may still add to the routine's last instruction, see Settle)
  // must have been read. Without `wait`, gives up when that is not so yet.
  // False when no piece is left.
  auto take_apart = [&](bool wait) {
    // Ends: every pass claims a piece and returns, or waits for the reader.
    for (;;) {
      size_t j = next.load();
      if (j >= pieces.size() || stop.load()) return false;
      size_t needed = j >= rooms ? j - rooms + 2 : 0;
      if (size_t done = read.load(); done < needed) {
        if (!wait) return false;
        read.wait(done);
        continue;
      }
      if (!next.compare_exchange_weak(j, j + 1)) continue;
      Part& part = parts[j % rooms];
      Place(part, out.Store);
      ClassifyPart(pieces[j], first_line[j], lines[j], part);
      ready[j % rooms].store(j + 1);
      ready[j % rooms].notify_all();
      return true;
    }
  };
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t)
    helpers.emplace_back([&] {
      while (take_apart(true)) {}  // Ends: when no piece is left
    });

  bool ok = true;
  // Ends: one pass per piece, or at bad input.
  for (size_t k = 0; k < pieces.size() && ok; ++k) {
    std::atomic<size_t>& room = ready[k % rooms];
    // Ends: when piece k is taken apart; its room is free or its taker busy.
    for (size_t in_room = room.load(); in_room != k + 1; in_room = room.load())
      if (!take_apart(false)) room.wait(in_room);
    Part& part = parts[k % rooms];
    size_t i_ins = 0;  // the part's next instruction
    size_t none = kNoSlot;
    // Ends: one pass per line of the piece, or at bad input.
    for (size_t i = 0; i < part.Lines.size() && ok; ++i) {
      auto kind = static_cast<LineKind>(part.Kinds[i] & ~kSuspect);
      bool instruction = kind == LineKind::Instruction;
      ok = reader.Take(part.Lines[i], kind, (part.Kinds[i] & kSuspect) != 0,
                       instruction ? &part.Instructions[i_ins] : nullptr, instruction ? part.Slots[i_ins] : none,
                       first_line[k] + i, error);
      i_ins += instruction;
    }
    // Once piece k is read, the piece before it may go into the store.
    if (k > 0) reader.Settle(parts[(k - 1) % rooms].Instructions, parts[(k - 1) % rooms].Slots);
    read.store(k + 1);
    read.notify_all();
  }
  stop.store(true);
  read.notify_all();
  for (std::thread& t : helpers) t.join();
  // What was taken goes into the store, after bad input too, so that every
  // routine read so far stays whole.
  for (Part& part : parts) Place(part, out.Store);
  out.Store.SetMade(reader.Taken());
  if (!ok) return false;
  reader.Finish();
  if (out.Routines.empty()) {
    error.Line = 0;
    error.Message = "no routine found; the input should be the output of objdump -d -M intel";
    return false;
  }
  return true;
}

}  // namespace asm2pas::objdump
