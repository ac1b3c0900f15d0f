#include "driver/conversion.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "driver/run_state.h"
#include "output/writer.h"
#include "translate/context.h"

namespace asm2pas {

struct Conversion::Impl {
  explicit Impl(const Reading& reading) : Run(reading) {}
  std::string FileName;
  Sink* Out = nullptr;
  RunState Run;
  std::optional<Diagnostic> ReadError;  // from outside the reader
};

Conversion::Conversion(std::string file_name, Sink& out, const Reading& reading)
    : impl_(std::make_unique<Impl>(reading)) {
  impl_->FileName = std::move(file_name);
  impl_->Out = &out;
  impl_->Run.Output.Out = &out;
}

Conversion::~Conversion() = default;

bool Conversion::Feed(std::string_view bytes) {
  if (impl_->ReadError) return false;
  return impl_->Run.Reader.Feed(bytes);
}

void Conversion::FailRead(Diagnostic error) {
  if (!impl_->ReadError && !impl_->Run.Reader.Failed()) impl_->ReadError = std::move(error);
}

namespace {

// Reads the rest, then translates the body the reading chooses, framed by
// "begin" and "end;".
void Run(RunState& run) {
  run.Reader.Finish();
  if (run.Reader.Failed()) return;
  run.Output.Mode = run.Read.Traits().OutputLayout;
  Emit(run.Output, "begin", Shape::kOpens);
  TranslateRoutine(run.Code, run.Vars, run.Output, run.Labels, run.Read);
  Emit(run.Output, "end;", Shape::kCloses);
}

}  // namespace

ConversionResult Conversion::Finish() {
  RunState& run = impl_->Run;
  if (!impl_->ReadError) Run(run);

  ConversionResult result;
  std::optional<Diagnostic> error = std::move(impl_->ReadError);
  for (Diagnostic& d : run.Diagnostics) {
    if (IsWarning(d.Kind)) {
      result.Diagnostics.push_back(std::move(d));
    } else if (!error) {
      error = std::move(d);
    }
  }
  if (!run.Vars.Refused.empty()) {
    result.Diagnostics.push_back(
        {DiagKind::kVarsRefused, 0, static_cast<int64_t>(run.Vars.Refused.size()), {}, {}});
  }
  if (!error && run.Output.Failed) {
    const int err = impl_->Out->Error();
    error = Diagnostic{DiagKind::kCannotWrite, 0, 0, std::strerror(err != 0 ? err : EIO), {}};
  }
  if (error) {
    result.Status = 1;
    result.Diagnostics.push_back(std::move(*error));
    return result;
  }
  // Output cut short by the limits is a failed run, though what was
  // written stands.
  if (run.Output.DroppedLines > 0) {
    result.Diagnostics.push_back({DiagKind::kOutputCut, 0, run.Output.DroppedLines, {}, {}});
  }
  if (run.Labels.Dropped > 0) {
    result.Diagnostics.push_back({DiagKind::kLabelsDropped, 0, run.Labels.Dropped, {}, {}});
  }
  for (const Diagnostic& d : result.Diagnostics) {
    if (!IsWarning(d.Kind)) result.Status = 1;
  }
  return result;
}

std::vector<std::pair<std::string, std::string>> Conversion::Legend() const {
  std::vector<std::pair<std::string, std::string>> legend;
  legend.reserve(impl_->Run.Vars.Vars.size());
  for (const TVar& v : impl_->Run.Vars.Vars) legend.emplace_back(v.NewName, v.Name);
  return legend;
}

std::vector<std::string> Messages(const ConversionResult& result, std::string_view file_name) {
  std::vector<std::string> lines;
  lines.reserve(result.Diagnostics.size());
  for (const Diagnostic& d : result.Diagnostics) {
    lines.push_back(FormatDiagnostic(kToolName, file_name, d));
  }
  return lines;
}

ConversionResult ConvertListing(std::string_view bytes, const std::string& file_name, Sink& out,
                                const Reading& reading) {
  Conversion conversion(file_name, out, reading);
  conversion.Feed(bytes);
  return conversion.Finish();
}

}  // namespace asm2pas
