#include "convert/command_line.h"

namespace corvinex {

CommandLine& CommandLine::Text(std::string_view literal) {
  pieces_.push_back({Kind::kText, std::string(literal)});
  return *this;
}

std::string MediaPath(std::string_view path) {
  const size_t colon = path.find(':');
  const bool protocolLike = colon != std::string_view::npos && colon < path.find('/');
  if ((!path.empty() && path.front() == '-') || protocolLike) {
    return "file:" + std::string(path);
  }
  return std::string(path);
}

CommandLine& CommandLine::File(std::string_view path) {
  return Quoted(MediaPath(path));
}

CommandLine& CommandLine::Quoted(std::string_view value) {
  pieces_.push_back({Kind::kQuoted, std::string(value)});
  return *this;
}

CommandLine& CommandLine::Bare(std::string_view value) {
  pieces_.push_back({Kind::kBare, std::string(value)});
  return *this;
}

std::string CommandLine::LogText() const {
  std::string text;
  for (const auto& piece : pieces_) {
    if (piece.kind == Kind::kQuoted) {
      text += '"';
      text += piece.text;
      text += '"';
    } else {
      text += piece.text;
    }
  }
  return text;
}

std::vector<std::string> CommandLine::Argv() const {
  std::vector<std::string> argv;
  std::string word;
  bool inWord = false;
  auto finish = [&] {
    if (inWord) argv.push_back(std::move(word));
    word.clear();
    inWord = false;
  };
  for (const auto& piece : pieces_) {
    if (piece.kind != Kind::kText) {
      word += piece.text;
      inWord = true;
      continue;
    }
    for (char c : piece.text) {
      if (c == ' ') {
        finish();
      } else {
        word += c;
        inWord = true;
      }
    }
  }
  finish();
  return argv;
}

}  // namespace corvinex
