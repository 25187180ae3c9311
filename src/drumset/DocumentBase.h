#pragma once
// The framework's document: a path, a title, a modified flag, and the new, open
// and save steps. The content and its bytes come from the derived document.
// UI thread only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "drumset/UiServices.h"

namespace thumper {

inline constexpr const char* kUnexpectedFileFormat = "Unexpected file format.";
inline constexpr const char* kFailedToSaveDocument = "Failed to save document.";

class DocumentBase {
 public:
  virtual ~DocumentBase() = default;

  const std::string& GetPathName() const { return m_strPathName; }
  const std::string& GetTitle() const { return m_strTitle; }
  void SetTitle(std::string title) { m_strTitle = std::move(title); }
  // Sets the path and makes the file's name (extension included) the title.
  void SetPathName(std::string path);

  bool IsModified() const { return m_bModified; }
  virtual void SetModifiedFlag(bool modified = true) { m_bModified = modified; }

  // The folder of the document's file, with its trailing separator: the path with
  // as many characters cut off as the title has. Empty for a document without a file.
  std::string DrumSetFolder() const;

  // The framework's part of a new document: clears the path and the modified flag.
  virtual bool OnNewDocument();

  // Reads the file at path. A file that cannot be opened or that is malformed is
  // reported through ui and leaves the document exactly as it was; a zero-length
  // file loads nothing but is accepted. On success the path and title are the
  // file's and the modified flag is clear. The caller runs its update step only
  // after a success.
  [[nodiscard]] bool OnOpenDocument(const std::string& path, UiServices& ui);

  // Writes the document to path, replacing an existing file only once the new one
  // is complete. Failures are reported through ui and leave path, title and flag
  // as they were; on success the path and title are the file's and the flag is clear.
  [[nodiscard]] bool OnSaveDocument(const std::string& path, UiServices& ui);

 protected:
  // The whole file for the current content.
  virtual std::vector<uint8_t> Store() const = 0;
  // Replaces the content with that of the bytes; false, content untouched, when
  // the bytes are malformed.
  virtual bool Load(std::span<const uint8_t> bytes) = 0;

 private:
  std::string m_strPathName;
  std::string m_strTitle;
  bool m_bModified = false;
};

}  // namespace thumper
