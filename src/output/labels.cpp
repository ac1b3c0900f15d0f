#include "output/labels.h"

namespace asm2pas {

int FindLabel(const LabelTable& labels, uint32_t address, std::string_view text) {
  auto it = labels.ByAddress.find(address);
  if (it == labels.ByAddress.end()) return -1;
  // The list holds this address's entries in table order, so the first
  // match is the one a scan of the whole table finds first.
  for (int k : it->second) {
    if (labels.Labels[static_cast<size_t>(k - 1)].Text == text) return k;
  }
  return -1;
}

void AddLabel(LabelTable& labels, uint32_t address, std::string_view text, Shape shape) {
  if (FindLabel(labels, address, text) >= 1) return;
  if (labels.LabelCount() >= kLabelsCapacity) {
    ++labels.Dropped;
    return;
  }
  labels.Labels.push_back(TLabel{address, std::string(text), shape});
  labels.ByAddress[address].push_back(labels.LabelCount());
  labels.Addresses[(address >> 6) & 63] |= uint64_t{1} << (address & 63);
}

void EmitLabels(const LabelTable& labels, OutputState& out, uint32_t address) {
  auto it = labels.ByAddress.find(address);
  if (it == labels.ByAddress.end()) return;
  for (int k : it->second) {
    const TLabel& label = labels.Labels[static_cast<size_t>(k - 1)];
    Emit(out, label.Text, label.LineShape);
  }
}

}  // namespace asm2pas
