// Trimming helpers shared by the reader, the naming and the recognisers:
// they strip characters of code 0 to 32 (taken as unsigned bytes) from the
// start, the end or both ends of a text.
#pragma once

#include <string>
#include <string_view>

namespace asm2pas {

std::string_view TrimLeading(std::string_view text);
std::string_view TrimTrailing(std::string_view text);
std::string_view TrimBoth(std::string_view text);

}  // namespace asm2pas
