// In-process timings of the conversion's hot paths on the generated
// listings: the address index, operand naming, reading, and the whole
// conversion into a string.
//
//   build-release/bench/asm2pas_hot_paths [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/conversion.h"
#include "listing_builder.h"
#include "naming/vars.h"
#include "output/sink.h"

namespace {

const char* const kShapes[] = {"straight", "nested", "tryfinally", "mix"};

std::string ReadListing(const std::string& shape, int size) {
  std::string path =
      std::string(ASM2PAS_BENCH_LISTINGS) + "/" + shape + "-" + std::to_string(size) + ".lst";
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "missing %s\n", path.c_str());
    std::abort();
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every address of the table, looked up once per iteration.
void BM_FindAddr(benchmark::State& state) {
  auto run = asm2pas::testing::Read(ReadListing("mix", static_cast<int>(state.range(0))));
  const asm2pas::CodeTable& code = run->Code;
  for (auto _ : state) {
    // Ends: one pass over the table.
    for (int i = 1; i <= code.CodeCount(); ++i) {
      benchmark::DoNotOptimize(code.FindAddr(code.At(i).Address));
    }
  }
  state.SetItemsProcessed(state.iterations() * code.CodeCount());
}
BENCHMARK(BM_FindAddr)->Arg(1000)->Arg(10000);

// Every operand of the table through VarName, as the translation does.
void BM_VarName(benchmark::State& state) {
  auto run = asm2pas::testing::Read(ReadListing("straight", static_cast<int>(state.range(0))));
  const asm2pas::CodeTable& code = run->Code;
  for (auto _ : state) {
    // Ends: one pass over the table.
    for (int i = 1; i <= code.CodeCount(); ++i) {
      const asm2pas::TOpCode& e = code.At(i);
      benchmark::DoNotOptimize(asm2pas::VarName(run->Vars, e.Op1));
      benchmark::DoNotOptimize(asm2pas::VarName(run->Vars, e.Op2));
      benchmark::DoNotOptimize(asm2pas::VarName(run->Vars, code.Op3(i)));
    }
  }
  state.SetItemsProcessed(state.iterations() * code.CodeCount() * 3);
}
BENCHMARK(BM_VarName)->Arg(1000)->Arg(10000);

// Reading alone: lines, columns, variable registration, jump checks.
void BM_LoadListing(benchmark::State& state) {
  std::string bytes = ReadListing("mix", static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto run = asm2pas::testing::Read(bytes);
    benchmark::DoNotOptimize(run->Code.CodeCount());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_LoadListing)->Arg(1000)->Arg(10000);

// The whole conversion, per shape and size.
void BM_Convert(benchmark::State& state) {
  const std::string shape = kShapes[state.range(0)];
  std::string bytes = ReadListing(shape, static_cast<int>(state.range(1)));
  state.SetLabel(shape);
  for (auto _ : state) {
    asm2pas::StringSink out;
    asm2pas::ConversionResult result = asm2pas::ConvertListing(bytes, "bench.lst", out);
    if (result.Status != 0) state.SkipWithError("conversion failed");
    benchmark::DoNotOptimize(out.Text().size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_Convert)->ArgsProduct({{0, 1, 2, 3}, {1000, 5000, 10000}});

}  // namespace

BENCHMARK_MAIN();
