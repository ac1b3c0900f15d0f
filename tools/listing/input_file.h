// Reads the whole input of asm2pas-listing, a file or standard input. A
// regular file is mapped into memory, its pages at once, instead of being
// copied; standard input and what cannot be mapped are read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace asm2pas::objdump {

class InputText {
 public:
  InputText() = default;
  InputText(const InputText&) = delete;
  InputText& operator=(const InputText&) = delete;
  ~InputText();

  // `path` "-" is standard input. False with `error` set (the message,
  // naming the file) when it cannot be read.
  bool Read(const std::string& path, std::string& error);
  std::string_view View() const { return mapped_ ? std::string_view(mapped_, size_) : std::string_view(read_); }

 private:
  const char* mapped_ = nullptr;  // the file, mapped
  size_t size_ = 0;
  std::string read_;              // or what was read
};

}  // namespace asm2pas::objdump
