#include "listing/reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "driver/run_error.h"
#include "listing/number.h"
#include "listing/trim.h"
#include "naming/vars.h"

namespace asm2pas {

namespace {
constexpr size_t kMnemonicColumn = 35;  // columns 1..34 hold address and bytes

// The position of the next occurrence of one character in a block, found
// again only once the reading has passed it, so that every byte is
// searched at most once per character however the lines end.
struct NextOf {
  char C;
  size_t At = std::string_view::npos;  // npos: not searched yet

  size_t From(std::string_view bytes, size_t pos) {
    if (At != std::string_view::npos && At >= pos) return At;
    const void* hit = std::memchr(bytes.data() + pos, C, bytes.size() - pos);
    At = hit ? static_cast<size_t>(static_cast<const char*>(hit) - bytes.data()) : bytes.size();
    return At;
  }
};

// Listing text quoted in a diagnostic. A diagnostic is one line, so control
// characters (a lone line feed stays inside a line of the listing) are
// shown as \xNN, and a long text is cut.
std::string Quote(std::string_view text) {
  constexpr size_t kMaxShown = 40;
  static const char kHex[] = "0123456789ABCDEF";
  std::string quoted;
  for (size_t k = 0; k < text.size() && k < kMaxShown; ++k) {
    unsigned char c = static_cast<unsigned char>(text[k]);
    if (c < 32 || c == 127) {
      quoted += "\\x";
      quoted += kHex[c >> 4];
      quoted += kHex[c & 15];
    } else {
      quoted += static_cast<char>(c);
    }
  }
  if (text.size() > kMaxShown) quoted += "...";
  return quoted;
}
}  // namespace

void ListingReader::Feed(std::string_view bytes) {
  NextOf next_cr{'\r'}, next_lf{'\n'}, next_eof{26};
  size_t pos = 0;
  // Ends: every pass moves pos forward (past a line end, a line feed or to
  // the end of the bytes) or stops the reading.
  while (pos < bytes.size() && !stopped_) {
    if (after_cr_) {
      after_cr_ = false;
      if (bytes[pos] == '\n') {  // the line feed of a CR LF pair
        ++pos;
        continue;
      }
    }
    // The rest of the line up to the next character that matters here: a
    // carriage return, a line feed or code 26.
    size_t end = std::min({next_cr.From(bytes, pos), next_lf.From(bytes, pos),
                           next_eof.From(bytes, pos)});
    std::string_view chunk = bytes.substr(pos, end - pos);
    if (end == bytes.size()) {
      line_.append(chunk);  // the line goes on in the next piece
      return;
    }
    char c = bytes[end];
    pos = end + 1;
    if (c == 26) {
      line_.append(chunk);
      stopped_ = true;
      return;
    }
    if (c == '\n') {
      if (lone_lf_line_ == 0) lone_lf_line_ = line_number_;
      line_.append(chunk);
      line_.push_back('\n');
      continue;
    }
    // A carriage return ends the line; a line held whole in this piece is
    // read where it stands.
    if (line_.empty()) {
      EndLine(chunk);
    } else {
      line_.append(chunk);
      EndLine(line_);
    }
    after_cr_ = true;
  }
}

void ListingReader::Finish() {
  if (!line_.empty()) EndLine(line_);
  if (lone_lf_line_ != 0) {
    run_.Warnings.push_back(
        "asm2pas: " + run_.FileName + ":" + std::to_string(lone_lf_line_) +
        ": warning: line feed without carriage return does not end a line;"
        " lines must end with CR LF");
  }
}

void ListingReader::EndLine(std::string_view line) {
  std::string_view trimmed = TrimBoth(line);
  if (!trimmed.empty() && trimmed[0] != '*' && trimmed[0] != '|') {
    ReadInstruction(trimmed);
  }
  line_.clear();
  ++line_number_;
}

void ListingReader::ReadInstruction(std::string_view line) {
  CodeTable& code = run_.Code;
  if (code.CodeCount() >= kCodeCapacity) {
    throw RunError{line_number_, "more than 10000 instruction lines"};
  }
  TOpCode entry;

  std::string_view field = line.substr(0, 8);
  auto address = BareHex(field);
  if (!address) {
    throw RunError{line_number_,
                   "address field \"" + Quote(field) + "\" is not hexadecimal"};
  }
  entry.Address = *address;

  // The entry's texts are views of a kept copy of the line from the
  // mnemonic column on: the line itself may lie in a piece of input that is
  // gone by the time they are read.
  std::string_view rest = line.size() >= kMnemonicColumn
                              ? code.Keep(line.substr(kMnemonicColumn - 1))
                              : std::string_view();
  // The mnemonic ends at the first blank; a tab is not a separator.
  size_t blank = rest.find(' ');
  if (blank != std::string_view::npos) {
    entry.OpCode = TrimBoth(rest.substr(0, blank));
    rest = rest.substr(blank + 1);
  } else {
    entry.OpCode = TrimBoth(rest);
    rest = std::string_view();
  }
  rest = TrimBoth(rest);

  // Operands: text before a comma keeps its trailing blanks; a third comma
  // is no separator, so a fourth operand stays in the third.
  std::string_view op3;
  size_t comma = rest.find(',');
  if (comma == std::string_view::npos) {
    entry.Op1 = rest;  // already trimmed
  } else {
    entry.Op1 = rest.substr(0, comma);
    rest = TrimLeading(rest.substr(comma + 1));
    size_t second = rest.find(',');
    if (second == std::string_view::npos) {
      entry.Op2 = rest;  // trimmed at both ends already
    } else {
      entry.Op2 = rest.substr(0, second);
      op3 = TrimLeading(rest.substr(second + 1));
    }
  }

  entry.VarHint[0] = AddVar(run_.Vars, entry.Op1);
  entry.VarHint[1] = AddVar(run_.Vars, entry.Op2);
  int16_t op3_hint = AddVar(run_.Vars, op3);

  if (!entry.OpCode.empty() && entry.OpCode[0] == 'j' && !BareHex(entry.Op1)) {
    throw RunError{line_number_, "jump \"" + Quote(entry.OpCode) + "\" has operand \"" +
                                     Quote(entry.Op1) + "\", not a bare hexadecimal address"};
  }
  code.Append(entry);
  if (!op3.empty()) code.SetThird(op3, op3_hint);
}

void LoadListing(RunState& run, std::string_view bytes) {
  ListingReader reader(run);
  reader.Feed(bytes);
  reader.Finish();
}

}  // namespace asm2pas
