// The HTML of a whole-program run: index.html, a table of every routine
// with a link to its section, and pages of routines, each routine in a
// section of its own with its listing and its Pascal-like source side by
// side. Every text taken from the input is escaped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace asm2pas::objdump {

// &, <, >, " and ' as entities; CR dropped.
std::string EscapeHtml(std::string_view text);
void AppendEscapedHtml(std::string& out, std::string_view text);

// One routine as the index and its page show it.
struct RoutineSummary {
  std::string Name;
  std::string File;  // base file name: File.lst, File.pas; the id of its section
  std::string Page;  // the page that shows it
  uint64_t First = 0;
  uint64_t Last = 0;
  size_t Instructions = 0;
  size_t OutputLines = 0;
  size_t StatementLines = 0;
  size_t Warnings = 0;       // from asm2pas-listing and asm2pas
  bool Failed = false;       // asm2pas ended with an error, or nothing could be made
  std::vector<std::string> Messages;  // warnings and errors, one line each
};

// "87%", or "-" when there are no output lines.
std::string SharePercent(const RoutineSummary& r);

// A page of routines: its head, then a section per routine, then its end.
void OpenRoutinesPage(std::string& out, const std::string& title);
void AppendRoutineSection(std::string& out, const RoutineSummary& r, std::string_view listing,
                          std::string_view source);
void CloseRoutinesPage(std::string& out);

std::string IndexPage(const std::string& title, const std::vector<RoutineSummary>& routines);

}  // namespace asm2pas::objdump
