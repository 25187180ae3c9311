#pragma once
// Reads an .sfz file (and what it includes) into an SfzKit: headers with
// their inheritance (<global> over <master> over <group> over <region>; a
// new <group> forgets the last group's opcodes, a new <master> the master's
// and the group's, a new <global> all three), <control> and <curve>, each
// region's sample found on disk. Control thread; reads files.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kits/SfzKit.h"
#include "kits/SfzLexer.h"

namespace thumper {

struct SfzReadOptions {
  SfzLimits limits;
  // Look every sample up on disk and drop the regions whose file is
  // missing; off, strSamplePath stays empty and every region is kept.
  bool bFindSamples = true;
  SfzFileReader reader = ReadSfzFileText;  // for #include
};

struct SfzReadResult {
  std::optional<SfzKit> kit;  // nothing when strError says why
  std::string strError;
  // What was wrong but did not stop the kit, each as "file:line: opcode: what".
  std::vector<std::string> messages;
  size_t nMessagesLeftOut = 0;  // past the limit on messages
};

SfzReadResult ReadSfzKit(const std::string& path, const SfzReadOptions& options = {});

// The same from text already read; path names it in messages, and its
// folder is where includes and samples are found.
SfzReadResult ParseSfzText(std::string_view text, const std::string& path,
                           const SfzReadOptions& options = {});

}  // namespace thumper
