#pragma once
// The one seam for everything modal: message boxes, file dialogs and the small
// dialogs. The GUI shows real dialogs; the command line answers without a user;
// tests script the answers and record every call. UI thread only.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace thumper {

inline constexpr const char* kAppName = "Thumper";

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

// File dialog flags, by the names the dialog table uses.
namespace ofn {
inline constexpr uint32_t kOverwritePrompt = 0x2;
inline constexpr uint32_t kHideReadOnly = 0x4;
inline constexpr uint32_t kAllowMultiSelect = 0x200;
inline constexpr uint32_t kFileMustExist = 0x1000;
inline constexpr uint32_t kNoNetworkButton = 0x20000;
inline constexpr uint32_t kExplorer = 0x80000;
inline constexpr uint32_t kStandard =
    0xA0006;  // hide read-only, overwrite prompt, no network, explorer
inline constexpr uint32_t kMustExist = 0xA1006;
inline constexpr uint32_t kLoadSamples = 0x81202;
}  // namespace ofn

struct FileDialogParams {
  bool bOpen = true;           // false: a save dialog
  std::string strDefExt;       // ".drums"; empty for none
  std::string strInitialName;  // empty for none
  uint32_t nFlags = 0;
  std::string strFilter;  // written as "name | pattern||"
  std::string strTitle;   // empty: the dialog's own
};

struct FileDialogResult {
  bool bOk = false;                // false: Cancel, or the dialog failed
  std::vector<std::string> paths;  // full paths, in the order the dialog returns them

  const std::string& Path() const { return paths.front(); }
};

class UiServices {
 public:
  virtual ~UiServices() = default;

  // An empty caption means the application name.
  virtual MsgResult MessageBox(const std::string& text, const std::string& caption,
                               MsgButtons buttons = MsgButtons::Ok,
                               MsgIcon icon = MsgIcon::None) = 0;
  virtual FileDialogResult FileDialog(const FileDialogParams& params) = 0;
  // The Create Group dialog, offering a name; nothing on Cancel.
  virtual std::optional<std::string> CreateGroupDialog(const std::string& offeredName) = 0;
  // A report that must not stop the user: on standard error, never a modal box.
  virtual void Notice(const std::string& text, const std::string& caption);
};

}  // namespace thumper
