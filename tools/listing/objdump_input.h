// Gathers the routines of a whole `objdump -d -M intel` text: every routine
// header with the instruction lines under it, wrapped byte lines joined to
// their instruction, relocation lines (objdump -r) attached to the
// instruction they patch; from the headers of -f and -p, the entry point
// and a PE file's exported routines. Rejects text that is not such output.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace asm2pas::objdump {

struct Relocation {
  uint64_t Offset = 0;  // address of the patched bytes
  std::string Type;     // R_386_32, R_386_PC32, ...
  std::string Symbol;   // as objdump shows it
};

// The bytes of one instruction, kept in place: x86 instructions hold at
// most 15. Longer runs (only text that is no real disassembly has them)
// move to the heap, all of them.
class InstructionBytes {
 public:
  InstructionBytes() = default;
  InstructionBytes(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) push_back(b);
  }
  InstructionBytes(const InstructionBytes& other) { *this = other; }
  InstructionBytes& operator=(const InstructionBytes& other) {
    if (this == &other) return *this;
    std::copy(other.in_place_, other.in_place_ + kInPlace, in_place_);
    size_ = other.size_;
    heap_ = other.heap_ ? std::make_unique<std::vector<uint8_t>>(*other.heap_) : nullptr;
    return *this;
  }
  InstructionBytes(InstructionBytes&&) noexcept = default;
  InstructionBytes& operator=(InstructionBytes&&) noexcept = default;

  void push_back(uint8_t b) {
    if (!heap_ && size_ < kInPlace) {
      in_place_[size_++] = b;
      return;
    }
    if (!heap_) heap_ = std::make_unique<std::vector<uint8_t>>(in_place_, in_place_ + size_);
    heap_->push_back(b);
  }
  const uint8_t* begin() const { return heap_ ? heap_->data() : in_place_; }
  const uint8_t* end() const { return begin() + size(); }
  size_t size() const { return heap_ ? heap_->size() : size_; }
  bool empty() const { return size() == 0; }
  uint8_t operator[](size_t i) const { return begin()[i]; }
  uint8_t front() const { return begin()[0]; }
  uint8_t back() const { return begin()[size() - 1]; }

 private:
  static constexpr size_t kInPlace = 15;
  uint8_t in_place_[kInPlace] = {};
  uint8_t size_ = 0;  // of the bytes in place
  std::unique_ptr<std::vector<uint8_t>> heap_;
};

// The relocations of one instruction. Most instructions have none: a
// pointer's room until the first comes.
class Relocations {
 public:
  Relocations() = default;
  Relocations(std::initializer_list<Relocation> list) : Relocations(std::vector<Relocation>(list)) {}
  // Not explicit: a list of relocations is what it holds.
  Relocations(std::vector<Relocation> list)
      : list_(list.empty() ? nullptr : std::make_unique<std::vector<Relocation>>(std::move(list))) {}
  Relocations(const Relocations& other) { *this = other; }
  Relocations& operator=(const Relocations& other) {
    if (this != &other) list_ = other.list_ ? std::make_unique<std::vector<Relocation>>(*other.list_) : nullptr;
    return *this;
  }
  Relocations(Relocations&&) noexcept = default;
  Relocations& operator=(Relocations&&) noexcept = default;

  void push_back(Relocation r) {
    if (!list_) list_ = std::make_unique<std::vector<Relocation>>();
    list_->push_back(std::move(r));
  }
  bool empty() const { return !list_; }
  size_t size() const { return list_ ? list_->size() : 0; }
  const Relocation* begin() const { return list_ ? list_->data() : nullptr; }
  const Relocation* end() const { return begin() + size(); }
  const Relocation& operator[](size_t i) const { return (*list_)[i]; }

 private:
  std::unique_ptr<std::vector<Relocation>> list_;
};

// 64 bytes on a 64-bit system: a whole program holds hundreds of thousands.
struct SourceInstruction {
  uint64_t Address = 0;
  InstructionBytes Bytes;      // empty when objdump did not show them
  // Mnemonic and operands as objdump wrote them: a view into the text
  // given to ReadObjdump, which must outlive the input read from it.
  std::string_view Text;
  Relocations Relocs;
  uint32_t Line = 0;           // line number in the input, from 1 (at most 2^32 - 1)
  // objdump decoded it from zero bytes before a routine and the routine's
  // first bytes together: a routine starts inside it.
  bool OutOfStep = false;
};

struct Note {
  uint64_t Address = 0;  // the instruction it follows, or the routine's start
  std::string Text;
};

struct Routine {
  std::string Name;
  uint64_t Address = 0;
  std::string Section;
  // A part of ObjdumpInput::Store.
  std::span<SourceInstruction> Instructions;
  std::vector<Note> Notes;  // things the user must hear about
  // objdump's header names the section, not a routine: the input has no
  // symbol for this code (a stripped program).
  bool Unnamed = false;
};

struct Export {
  std::string Name;
  uint64_t Address = 0;
};

// Room for a fixed number of instructions, got once and never moved, so
// that routines can be spans of it. Instructions are made in it in runs of
// slots, several runs at once on different threads; the slots below
// Made() hold instructions.
class InstructionStore {
 public:
  InstructionStore() = default;
  InstructionStore(InstructionStore&& other) noexcept { *this = std::move(other); }
  InstructionStore& operator=(InstructionStore&& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(made_, other.made_);
    return *this;
  }
  ~InstructionStore() {
    std::destroy(data_, data_ + made_);
    std::allocator<SourceInstruction>().deallocate(data_, capacity_);
  }
  // Room for `capacity` instructions; the store must be empty.
  void Reserve(size_t capacity) {
    data_ = std::allocator<SourceInstruction>().allocate(capacity);
    capacity_ = capacity;
  }
  SourceInstruction* Slot(size_t at) { return data_ + at; }
  size_t Capacity() const { return capacity_; }
  size_t Made() const { return made_; }
  // Every slot below `made` holds an instruction now.
  void SetMade(size_t made) { made_ = made; }

 private:
  SourceInstruction* data_ = nullptr;
  size_t capacity_ = 0;
  size_t made_ = 0;
};

// Every routine's instructions lie in Store, in input order, so that
// routines can be cut and recut without copying. Move it; a copy would leave
// the routines pointing at the old one.
struct ObjdumpInput {
  ObjdumpInput() = default;
  ObjdumpInput(ObjdumpInput&&) = default;
  ObjdumpInput& operator=(ObjdumpInput&&) = default;
  ObjdumpInput(const ObjdumpInput&) = delete;
  ObjdumpInput& operator=(const ObjdumpInput&) = delete;

  InstructionStore Store;
  std::vector<Routine> Routines;
  bool HasRelocations = false;  // the text came from objdump -r
  bool Coff = false;            // a PE or COFF file
  std::vector<uint64_t> Entries;  // entry points (objdump -f), one per file
  std::vector<Export> Exports;    // a PE file's export table (objdump -p)
  // Instruction texts made anew (call targets named), which instructions'
  // Text views point into.
  std::deque<std::string> OwnedTexts;
};

struct InputError {
  size_t Line = 0;  // 0 when the fault is not one line's
  std::string Message;
};

// Reads the whole text, taking its lines apart on `threads` threads. On bad
// input returns false and fills `error`.
bool ReadObjdump(std::string_view text, ObjdumpInput& out, InputError& error, unsigned threads = 1);

}  // namespace asm2pas::objdump
