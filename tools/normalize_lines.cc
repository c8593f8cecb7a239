// Reads UTF-8 lines on stdin and writes each normalized with the default switches, one
// per line: the vocabulary training script brings its words into the form encoding sees.
#include <iostream>
#include <string>

#include "tokenizer/normalizer.h"
#include "vocab/utf8.h"

int main() {
  std::ios::sync_with_stdio(false);
  sarfan::Normalizer normalizer;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!sarfan::utf8::is_valid(line)) {
      std::cerr << "normalize_lines: input is not valid UTF-8\n";
      return 1;
    }
    std::cout << normalizer.normalize(line) << '\n';
  }
  return std::cout.good() ? 0 : 1;
}
