#include "whole_program.h"

#include <fcntl.h>
#include <unistd.h>

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

// The state the workers share: what they read, and where they put results
// (each routine's own slot; errors under the lock).
struct Job {
  const ObjdumpInput& Input;
  const WholeProgramOptions& Options;
  int Dir = -1;  // options.Dir, open
  SymbolTable Symbols;
  std::vector<std::string> Files;
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

// Collects what asm2pas prints into a text that keeps its room from one
// routine to the next; as StringSink otherwise.
class BufferSink : public Sink {
 public:
  explicit BufferSink(std::string& text) : text_(text) { text_.clear(); }
  bool Write(std::string_view bytes) override {
    text_.append(bytes);
    return true;
  }
  bool WriteLine(size_t spaces, std::string_view line) override {
    text_.append(spaces, ' ').append(line).append("\r\n");
    return true;
  }

 private:
  std::string& text_;
};

// What one worker keeps from one routine to the next: the room of its
// texts.
struct Worker {
  explicit Worker(const SymbolTable& symbols) : Listings(symbols) {}
  ListingWriter Listings;
  RoutineListing Listing;
  std::string Output;  // what asm2pas prints
  std::string Pas;
  std::string Page;
};

void ConvertOne(Job& job, Worker& worker, size_t index) {
  const Routine& r = job.Input.Routines[index];
  RoutineSummary& s = job.Summaries[index];
  s.Name = r.Name;
  s.File = job.Files[index];
  s.First = r.Instructions.front().Address;
  s.Last = r.Instructions.back().Address;
  s.Instructions = r.Instructions.size();
  RoutineListing& listing = worker.Listing;
  worker.Listings.Write(r, listing);
  for (const std::string& w : listing.Warnings) s.Messages.push_back("asm2pas-listing: warning: " + w);
  WriteFile(job, s.File + ".lst", listing.Text);

  BufferSink sink(worker.Output);
  Conversion conversion(s.File + ".lst", sink, *job.Options.Read);
  conversion.Feed(listing.Text);
  ConversionResult result = conversion.Finish();
  s.Failed = result.Status != 0;
  for (std::string& m : Messages(result, s.File + ".lst")) s.Messages.push_back(std::move(m));
  s.Warnings = s.Messages.size() - (s.Failed ? 1 : 0);
  OutputShare share = CountOutput(worker.Output);
  s.OutputLines = share.Lines;
  s.StatementLines = share.Statements;

  PasHeading heading{r.Name, s.First, s.Last, s.Instructions, conversion.Legend()};
  worker.Pas = PasHeader(heading);
  worker.Pas += worker.Output;
  WriteFile(job, s.File + ".pas", worker.Pas);
  worker.Page.clear();
  AppendRoutinePage(worker.Page, s, listing.Text, worker.Pas);
  WriteFile(job, s.File + ".html", worker.Page);
}

void Work(Job& job) {
  Worker worker(job.Symbols);
  size_t total = job.Input.Routines.size();
  // Ends: every pass takes the next routine; `Next` only grows.
  for (size_t i = job.Next++; i < total; i = job.Next++) {
    if (job.Input.Routines[i].Instructions.empty()) continue;
    try {
      ConvertOne(job, worker, i);
    } catch (const std::exception& e) {
      // Nothing else is lost: the routine is reported as failed.
      job.Summaries[i].Failed = true;
      job.Summaries[i].Messages.push_back("asm2pas-listing: " + job.Input.Routines[i].Name + ": " + e.what());
    }
    size_t done = ++job.Done;
    if (job.Options.Progress && done % 1000 == 0)
      std::fprintf(stderr, "asm2pas-listing: %zu of %zu routines converted\n", done, total);
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
  Job job{input, options, -1, CollectSymbols(input), BaseFileNames(input.Routines, {"index"}), {}, {}, {}, {}, {}};
  job.Summaries.resize(input.Routines.size());
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
  WriteFile(job, "index.txt", IndexText(listed));
  WriteFile(job, "index.html", IndexPage(options.Title, listed));
  if (job.Dir >= 0) ::close(job.Dir);
  result.Errors = std::move(job.Errors);
  return result;
}

}  // namespace asm2pas::objdump
