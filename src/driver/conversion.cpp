#include "driver/conversion.h"

#include <optional>
#include <utility>

#include "driver/run_error.h"
#include "driver/run_state.h"
#include "driver/translate.h"
#include "driver/trim_frame.h"
#include "listing/reader.h"
#include "output/writer.h"

namespace asm2pas {

namespace {

std::string Where(const std::string& file, int line) {
  std::string text = "asm2pas: ";
  text.append(file);
  if (line > 0) text.append(":").append(std::to_string(line));
  return text.append(": ");
}

}  // namespace

struct Conversion::Impl {
  RunState Run;
  ListingReader Reader{Run};
  std::optional<RunError> Error;
};

Conversion::Conversion(std::string file_name, Sink& out) : impl_(std::make_unique<Impl>()) {
  impl_->Run.FileName = std::move(file_name);
  impl_->Run.Output.Out = &out;
}

Conversion::~Conversion() = default;

bool Conversion::Feed(std::string_view bytes) {
  if (impl_->Error) return false;
  try {
    impl_->Reader.Feed(bytes);
  } catch (RunError& e) {
    impl_->Error = std::move(e);
    return false;
  }
  return true;
}

void Conversion::FailRead(const std::string& cause) {
  if (!impl_->Error) impl_->Error = RunError{0, cause};
}

ConversionResult Conversion::Finish() {
  RunState& run = impl_->Run;
  ConversionResult result;
  if (!impl_->Error) {
    try {
      impl_->Reader.Finish();
      Emit(run.Output, "begin");
      TrimFrame(run);
      Translate(run, run.StartIndex, run.EndIndex);
      Emit(run.Output, "end;");
    } catch (RunError& e) {
      impl_->Error = std::move(e);
    }
  }
  result.Messages = run.Warnings;
  if (!run.Vars.Refused.empty()) {
    result.Messages.push_back(Where(run.FileName, 0) + "warning: more than 2000 variables; " +
                              std::to_string(run.Vars.Refused.size()) +
                              " further operands keep their own text");
  }
  if (impl_->Error) {
    result.Status = 1;
    result.Messages.push_back(Where(run.FileName, impl_->Error->Line) + impl_->Error->Message);
    return result;
  }
  // Output cut short by the limits is a failed run, though what was
  // written stands.
  if (run.Output.DroppedLines > 0) {
    result.Status = 1;
    result.Messages.push_back(Where(run.FileName, 0) + "output cut at 10000 lines; " +
                              std::to_string(run.Output.DroppedLines) + " further lines dropped");
  }
  if (run.Labels.Dropped > 0) {
    result.Status = 1;
    result.Messages.push_back(Where(run.FileName, 0) + "more than 1000 deferred texts; " +
                              std::to_string(run.Labels.Dropped) + " further \"end;\" dropped");
  }
  return result;
}

std::vector<std::pair<std::string, std::string>> Conversion::Legend() const {
  std::vector<std::pair<std::string, std::string>> legend;
  legend.reserve(impl_->Run.Vars.Vars.size());
  for (const TVar& v : impl_->Run.Vars.Vars) legend.emplace_back(v.NewName, v.Name);
  return legend;
}

ConversionResult ConvertListing(std::string_view bytes, const std::string& file_name,
                                Sink& out) {
  Conversion conversion(file_name, out);
  conversion.Feed(bytes);
  return conversion.Finish();
}

}  // namespace asm2pas
