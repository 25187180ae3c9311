#pragma once
// Whether the window was shown when the session last saved: a small file of
// Thumper's own beside the session's drum set (CLIENT.window beside
// CLIENT.drums), so the drum set file stays as it is everywhere else. No GUI;
// control thread.

#include <string>

namespace thumper {

inline constexpr const char* kWindowStateSuffix = ".window";
inline constexpr const char* kWindowShown = "shown";
inline constexpr const char* kWindowHidden = "hidden";

// The state file of the session whose drum set is drumSetPath ("X.drums" gives "X.window").
std::string WindowStatePath(const std::string& drumSetPath);
// Shown only when the file says so: a session that never saved one starts hidden.
bool ReadWindowShown(const std::string& drumSetPath);
// Replaces the file at once (a temporary file renamed over it); the problem
// in a sentence, or empty.
std::string WriteWindowShown(const std::string& drumSetPath, bool shown);

}  // namespace thumper
