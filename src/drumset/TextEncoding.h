#pragma once
// Stored strings are the bytes the platform gave. Ours are UTF-8; drum sets made
// on the original platform carry Windows-1252. Shown text is always UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace thumper {

bool IsValidUtf8(std::string_view bytes);

// The bytes as UTF-8 text: unchanged when they already are valid UTF-8,
// otherwise decoded as Windows-1252.
std::string DisplayText(std::string_view bytes);

// Every byte as its Windows-1252 character, in UTF-8, whether or not the bytes
// are valid UTF-8. Each of the 256 byte values has its own character (the five
// unassigned ones stand for the C1 control of the same value), so
// Windows1252Bytes gives the bytes back.
std::string Windows1252ToUtf8(std::string_view bytes);

// The Windows-1252 bytes of a UTF-8 text; nothing when the text is not valid
// UTF-8 or holds a character Windows-1252 does not have.
std::optional<std::string> Windows1252Bytes(std::string_view utf8);

}  // namespace thumper
