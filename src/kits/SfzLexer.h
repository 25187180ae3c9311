#pragma once
// SFZ text as headers and opcodes: comments dropped, #include followed,
// #define'd $NAMEs expanded, each opcode's value cut where the next opcode,
// header or directive on its line starts. Bounded for hostile input: file
// sizes, include depth and count, line length and expansion are capped.
// Control thread; reads included files through the given reader.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "kits/SfzKit.h"

namespace thumper {

struct SfzLimits {
  int nMaxIncludeDepth = 16;
  int nMaxFiles = 4096;  // included files, counting repeats
  size_t nMaxFileBytes = size_t{32} << 20;
  size_t nMaxTotalBytes = size_t{256} << 20;
  size_t nMaxLineLength = 65536;
  size_t nMaxExpandedLength = 65536;  // one name or value after $NAME expansion
  int nMaxExpansionRounds = 16;       // a $NAME whose value names another
  size_t nMaxRegions = 500000;
  size_t nMaxKitBytes = size_t{512} << 20;  // what the regions read take in memory
  size_t nMaxMessages = 500;
};

// Reads one file whole; on failure returns nothing and says why in error.
// At most maxBytes are read: more is a failure.
using SfzFileReader = std::function<std::optional<std::string>(
    const std::string& path, size_t maxBytes, std::string& error)>;

// The reader of regular files on disk.
std::optional<std::string> ReadSfzFileText(const std::string& path, size_t maxBytes,
                                           std::string& error);

class SfzLexerSink {
 public:
  virtual ~SfzLexerSink() = default;
  virtual void OnHeader(std::string_view name, const SfzPlace& place) = 0;
  virtual void OnOpcode(std::string_view name, std::string_view value, const SfzPlace& place) = 0;
  // A problem in the text, as "file:line: what".
  virtual void OnProblem(const SfzPlace& place, const std::string& what) = 0;
  // True once the sink wants no more (too many regions).
  virtual bool Full() const { return false; }
};

// Lexes the top file (text already read) and what it includes, which is
// found relative to folder.
void LexSfz(const std::string& topPath, std::string_view topText, const std::string& folder,
            const SfzFileReader& reader, const SfzLimits& limits, SfzLexerSink& sink);

}  // namespace thumper
