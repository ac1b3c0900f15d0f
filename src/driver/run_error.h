// The error that ends a run at once: thrown where the failure is found and
// caught at the one exit point of a conversion, which reports it.
#pragma once

#include <string>

namespace asm2pas {

struct RunError {
  int Line = 0;  // listing line it concerns, or 0
  std::string Message;
};

}  // namespace asm2pas
