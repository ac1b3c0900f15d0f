// Where generated lines go: an abstract byte sink, with a sink that collects
// into a string (tests, fuzzer, benchmarks) and a buffered file-descriptor
// sink for the tool's standard output.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace asm2pas {

class Sink {
 public:
  virtual ~Sink() = default;
  // False once the bytes cannot be delivered (a failed write).
  virtual bool Write(std::string_view bytes) = 0;
  // Writes `spaces` blanks, the line and CR LF; as Write otherwise. The
  // sinks that buffer append the pieces straight into their buffer.
  virtual bool WriteLine(size_t spaces, std::string_view line);
  // The errno of the first failed write, or 0.
  virtual int Error() const { return 0; }
};

// Appends `spaces` blanks, the line and CR LF to the text: one size check
// and three plain copies instead of three appends.
inline void AppendLine(std::string& text, size_t spaces, std::string_view line) {
  const size_t at = text.size();
  text.resize(at + spaces + line.size() + 2);
  char* p = text.data() + at;
  std::memset(p, ' ', spaces);
  if (!line.empty()) std::memcpy(p + spaces, line.data(), line.size());
  p[spaces + line.size()] = '\r';
  p[spaces + line.size() + 1] = '\n';
}

class StringSink : public Sink {
 public:
  bool Write(std::string_view bytes) override {
    text_.append(bytes);
    return true;
  }
  bool WriteLine(size_t spaces, std::string_view line) override {
    AppendLine(text_, spaces, line);
    return true;
  }
  const std::string& Text() const { return text_; }
  // Room for this many bytes, so that the text grows without copies.
  void Reserve(size_t bytes) { text_.reserve(bytes); }

 private:
  std::string text_;
};

// Buffers writes and hands them to the descriptor in large blocks. Flush()
// must be called before the process exits; the destructor does not.
class FdSink : public Sink {
 public:
  explicit FdSink(int fd);
  bool Write(std::string_view bytes) override;
  bool WriteLine(size_t spaces, std::string_view line) override;
  bool Flush();
  int Error() const override { return error_; }

 private:
  int fd_;
  int error_ = 0;
  std::string buffer_;
};

}  // namespace asm2pas
