#pragma once
// File names taken from paths. Drum sets made on the other platform store paths
// with '\'; ours use '/'. Both separate wherever a file name is taken.

#include <string>
#include <string_view>

namespace thumper {

bool IsPathSeparator(char c);

// The part after the last separator; the whole path when it has none.
std::string FileNameOf(std::string_view path);

// The file name up to its last '.'; a name without '.' is used whole.
std::string TitleOf(std::string_view path);

// The path up to and including its last separator; empty when it has none.
std::string FolderOf(std::string_view path);

}  // namespace thumper
