#pragma once
// The program's own HTML manual, shown in the desktop's browser.

#include <QString>

namespace thumper {

// Writes the manual from the resources to the user's cache folder and asks the
// desktop to open it. Any failure does nothing, without a message; false then.
bool OpenHelpManual();

// Where the manual is written: <cache>/thumper/help/index.html.
QString HelpManualPath();

}  // namespace thumper
