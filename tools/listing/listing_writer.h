// Lays listing lines out in the fixed columns asm2pas reads (the layout
// listing/format.h states), turns a whole routine into such a listing with
// the warnings it raised, and names the file it goes to.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "objdump_input.h"
#include "relocations.h"
#include "rewrite.h"

namespace asm2pas::objdump {

// One line, CR LF included. Bytes that do not fit before column 35 are cut
// and marked with "..". Alignment filler becomes a comment line,
// "* padding: " and the line; an instruction objdump decoded out of step,
// "* out of step: " and the line. Control characters become "?".
std::string FormatListingLine(const ListingInstruction& ins);
// The same line appended to `out`.
void AppendListingLine(std::string& out, const ListingInstruction& ins);

struct RoutineListing {
  std::string Text;                   // the listing, CR LF line ends
  std::vector<std::string> Warnings;  // "ROUTINE: ADDRESS: what happened"
};

RoutineListing ConvertRoutine(const Routine& routine, const SymbolTable& symbols);

// Converts one routine after another, keeping the room of its rewritten
// instructions (and the caller keeps that of the listing) from one to the
// next: a whole program converts without new room for every line.
class ListingWriter {
 public:
  explicit ListingWriter(const SymbolTable& symbols) : symbols_(symbols) {}
  // The routine's listing and warnings in place of what `out` held.
  void Write(const Routine& routine, RoutineListing& out);

 private:
  const SymbolTable& symbols_;
  std::vector<ListingInstruction> lines_;
};

// A file name for the routine's listing: the name with every character
// other than letters, digits and "_.@+-" replaced by "_", "_" put before a
// leading "." (no hidden files), and ".lst" appended.
std::string FileNameFor(const std::string& routine_name);

// The file names, without ".lst", of all routines, in their order: as
// FileNameFor, and routines of the same name (in different sections or
// archive members) get their address, and if need be a count, in the name.
// No name is one of `reserved`.
std::vector<std::string> BaseFileNames(const std::vector<Routine>& routines,
                                       const std::set<std::string>& reserved = {});

}  // namespace asm2pas::objdump
