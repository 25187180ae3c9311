#include "drumset/DocumentBase.h"

#include <new>

#include "drumset/FileIo.h"
#include "drumset/PathNames.h"

namespace thumper {

void DocumentBase::SetPathName(std::string path) {
  m_strTitle = FileNameOf(path);
  m_strPathName = std::move(path);
}

std::string DocumentBase::DrumSetFolder() const {
  if (m_strPathName.empty() || m_strTitle.size() > m_strPathName.size()) return {};
  return m_strPathName.substr(0, m_strPathName.size() - m_strTitle.size());
}

bool DocumentBase::OnNewDocument() {
  m_strPathName.clear();
  SetModifiedFlag(false);
  return true;
}

bool DocumentBase::OnOpenDocument(const std::string& path, UiServices& ui) {
  FileReadResult file = ReadWholeFile(path);
  if (file.error != FileError::None) {
    ui.MessageBox(FileErrorText(file.error, path), kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  // The framework reads nothing from an empty file and keeps the content.
  bool loaded = true;
  try {
    loaded = file.bytes.empty() || Load(file.bytes);
  } catch (const std::bad_alloc&) {
    ui.MessageBox(FileErrorText(FileError::Generic, path), kAppName, MsgButtons::Ok,
                  MsgIcon::Warning);
    return false;
  }
  if (!loaded) {
    ui.MessageBox(kUnexpectedFileFormat, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  SetPathName(path);
  SetModifiedFlag(false);
  return true;
}

bool DocumentBase::OnSaveDocument(const std::string& path, UiServices& ui) {
  std::vector<uint8_t> bytes;
  try {
    bytes = Store();
  } catch (const std::bad_alloc&) {
    ui.MessageBox(kFailedToSaveDocument, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  const FileError error = WriteFileReplacing(path, bytes);
  if (error != FileError::None) {
    const std::string text =
        error == FileError::Generic ? kFailedToSaveDocument : FileErrorText(error, path);
    ui.MessageBox(text, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  SetPathName(path);
  SetModifiedFlag(false);
  return true;
}

}  // namespace thumper
