#pragma once
// Stored strings are the bytes the platform gave. Ours are UTF-8; drum sets made
// on the original platform carry Windows-1252. Shown text is always UTF-8.

#include <string>
#include <string_view>

namespace thumper {

bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8 text: unchanged when they already are valid UTF-8,
// otherwise decoded as Windows-1252.
std::string DisplayText(std::string_view bytes);

}  // namespace thumper
