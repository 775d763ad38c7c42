#pragma once
// A child-process command kept as pieces, so that the same pieces give both the
// exact one-line text that is logged and the argument vector that is executed.
// Quoted and bare pieces are always one argument: a path with blanks, quotes, '$',
// ';', a leading '-' or non-ASCII letters reaches the tool unchanged, and nothing
// is ever interpreted by a shell.

#include <string>
#include <string_view>
#include <vector>

namespace corvinex {

// A path as the encoder tool must be given it: one that begins with '-' would be
// taken for an option, and one with a ':' before its first '/' for a protocol
// ("out:take.mp4"), so those are given as "file:" addresses. Others stay as they are.
std::string MediaPath(std::string_view path);

class CommandLine {
 public:
  // Literal option text: shown as is; split at blanks into arguments.
  CommandLine& Text(std::string_view literal);
  // A value shown between double quotes; one argument, even when empty.
  CommandLine& Quoted(std::string_view value);
  // A value shown as is (the unquoted tool path); one argument.
  CommandLine& Bare(std::string_view value);
  // A file the tool reads or writes, quoted like Quoted, made safe with MediaPath.
  CommandLine& File(std::string_view path);

  std::string LogText() const;
  // Pieces not separated by a blank join into one argument, as they read.
  std::vector<std::string> Argv() const;
  bool empty() const { return pieces_.empty(); }

 private:
  enum class Kind { kText, kQuoted, kBare };
  struct Piece {
    Kind kind;
    std::string text;
  };
  std::vector<Piece> pieces_;
};

}  // namespace corvinex
