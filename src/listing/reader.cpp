#include "listing/reader.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/limits.h"
#include "base/text.h"
#include "listing/format.h"
#include "listing/number.h"

namespace asm2pas {

namespace {

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

bool IsCommentMark(char c) {
  for (char mark : format::kCommentMarks) {
    if (c == mark) return true;
  }
  return false;
}

}  // namespace

bool ListingReader::Feed(std::string_view bytes) {
  NextOf next_cr{'\r'}, next_lf{'\n'}, next_eof{format::kEndOfInput};
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
      return true;
    }
    char c = bytes[end];
    pos = end + 1;
    if (c == format::kEndOfInput) {
      line_.append(chunk);
      stopped_ = true;
      return true;
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
  return !failed_;
}

void ListingReader::Finish() {
  if (failed_) return;
  if (!line_.empty()) EndLine(line_);
  if (failed_) return;
  if (lone_lf_line_ != 0) {
    diagnostics_.push_back(Diagnostic{DiagKind::kLoneLineFeed, lone_lf_line_, 0, {}, {}});
  }
}

void ListingReader::Fail(Diagnostic d) {
  d.Line = line_number_;
  diagnostics_.push_back(std::move(d));
  failed_ = stopped_ = true;
}

void ListingReader::EndLine(std::string_view line) {
  std::string_view trimmed = TrimBoth(line);
  if (!trimmed.empty() && !IsCommentMark(trimmed[0])) {
    ReadInstruction(trimmed);
  }
  line_.clear();
  ++line_number_;
}

void ListingReader::ReadInstruction(std::string_view line) {
  CodeTable& code = code_;
  if (code.CodeCount() >= kCodeCapacity) return Fail({DiagKind::kTooManyInstructions, 0, 0, {}, {}});
  TOpCode entry;

  std::string_view field = line.substr(0, format::kAddressDigits);
  auto address = BareHex(field);
  if (!address) return Fail({DiagKind::kBadAddress, 0, 0, QuotedPart(field), {}});
  entry.Address = *address;

  // The entry's texts are views of a kept copy of the line from the
  // mnemonic column on: the line itself may lie in a piece of input that is
  // gone by the time they are read.
  std::string_view rest = line.size() >= format::kMnemonicColumn
                              ? code.Keep(line.substr(format::kMnemonicColumn - 1))
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

  entry.VarHint[0] = operands_.Register(entry.Op1);
  entry.VarHint[1] = operands_.Register(entry.Op2);
  int16_t op3_hint = operands_.Register(op3);

  if (!entry.OpCode.empty() && entry.OpCode[0] == 'j' && !BareHex(entry.Op1)) {
    return Fail({DiagKind::kBadJump, 0, 0, QuotedPart(entry.OpCode), QuotedPart(entry.Op1)});
  }
  code.Append(entry);
  if (!op3.empty()) code.SetThird(op3, op3_hint);
}

}  // namespace asm2pas
