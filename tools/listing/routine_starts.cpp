#include "routine_starts.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "instruction_text.h"
#include "parallel.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// What one instruction does to the flow of control.
enum class Flow : uint8_t {
  Other,
  Ret,       // ret and the like
  Stop,      // hlt, ud2: nothing follows
  Jump,      // jmp to a fixed address
  Table,     // jmp through a table of addresses, [reg*4+address]
  Indirect,  // any other jmp whose target is not fixed
  Branch,    // conditional jumps and loops
  Call,
};

// One instruction as the finder sees it, in 32 bytes: the passes over all
// of them read less. No field has a default: every item is written whole by
// the thread that gathers it, so that the room for all of them needs no
// clearing first. An item's flags are written by one thread at a time.
struct Item {
  SourceInstruction* Ins;
  uint64_t Target;   // direct jumps, branches and calls; a table's address
  uint32_t Address;  // the reader takes no address beyond 32 bits
  uint32_t Group;    // run of code in address order; fewer than items, and
                     // 2^32 items would need hundreds of gigabytes
  Flow Kind;
  bool Direct : 1;     // Target holds a fixed address
  bool Filler : 1;     // alignment filler or zero bytes
  bool Data : 1;       // the bytes of a jump table, shown as instructions
  bool Called : 1;     // a direct call lands here
  bool Pointed : 1;    // a fixed address stored or pushed points here
  bool Header : 1;     // the first instruction under a routine header
  bool Named : 1;      // ... of a routine the input names
  bool OutOfStep : 1;  // decoded from zero bytes and a routine's first bytes
  bool Fact : 1;       // the entry point or an exported routine
  bool NoReturn : 1;   // a direct call of a routine that does not come back
  bool TailCall : 1;   // a jmp to code that begins as a routine does
  bool Start : 1;      // the result
};

using Items = std::span<Item>;

// Filler the way objdump writes it: nop in every form, int3, xchg ax,ax,
// mov and lea that leave a register as it was, and zero bytes.
bool IsFiller(const SourceInstruction& ins, std::string_view m, std::string_view ops) {
  if (!ins.Bytes.empty() && std::all_of(ins.Bytes.begin(), ins.Bytes.end(), [](uint8_t b) { return b == 0; }))
    return true;
  if (m == "nop" || m == "int3") return true;
  size_t comma = FindChar(ops, ',');
  if (comma == std::string_view::npos) return false;
  std::string_view dest = ops.substr(0, comma);
  std::string_view src = ops.substr(comma + 1);
  if (m == "xchg" || m == "mov") return dest == src;
  if (m != "lea" || src.size() < dest.size() + 2 || src.front() != '[' || src.back() != ']' ||
      src.substr(1, dest.size()) != dest)
    return false;
  std::string_view rest = src.substr(1 + dest.size(), src.size() - 2 - dest.size());
  return rest.empty() || rest == "+eiz*1" || rest == "+0x0" || rest == "+eiz*1+0x0";
}

// "DWORD PTR [eax*4+0x80494e0]" -> 0x80494e0.
std::optional<uint64_t> TableAddress(std::string_view ops) {
  size_t at = ops.find("*4+0x");
  if (at == std::string_view::npos || ops.find('[') == std::string_view::npos || ops.back() != ']')
    return std::nullopt;
  std::string_view digits = ops.substr(at + 5, ops.size() - 1 - (at + 5));
  return ParseHex(digits);
}

// Zero bytes of alignment that objdump joined with the first bytes of the
// next routine ("00 55 89  add BYTE PTR [ebp-0x77],dl"): without a symbol to
// stop at, it decodes out of step. The routine starts after the zeros.
bool OutOfStep(const InstructionBytes& bytes) {
  return bytes.size() > 1 && bytes.front() == 0 &&
         std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
}

uint64_t LeadingZeros(const Item& item) {
  const InstructionBytes& bytes = item.Ins->Bytes;
  return static_cast<uint64_t>(std::find_if(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; }) -
                               bytes.begin());
}

void Classify(Item& item) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  item.OutOfStep = OutOfStep(item.Ins->Bytes);
  item.Filler = IsFiller(*item.Ins, m, ops);
  std::optional<DirectTarget> direct;
  if (m == "jmp" || m == "call" || IsJump(m)) direct = ParseDirectTarget(ops);
  item.Direct = direct.has_value();
  if (direct) item.Target = direct->Address;
  if (m == "ret" || m == "retf" || m == "iret" || m == "iretd") {
    item.Kind = Flow::Ret;
  } else if (m == "hlt" || m == "ud2") {
    item.Kind = Flow::Stop;
  } else if (m == "call") {
    item.Kind = Flow::Call;
  } else if (m == "jmp") {
    std::optional<uint64_t> table = direct ? std::nullopt : TableAddress(ops);
    item.Kind = direct ? Flow::Jump : table ? Flow::Table : Flow::Indirect;
    if (table) item.Target = *table;
  } else if (IsJump(m)) {
    item.Kind = Flow::Branch;
  }
}

// A header that names a place before a symbol ("_obstack_begin@@Base-0xfb30"),
// as objdump writes it where a stripped section does not begin at a symbol:
// it names no routine. A place after one (".text+0x1420") is where the
// disassembly was asked to start, a routine's start.
bool NamesPlace(std::string_view name) {
  size_t at = name.rfind("-0x");
  if (at == std::string_view::npos || at == 0 || at + 3 == name.size()) return false;
  std::string_view digits = name.substr(at + 3);
  return std::all_of(digits.begin(), digits.end(), IsHexDigit);
}

// What the pass that groups the items notices on its way.
struct GatherNotes {
  bool Sorted = true;          // the addresses never fall
  std::vector<size_t> Tables;  // the jumps through a table, in order
};

// The instructions of every routine in input order, grouped into runs of
// increasing addresses within one section; `room` holds them.
Items Gather(ObjdumpInput& input, std::unique_ptr<Item[]>& room, GatherNotes& notes) {
  // Where each routine's items begin.
  std::vector<size_t> first(input.Routines.size() + 1, 0);
  // Ends: one pass per routine.
  for (size_t r = 0; r < input.Routines.size(); ++r) first[r + 1] = first[r] + input.Routines[r].Instructions.size();
  room = std::make_unique_for_overwrite<Item[]>(first.back());
  Items items(room.get(), first.back());
  // Each instruction on its own: on every core.
  ParallelRanges(items.size(), Cores(), [&](unsigned, size_t begin, size_t end) {
    size_t r = static_cast<size_t>(std::upper_bound(first.begin(), first.end(), begin) - first.begin()) - 1;
    // Ends: one pass per item of the range.
    for (size_t i = begin; i < end; ++i) {
      while (i >= first[r + 1]) ++r;  // Ends: a routine holding item i lies ahead
      Routine& routine = input.Routines[r];
      Item& item = items[i];
      item = Item{};
      item.Ins = &routine.Instructions[i - first[r]];
      item.Address = static_cast<uint32_t>(item.Ins->Address);
      item.Header = i == first[r];
      item.Named = item.Header && !routine.Unnamed && !NamesPlace(routine.Name);
      Classify(item);
    }
  });
  uint32_t group = 0;
  const std::string* section = nullptr;
  // Ends: one pass per routine, and per item within it.
  for (size_t r = 0; r < input.Routines.size(); ++r) {
    for (size_t i = first[r]; i < first[r + 1]; ++i) {
      if (i > 0 && ((i == first[r] && *section != input.Routines[r].Section) ||
                    items[i].Address <= items[i - 1].Address))
        ++group;
      if (i > 0 && items[i].Address < items[i - 1].Address) notes.Sorted = false;
      items[i].Group = group;
      if (items[i].Kind == Flow::Table) notes.Tables.push_back(i);
    }
    if (first[r + 1] > first[r]) section = &input.Routines[r].Section;
  }
  return items;
}

// Looks addresses up among the instructions: their order by address, and
// for buckets of equal width over the whole range of addresses the first
// position of each, so that a look-up searches one bucket.
class AddressIndex {
 public:
  // `sorted`: the items are in address order already.
  AddressIndex(Items items, bool sorted) : items_(items) {
    if (!sorted) {
      order_.resize(items.size());
      // Ends: one pass per item.
      for (size_t i = 0; i < items.size(); ++i) order_[i] = i;
      std::stable_sort(order_.begin(), order_.end(),
                       [&](size_t a, size_t b) { return items[a].Address < items[b].Address; });
    }
    if (items.empty()) return;
    uint64_t range = AddressAt(items.size() - 1) - AddressAt(0);
    // About four addresses to a bucket.
    // Ends: `range >> shift_` halves every pass.
    while (shift_ < 63 && (range >> shift_) > items.size() / 4) ++shift_;
    size_t buckets = static_cast<size_t>(range >> shift_) + 1;
    bucket_.resize(buckets + 1);
    bucket_[buckets] = items.size();
    // Each position begins the buckets from the one after its
    // predecessor's up to its own: every bucket gets the first position at
    // or beyond its base, written by one thread.
    std::atomic<bool> repeats{false};
    ParallelRanges(items.size(), Cores(), [&](unsigned, size_t begin, size_t end) {
      // Ends: one pass per position.
      for (size_t p = begin; p < end; ++p) {
        size_t before = p == 0 ? 0 : BucketOf(AddressAt(p - 1)) + 1;
        for (size_t b = before; b <= BucketOf(AddressAt(p)); ++b) bucket_[b] = p;  // Ends: at its bucket
        if (p > 0 && AddressAt(p) == AddressAt(p - 1)) repeats = true;
      }
    });
    repeats_ = repeats;
  }
  // Some address holds more than one instruction: the input is no single
  // address space (an object file's sections all start at 0).
  bool Repeats() const { return repeats_; }
  // The instruction that starts at `address`.
  std::optional<size_t> At(uint64_t address) const {
    if (items_.empty() || address < AddressAt(0) || address > AddressAt(items_.size() - 1)) return std::nullopt;
    size_t p = FirstBeyond(address, false);
    if (p == items_.size() || AddressAt(p) != address) return std::nullopt;
    return ItemAt(p);
  }
  // The instruction whose bytes hold `address`.
  std::optional<size_t> Holding(uint64_t address) const {
    if (items_.empty() || address < AddressAt(0)) return std::nullopt;
    size_t p = address < AddressAt(items_.size() - 1) ? FirstBeyond(address, true) : items_.size();
    const Item& item = items_[ItemAt(p - 1)];
    if (address - item.Address >= item.Ins->Bytes.size()) return std::nullopt;
    return ItemAt(p - 1);
  }
  // The four bytes at `address`, little-endian, when the input shows them.
  std::optional<uint32_t> Word(uint64_t address) const {
    uint32_t value = 0;
    // Ends: four bytes.
    for (unsigned k = 0; k < 4; ++k) {
      std::optional<size_t> at = Holding(address + k);
      if (!at) return std::nullopt;
      const Item& item = items_[*at];
      value |= static_cast<uint32_t>(item.Ins->Bytes[address + k - item.Address]) << (8 * k);
    }
    return value;
  }

 private:
  // The item at a position of the address order, and its address.
  size_t ItemAt(size_t position) const { return order_.empty() ? position : order_[position]; }
  uint64_t AddressAt(size_t position) const { return items_[ItemAt(position)].Address; }
  // The bucket of an address within the range.
  size_t BucketOf(uint64_t address) const { return static_cast<size_t>((address - AddressAt(0)) >> shift_); }
  // The first position whose address is at or beyond `address` (`beyond`:
  // beyond it), searched in the bucket of `address`, which must lie within
  // the range.
  size_t FirstBeyond(uint64_t address, bool beyond) const {
    size_t b = BucketOf(address);
    size_t low = bucket_[b], high = bucket_[b + 1];
    // Ends: the range halves every pass.
    while (low < high) {
      size_t mid = low + (high - low) / 2;
      uint64_t a = AddressAt(mid);
      if (a < address || (beyond && a == address)) low = mid + 1;
      else high = mid;
    }
    return low;
  }

  Items items_;
  std::vector<size_t> order_;   // items by address; empty when in order already
  std::vector<size_t> bucket_;  // the first position of each bucket
  unsigned shift_ = 0;          // a bucket spans 2^shift_ addresses
  bool repeats_ = false;
};

constexpr size_t kMaxTableEntries = 4096;

// Jump tables that lie in the code itself: their words are addresses of
// the same run of code. The instructions objdump decoded from the table's
// bytes are data; the addresses it holds are jump targets.
size_t ReadTables(Items items, const AddressIndex& index, const std::vector<size_t>& tables) {
  size_t data = 0;
  // Ends: one pass per jump through a table; each table read is bounded.
  for (size_t i : tables) {
    if (items[i].Data) continue;
    std::optional<size_t> table = index.Holding(items[i].Target);
    if (!table || items[*table].Group != items[i].Group) continue;
    uint64_t address = items[i].Target;
    uint64_t furthest = 0;
    size_t entries = 0;
    // Ends: at the first word that is no address of this code, or at the bound.
    for (; entries < kMaxTableEntries; ++entries, address += 4) {
      std::optional<uint32_t> word = index.Word(address);
      std::optional<size_t> holder = word ? index.Holding(*word) : std::nullopt;
      if (!holder || items[*holder].Group != items[i].Group) break;
      furthest = std::max<uint64_t>(furthest, *word);
    }
    if (entries == 0) continue;
    // Its targets are known now: the routine reaches at least the furthest.
    items[i].Kind = Flow::Jump;
    items[i].Direct = furthest > items[i].Address;
    items[i].Target = furthest;
    // Ends: one pass per instruction within the table's bytes.
    for (size_t k = *table; k < items.size() && items[k].Address < address; ++k) {
      items[k].Data = true;
      ++data;
    }
  }
  return data;
}

// "push 0x8049a10", "mov DWORD PTR [esp+0x4],0x8049a10": a fixed address
// handed on, as a pointer to a routine is in code that is not
// position-independent. Such code lies at 4 MB and beyond; below, a number
// is more often a count or a size.
std::optional<uint64_t> StoredAddress(const Item& item) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  if (m == "mov" && StartsWith(ops, "DWORD PTR [")) ops = ops.substr(ops.rfind(',') + 1);
  else if (m != "push") return std::nullopt;
  std::optional<uint64_t> value = StartsWith(ops, "0x") ? ParseHex(ops.substr(2)) : std::nullopt;
  return value && *value >= 0x400000 ? value : std::nullopt;
}

// Marks where direct calls land, and the calls of routines that do not
// come back: some call of theirs is followed by filler, which a compiler
// puts only where nothing runs on. On every core: the marks go to a table of
// their own first, since two calls may land on one instruction.
void MarkCalls(Items items, const AddressIndex& index) {
  std::vector<uint8_t> called(items.size(), 0);
  std::vector<std::vector<uint64_t>> noreturn(Cores());
  ParallelRanges(items.size(), Cores(), [&](unsigned part, size_t begin, size_t end) {
    // Ends: one pass per item of the range.
    for (size_t i = begin; i < end; ++i) {
      const Item& item = items[i];
      if (std::optional<uint64_t> stored = item.Data ? std::nullopt : StoredAddress(item)) {
        if (std::optional<size_t> at = index.At(*stored))
          std::atomic_ref<uint8_t>(called[*at]).fetch_or(2, std::memory_order_relaxed);
        continue;
      }
      if (item.Kind != Flow::Call || !item.Direct) continue;
      if (i + 1 < items.size() && items[i + 1].Filler && items[i + 1].Group == item.Group)
        noreturn[part].push_back(item.Target);
      if (item.Data) continue;
      std::optional<size_t> target = index.At(item.Target);
      // A routine objdump decoded out of step starts after the zeros.
      if (std::optional<size_t> holder = target ? target : index.Holding(item.Target);
          holder && !target && items[*holder].OutOfStep &&
          item.Target == items[*holder].Address + LeadingZeros(items[*holder]))
        target = holder;
      // "call next; pop ebx" reads the address; it calls no routine.
      if (target && *target != i + 1) std::atomic_ref<uint8_t>(called[*target]).fetch_or(1, std::memory_order_relaxed);
    }
  });
  std::unordered_set<uint64_t> noreturn_targets;
  // Ends: one pass per part, and per call within it.
  for (const std::vector<uint64_t>& part : noreturn) noreturn_targets.insert(part.begin(), part.end());
  ParallelRanges(items.size(), Cores(), [&](unsigned, size_t begin, size_t end) {
    // Ends: one pass per item of the range.
    for (size_t i = begin; i < end; ++i) {
      Item& item = items[i];
      item.Called = (called[i] & 1) != 0;
      item.Pointed = (called[i] & 2) != 0;
      item.NoReturn = item.Kind == Flow::Call && item.Direct && noreturn_targets.count(item.Target) != 0;
    }
  });
}

bool OperandsAre(const Item& item, std::string_view m, std::string_view ops) {
  auto [mm, oo] = MnemonicAndOperands(item.Ins->Text);
  return mm == m && (ops.empty() || oo == ops);
}

bool IsSavedRegisterPush(const Item& item) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  return m == "push" && (ops == "ebp" || ops == "ebx" || ops == "esi" || ops == "edi");
}

bool MakesFrame(const Item& item) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  return (m == "sub" && StartsWith(ops, "esp,")) || (m == "lea" && StartsWith(ops, "esp,[esp-")) ||
         m == "enter" || (m == "mov" && ops == "ebp,esp");
}

// "call thunk; add ebx,0x9634e": position-independent code finds its data.
bool IsPicBase(const Item& call, const Item& add) {
  if (call.Kind != Flow::Call || !call.Direct) return false;
  auto [m, ops] = MnemonicAndOperands(add.Ins->Text);
  return m == "add" && ops.size() > 6 && ops[3] == ',' && StartsWith(ops.substr(4), "0x");
}

// "mov edx,DWORD PTR [esp+0x4]", "movzx eax,BYTE PTR [esp+0xc]": a
// routine without a frame reads one of its first `args` arguments
// (`pushed` words above the return address: after the pushes that save
// registers).
bool ReadsArgument(const Item& item, unsigned pushed, unsigned args) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  if ((m != "mov" && m != "movzx" && m != "movsx") || ops.size() < 5 || ops[3] != ',') return false;
  size_t at = ops.find(" PTR [esp+0x");
  if (at == std::string_view::npos || ops.back() != ']') return false;
  std::optional<uint64_t> disp = ParseHex(ops.substr(at + 12, ops.size() - 1 - (at + 12)));
  return disp && *disp >= 4 * (pushed + 1) && *disp <= 4 * (pushed + args);
}

// "mov ebp,eax", "xor eax,eax", "mov eax,0x1": sets a register from
// registers or a constant, as gcc puts between the pushes of a prologue.
bool SetsRegister(const Item& item) {
  auto [m, ops] = MnemonicAndOperands(item.Ins->Text);
  return (m == "mov" || m == "xor") && ops.size() > 4 && ops[3] == ',' && !StartsWith(ops, "esp") &&
         FindChar(ops, '[') == std::string_view::npos;
}

// "lea ecx,[esp+0x4]; and esp,0xfffffff0": main aligns its stack.
bool AlignsStack(const Item& lea, const Item& next) {
  return OperandsAre(lea, "lea", "ecx,[esp+0x4]") && OperandsAre(next, "and", "esp,0xfffffff0");
}

// How compiled routines begin: push ebp; mov ebp,esp, space for locals, or
// saved registers followed by more of the same; after endbr32, the mark of
// code that may be called through a pointer, the same. `aligned`: the
// routine would begin at an address aligned as a compiler aligns routines.
bool IsPrologue(Items items, size_t i, bool aligned) {
  const Item& a = items[i];
  bool more = i + 1 < items.size() && items[i + 1].Group == a.Group;
  if (OperandsAre(a, "endbr32", ""))  // one level: a second endbr32 begins nothing
    return more && !OperandsAre(items[i + 1], "endbr32", "") && IsPrologue(items, i + 1, aligned);
  if (more && IsPicBase(a, items[i + 1])) return true;
  if (aligned && ReadsArgument(a, 0, 4)) return true;
  if (MakesFrame(a) && !OperandsAre(a, "mov", "")) return true;
  if (!more) return false;
  if (AlignsStack(a, items[i + 1])) return true;
  if (!IsSavedRegisterPush(a)) return false;
  // At an aligned address, "push ebx; call" loads the address of the
  // program's data (position-independent code).
  auto continues = [&](const Item& next) {
    return IsSavedRegisterPush(next) || MakesFrame(next) ||
           (aligned && (next.Kind == Flow::Call || ReadsArgument(next, 1, 6)));
  };
  if (continues(items[i + 1])) return true;
  // One register set between: "push ebp; mov ebp,eax; push edi".
  return SetsRegister(items[i + 1]) && i + 2 < items.size() && items[i + 2].Group == a.Group &&
         continues(items[i + 2]);
}

bool IsPrologue(Items items, size_t i) { return IsPrologue(items, i, items[i].Address % 16 == 0); }

// "jmp eax": a switch whose table lies outside the code, most often. A jump
// through a fixed memory word ("jmp DWORD PTR ds:0x80e9db0") is a call
// through a pointer that does not come back.
bool JumpsThroughRegister(const Item& item) {
  if (item.Kind != Flow::Indirect) return false;
  std::string_view ops = MnemonicAndOperands(item.Ins->Text).second;
  return !ops.empty() && ops.find_first_of(" :[") == std::string_view::npos;
}

bool IsKnownStart(const Item& item) { return item.Named || item.Called || item.Fact; }

// Bytes objdump could not decode: data, not a routine.
bool IsBad(const Item& item) {
  std::string_view m = MnemonicAndOperands(item.Ins->Text).first;
  return m == "(bad)" || m == ".byte" || m == ".word";
}

// Marks the jmps to code that begins as a routine does at an aligned
// address, after filler that follows a ret, a jmp or a call that does not
// come back: how gcc lays out one routine after another. Such a jmp is a
// tail call; it does not make its routine reach that far.
void MarkTailCalls(Items items, const AddressIndex& index) {
  std::vector<uint8_t> boundary(items.size(), 0);
  bool ended = false;   // the code before ends a routine
  bool filler = false;  // ... and filler follows it
  // Ends: one pass per item.
  for (size_t i = 0; i < items.size(); ++i) {
    const Item& it = items[i];
    if (i > 0 && it.Group != items[i - 1].Group) ended = filler = false;
    if (it.Data) continue;
    if (ended && it.Filler) {
      filler = true;
      continue;
    }
    boundary[i] = ended && filler && it.Address % 16 == 0 && !IsBad(it) && IsPrologue(items, i);
    ended = it.NoReturn || it.Kind == Flow::Ret || it.Kind == Flow::Stop || it.Kind == Flow::Jump ||
            it.Kind == Flow::Table || it.Kind == Flow::Indirect;
    filler = false;
  }
  // Ends: one pass per item.
  for (Item& it : items) {
    if (it.Kind != Flow::Jump || !it.Direct || it.Target <= it.Address) continue;
    std::optional<size_t> target = index.At(it.Target);
    it.TailCall = target && boundary[*target];
  }
}

// Whether calls reach more routines the input does not name than it
// names, as in a stripped program that names only its exported routines:
// then code after a named routine may be a routine of its own.
bool FewNames(Items items) {
  size_t unnamed = 0, named = 0;
  // Ends: one pass per item.
  for (const Item& it : items) {
    unnamed += it.Called && !it.Named;
    named += it.Named;
  }
  return named < unnamed;
}

// For instruction i, the address of the next one in its run of code that
// the input names or that is called, exported or the entry point: a jump
// at or beyond it leaves the routine (a tail call). Asked with i growing,
// so the search goes on from where the last one stopped.
class NextKnownStart {
 public:
  explicit NextKnownStart(Items items) : items_(items) {}
  uint64_t After(size_t i) {
    if (next_ <= i) {
      next_ = i + 1;
      // Ends: at the first known start or run boundary, or the end.
      while (next_ < items_.size() && items_[next_].Group == items_[next_ - 1].Group &&
             (items_[next_].Data || !IsKnownStart(items_[next_])))
        ++next_;
    }
    return next_ < items_.size() && items_[next_].Group == items_[i].Group ? items_[next_].Address : UINT64_MAX;
  }

 private:
  Items items_;
  size_t next_ = 0;  // the first item after the last one asked about that ends the search
};

// The walk that decides. A routine the input names is split only at a
// called, exported or entry address that follows a transfer of control and
// lies beyond every forward jump of the routine; where the input names few
// of the called routines (`few_names`), code after a name is read as
// unnamed code. Unnamed code starts a routine at every such address, and
// after a transfer of control beyond the forward jumps where a prologue
// begins, or where filler or alignment shows a compiler's routine boundary
// and the routine before has no jump whose targets are unknown. The starts,
// in order, go to `starts`.
void DecideStarts(Items items, bool few_names, std::vector<size_t>& starts) {
  NextKnownStart next_known(items);
  uint64_t reach = 0;      // the furthest forward jump of the current routine
  bool after_transfer = false;
  bool after_filler = false;  // filler lies between the transfer and here
  bool after_noreturn = false;  // a call that does not come back lies before
  bool hidden = false;         // a routine start decoded out of step
  bool hidden_filler = false;  // filler after one
  bool blind = false;      // the current routine jumps where it cannot be seen
  bool named = false;      // the current routine is one the input names
  // Ends: one pass per instruction.
  for (size_t i = 0; i < items.size(); ++i) {
    Item& it = items[i];
    if (it.Data) continue;
    bool beyond = it.Address > reach;
    bool fact = it.Called || it.Fact;
    if (it.Header) {
      named = it.Named && !few_names;
      it.Start = true;
    } else if (named) {
      it.Start = fact && after_transfer && beyond;
    } else {
      // Code right after a jmp that is neither aligned nor a prologue is
      // more often dead code a compiler left than a routine.
      it.Start = fact || (after_transfer && beyond && !it.Filler && !IsBad(it) &&
                          (it.Pointed || IsPrologue(items, i) || (!blind && (after_filler || it.Address % 16 == 0))));
      // After a call of a routine that does not come back.
      if (!it.Start && after_noreturn && beyond && !it.Filler && !IsBad(it) && IsPrologue(items, i))
        it.Start = true;
      if (!it.Start && (after_transfer || hidden_filler) && !blind && beyond && it.OutOfStep) it.Start = true;
    }
    if (it.Start) {
      starts.push_back(i);
      reach = it.Address;
      blind = false;
    }
    if ((it.Kind == Flow::Branch || it.Kind == Flow::Jump) && it.Direct && it.Target > it.Address &&
        !it.TailCall && it.Target < next_known.After(i))
      reach = std::max(reach, it.Target);
    if (JumpsThroughRegister(it) || it.Kind == Flow::Table) blind = true;
    bool transfer = it.Kind == Flow::Ret || it.Kind == Flow::Stop || it.Kind == Flow::Jump ||
                    it.Kind == Flow::Table || it.Kind == Flow::Indirect;
    after_noreturn = (after_noreturn && it.Filler) || it.NoReturn;
    after_filler = after_transfer && it.Filler;
    after_transfer = transfer || after_filler;
    // Out of step, the instruction may hide a whole small routine, ret and
    // all: another one out of step right after it starts one too.
    hidden_filler = (hidden || hidden_filler) && it.Filler;
    hidden = it.Start && it.OutOfStep;
  }
}

std::string NameFor(const Item& item, const Routine& origin,
                    const std::unordered_map<uint64_t, std::string>& facts, uint64_t address) {
  if (item.Header && !origin.Unnamed) return origin.Name;
  auto fact = facts.find(address);
  if (fact != facts.end()) return fact->second;
  return "sub_" + Hex8(address);
}

// New routines from the decided starts (`starts`, in order), cut out of the
// same store; notes go with the instruction they follow. An instruction
// that starts no routine belongs to the routine made last.
std::vector<Routine> Rebuild(ObjdumpInput& input, Items items, const std::vector<size_t>& starts,
                             const std::unordered_map<uint64_t, std::string>& facts) {
  std::vector<Routine> out;
  size_t k = 0;     // the first item of `origin`
  size_t next = 0;  // the first of `starts` not yet made
  // Ends: one pass per routine, and per run of its instructions.
  for (Routine& origin : input.Routines) {
    if (origin.Instructions.empty()) {
      out.push_back(std::move(origin));
      continue;
    }
    size_t first = out.size();
    size_t end = k + origin.Instructions.size();
    // Ends: every pass takes the run up to the next start or the end of `origin`.
    for (size_t j = k; j < end;) {
      // Data at the very start of the program starts a routine all the same:
      // there is no routine before it to belong to.
      bool start = next < starts.size() && starts[next] == j;
      if (start || out.empty()) {
        next += start;
        const Item& item = items[j];
        SourceInstruction& ins = origin.Instructions[j - k];
        uint64_t address = item.OutOfStep ? item.Address + LeadingZeros(item) : item.Address;
        out.push_back(Routine{NameFor(item, origin, facts, address), address, origin.Section, {}, {}, false});
        out.back().Instructions = std::span<SourceInstruction>(&ins, 0);
        if (address != item.Address) {
          ins.OutOfStep = true;
          out.back().Notes.push_back(Note{address, "objdump decoded the routine's first bytes together with "
                                                   "the zero bytes before it, out of step; the first lines "
                                                   "of its listing may be wrong"});
        }
      }
      size_t stop = next < starts.size() && starts[next] < end ? starts[next] : end;
      out.back().Instructions =
          std::span<SourceInstruction>(out.back().Instructions.data(), out.back().Instructions.size() + (stop - j));
      j = stop;
    }
    k = end;
    if (origin.Notes.empty()) continue;
    // When no routine was made from `origin`, its notes go to the routine
    // its instructions went to.
    if (out.size() == first) {
      // Ends: one pass per note.
      for (Note& note : origin.Notes) out.back().Notes.push_back(std::move(note));
      continue;
    }
    // A note goes to the last routine made from `origin` that starts at or
    // before it, the first one if none does: with lowest[j] the lowest start
    // among routines first + j and after, that is the last j from 1 on with
    // lowest[j] at or before the note, and lowest never falls.
    std::vector<uint64_t> lowest(out.size() - first);
    // Ends: one pass per routine made from `origin`, from the last.
    for (size_t j = lowest.size(); j-- > 0;)
      lowest[j] = std::min(out[first + j].Address, j + 1 < lowest.size() ? lowest[j + 1] : UINT64_MAX);
    // Ends: one pass per note.
    for (Note& note : origin.Notes) {
      size_t j = static_cast<size_t>(std::upper_bound(lowest.begin() + 1, lowest.end(), note.Address) -
                                     lowest.begin()) - 1;
      out[first + j].Notes.push_back(std::move(note));
    }
  }
  return out;
}

}  // namespace

FinderCounts FindRoutineStarts(ObjdumpInput& input) {
  FinderCounts counts;
  if (input.HasRelocations) return counts;  // object files name their routines
  std::unordered_map<uint64_t, std::string> facts;
  for (const Export& e : input.Exports) facts.emplace(e.Address, e.Name);
  for (uint64_t entry : input.Entries) facts.emplace(entry, "entry");

  std::unique_ptr<Item[]> room;
  GatherNotes notes;
  Items items = Gather(input, room, notes);
  AddressIndex index(items, notes.Sorted);
  if (index.Repeats()) return counts;  // addresses cannot be told apart
  counts.DataLines = ReadTables(items, index, notes.Tables);
  MarkCalls(items, index);
  MarkTailCalls(items, index);
  // Ends: one pass per fact.
  for (const auto& [address, name] : facts)
    if (std::optional<size_t> at = index.At(address)) items[*at].Fact = true;
  std::vector<size_t> starts;
  DecideStarts(items, FewNames(items), starts);
  size_t before = input.Routines.size();
  input.Routines = Rebuild(input, items, starts, facts);
  counts.Found = input.Routines.size() - before;
  return counts;
}

}  // namespace asm2pas::objdump
