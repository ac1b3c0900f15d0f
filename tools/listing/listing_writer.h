// Lays listing lines out in the fixed columns asm2pas reads -- address in
// columns 1-8, instruction bytes from column 11 up to column 34, mnemonic
// from column 35, CR LF line ends -- turns a whole routine into such a
// listing with the warnings it raised, and names the file it goes to.
#pragma once

#include <string>
#include <vector>

#include "objdump_input.h"
#include "operands.h"

namespace asm2pas::objdump {

// One line, CR LF included. Bytes that do not fit before column 35 are cut
// and marked with "..". Alignment filler becomes a comment line,
// "* padding: " and the line.
std::string FormatListingLine(const ListingInstruction& ins);

struct RoutineListing {
  std::string Text;                   // the listing, CR LF line ends
  std::vector<std::string> Warnings;  // "ROUTINE: ADDRESS: what happened"
};

RoutineListing ConvertRoutine(const Routine& routine, const SymbolTable& symbols);

// A file name for the routine's listing: the name with every character
// other than letters, digits and "_.@+-" replaced by "_", "_" put before a
// leading "." (no hidden files), and ".lst" appended.
std::string FileNameFor(const std::string& routine_name);

}  // namespace asm2pas::objdump
