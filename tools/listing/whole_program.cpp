#include "whole_program.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>

#include "driver/conversion.h"
#include "html.h"
#include "listing_writer.h"
#include "output/sink.h"
#include "parallel.h"
#include "pas_file.h"
#include "relocations.h"
#include "text.h"

namespace asm2pas::objdump {
namespace {

// A page of routines: consecutive routines that have instructions, at most
// kPageRoutines of them, and no more once they hold kPageInstructions
// instructions. Fewer, larger files are written much faster than a file per
// routine, and a browser still opens them at once.
constexpr size_t kPageRoutines = 64;
constexpr size_t kPageInstructions = 16384;

struct Page {
  std::vector<size_t> Routines;  // indices into the input's routines
  size_t Number = 0;             // of its first routine among those listed, from 1
  std::string File;
};

std::vector<Page> Paginate(const std::vector<Routine>& routines) {
  std::vector<Page> pages;
  size_t instructions = 0;
  size_t listed = 0;
  // Ends: one pass per routine.
  for (size_t i = 0; i < routines.size(); ++i) {
    if (routines[i].Instructions.empty()) continue;
    if (pages.empty() || pages.back().Routines.size() == kPageRoutines || instructions >= kPageInstructions) {
      pages.emplace_back().Number = listed + 1;
      instructions = 0;
    }
    pages.back().Routines.push_back(i);
    instructions += routines[i].Instructions.size();
    ++listed;
  }
  size_t digits = std::max<size_t>(4, std::to_string(pages.size()).size());
  // Ends: one pass per page.
  for (size_t k = 0; k < pages.size(); ++k) {
    std::string number = std::to_string(k + 1);
    pages[k].File = "routines-" + std::string(digits - number.size(), '0') + number + ".html";
  }
  return pages;
}

// The state the workers share: what they read, and where they put results
// (each routine's own slot; errors under the lock).
struct Job {
  const ObjdumpInput& Input;
  const WholeProgramOptions& Options;
  int Dir = -1;  // options.Dir, open
  SymbolTable Symbols;
  std::vector<std::string> Files;
  std::vector<Page> Pages;
  std::vector<RoutineSummary> Summaries;
  std::atomic<size_t> Next{0};
  std::atomic<size_t> Done{0};
  std::mutex Lock;
  std::vector<std::string> Errors;
};

void WriteFile(Job& job, const std::string& file, std::string_view text) {
  int fd = ::openat(job.Dir, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  size_t done = 0;
  // Ends: every pass writes some bytes, or fails.
  while (ok && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  if (ok) return;
  std::lock_guard<std::mutex> hold(job.Lock);
  job.Errors.push_back(job.Options.Dir + "/" + file + ": cannot write");
}

// What one worker keeps from one routine to the next: the room of its
// texts.
struct Worker {
  explicit Worker(const SymbolTable& symbols) : Listings(symbols) {}
  ListingWriter Listings;
  RoutineListing Listing;
  std::string Pas;
  std::string Page;
};

void ConvertOne(Job& job, Worker& worker, size_t index) {
  const Routine& r = job.Input.Routines[index];
  RoutineSummary& s = job.Summaries[index];
  RoutineListing& listing = worker.Listing;
  worker.Listings.Write(r, listing);
  for (const std::string& w : listing.Warnings) s.Messages.push_back("asm2pas-listing: warning: " + w);
  WriteFile(job, s.File + ".lst", listing.Text);

  StringSink sink;
  Conversion conversion(s.File + ".lst", sink, *job.Options.Read);
  conversion.Feed(listing.Text);
  ConversionResult result = conversion.Finish();
  s.Failed = result.Status != 0;
  for (std::string& m : Messages(result, s.File + ".lst")) s.Messages.push_back(std::move(m));
  s.Warnings = s.Messages.size() - (s.Failed ? 1 : 0);
  OutputShare share = CountOutput(sink.Text());
  s.OutputLines = share.Lines;
  s.StatementLines = share.Statements;

  PasHeading heading{r.Name, s.First, s.Last, s.Instructions, conversion.Legend()};
  worker.Pas = PasHeader(heading);
  worker.Pas += sink.Text();
  WriteFile(job, s.File + ".pas", worker.Pas);
  AppendRoutineSection(worker.Page, s, listing.Text, worker.Pas);
}

void Work(Job& job) {
  Worker worker(job.Symbols);
  size_t total = job.Input.Routines.size();
  // Ends: every pass takes the next page; `Next` only grows.
  for (size_t p = job.Next++; p < job.Pages.size(); p = job.Next++) {
    const Page& page = job.Pages[p];
    worker.Page.clear();
    OpenRoutinesPage(worker.Page, job.Options.Title + ": routines " + std::to_string(page.Number) + " to " +
                                      std::to_string(page.Number + page.Routines.size() - 1));
    // Ends: one pass per routine of the page.
    for (size_t i : page.Routines) {
      const Routine& r = job.Input.Routines[i];
      RoutineSummary& s = job.Summaries[i];
      s.Name = r.Name;
      s.File = job.Files[i];
      s.First = r.Instructions.front().Address;
      s.Last = r.Instructions.back().Address;
      s.Instructions = r.Instructions.size();
      size_t section = worker.Page.size();
      try {
        ConvertOne(job, worker, i);
      } catch (const std::exception& e) {
        // Nothing else is lost: the routine is reported as failed.
        s.Failed = true;
        s.Messages.push_back("asm2pas-listing: " + r.Name + ": " + e.what());
        worker.Page.resize(section);
        AppendRoutineSection(worker.Page, s, "", "");
      }
      size_t done = ++job.Done;
      if (job.Options.Progress && done % 1000 == 0)
        std::fprintf(stderr, "asm2pas-listing: %zu of %zu routines converted\n", done, total);
    }
    CloseRoutinesPage(worker.Page);
    WriteFile(job, page.File, worker.Page);
  }
}

std::string IndexText(const std::vector<RoutineSummary>& routines) {
  std::string out = "address   instructions  statements  warnings  status  routine\n";
  char line[96];
  // Ends: one pass per routine.
  for (const RoutineSummary& r : routines) {
    std::snprintf(line, sizeof line, "%s  %12zu  %10s  %8zu  %-6s  ", Hex8(r.First).c_str(), r.Instructions,
                  SharePercent(r).c_str(), r.Warnings, r.Failed ? "failed" : "ok");
    out += line + r.Name + "\n";
  }
  return out;
}

}  // namespace

WholeProgramResult ConvertWholeProgram(const ObjdumpInput& input, const WholeProgramOptions& options) {
  Job job{input,        options, -1, CollectSymbols(input), BaseFileNames(input.Routines, {"index"}),
          Paginate(input.Routines), {}, {}, {}, {}, {}};
  job.Summaries.resize(input.Routines.size());
  // Ends: one pass per page, and per routine within it.
  for (const Page& page : job.Pages)
    for (size_t i : page.Routines) job.Summaries[i].Page = page.File;
  job.Dir = ::open(options.Dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  unsigned threads = options.Threads ? options.Threads : Cores();
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(Work, std::ref(job));
  Work(job);
  for (std::thread& t : pool) t.join();

  WholeProgramResult result;
  std::vector<RoutineSummary> listed;
  // Ends: one pass per routine.
  for (size_t i = 0; i < input.Routines.size(); ++i) {
    if (input.Routines[i].Instructions.empty()) continue;
    listed.push_back(std::move(job.Summaries[i]));
    result.Failed += listed.back().Failed;
    result.Warnings += listed.back().Warnings;
  }
  result.Routines = listed.size();
  // The two indexes are made at once, and written in order.
  std::string text;
  std::thread make_text([&] { text = IndexText(listed); });
  std::string page = IndexPage(options.Title, listed);
  make_text.join();
  WriteFile(job, "index.txt", text);
  WriteFile(job, "index.html", page);
  if (job.Dir >= 0) ::close(job.Dir);
  result.Errors = std::move(job.Errors);
  return result;
}

}  // namespace asm2pas::objdump
