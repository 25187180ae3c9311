#pragma once
// Hydrogen kits made by the tests: drumkit.xml text in either layout, sample
// files, and tar.gz archives with any entries (unsafe ones included).

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace thumper::test {

struct TestLayer {
  std::string file;
  double min = 0, max = 1;
  double gain = 1, pitch = 0;
};

struct TestInstrument {
  std::string name;
  std::vector<TestLayer> layers;
  int muteGroup = -1;
  int midiOutNote = -1;  // -1: no element
  double pan = 0;
  bool oldLayout = false;  // one <filename>, no <layer>
  bool component = false;  // layers inside <instrumentComponent>
  std::string settings = {};  // more elements of the instrument, as given
};

inline std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

inline std::string DrumkitXml(const std::string& name, const std::vector<TestInstrument>& list) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<drumkit_info xmlns=\"http://www.hydrogen-music.org/drumkit\">\n"
      " <name>" +
      Escaped(name) + "</name>\n <instrumentList>\n";
  int id = 0;
  for (const TestInstrument& in : list) {
    xml += "  <instrument>\n   <id>" + std::to_string(id++) + "</id>\n   <name>" +
           Escaped(in.name) + "</name>\n   <volume>1</volume>\n   <pan>" + std::to_string(in.pan) +
           "</pan>\n   <gain>1</gain>\n   <muteGroup>" + std::to_string(in.muteGroup) +
           "</muteGroup>\n" + in.settings;
    if (in.midiOutNote >= 0)
      xml += "   <midiOutNote>" + std::to_string(in.midiOutNote) + "</midiOutNote>\n";
    if (in.oldLayout) {
      xml += "   <filename>" + Escaped(in.layers.at(0).file) + "</filename>\n";
    } else {
      if (in.component) xml += "   <instrumentComponent>\n    <component_id>0</component_id>\n";
      for (const TestLayer& l : in.layers) {
        xml += "   <layer>\n    <filename>" + Escaped(l.file) + "</filename>\n    <min>" +
               std::to_string(l.min) + "</min>\n    <max>" + std::to_string(l.max) +
               "</max>\n    <gain>" + std::to_string(l.gain) + "</gain>\n    <pitch>" +
               std::to_string(l.pitch) + "</pitch>\n   </layer>\n";
      }
      if (in.component) xml += "   </instrumentComponent>\n";
    }
    xml += "  </instrument>\n";
  }
  return xml + " </instrumentList>\n</drumkit_info>\n";
}

// A short sample whose every value is level, so a render tells them apart.
inline void WriteLevelWav(const std::string& path, int16_t level, int frames = 400) {
  WriteWav(path, std::vector<int16_t>(2 * frames, level));
}

// Writes the kit folder: drumkit.xml and a sample for every layer's file, each
// file at its own level (100, 200, ... in order of first use).
inline void MakeKitFolder(const std::string& folder, const std::string& name,
                          const std::vector<TestInstrument>& list) {
  std::filesystem::create_directories(folder);
  WriteTextFile(folder + "/drumkit.xml", DrumkitXml(name, list));
  std::vector<std::string> files;
  for (const TestInstrument& in : list)
    for (const TestLayer& l : in.layers)
      if (std::find(files.begin(), files.end(), l.file) == files.end()) files.push_back(l.file);
  for (size_t i = 0; i < files.size(); ++i) {
    std::filesystem::create_directories(
        std::filesystem::path(folder + "/" + files[i]).parent_path());
    WriteLevelWav(folder + "/" + files[i], static_cast<int16_t>(100 * (i + 1)));
  }
}

struct TarEntry {
  enum Kind { File, Folder, Symlink, Hardlink, Fifo };
  TarEntry(std::string n, std::string c = "", Kind k = File, std::string t = "")
      : name(std::move(n)), content(std::move(c)), kind(k), target(std::move(t)) {}
  std::string name;
  std::string content;  // regular files
  Kind kind;
  std::string target;  // links
};

// A gzip-compressed tar archive with exactly these entries.
inline void WriteTarGz(const std::string& path, const std::vector<TarEntry>& entries) {
  archive* a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  archive_write_open_filename(a, path.c_str());
  for (const TarEntry& e : entries) {
    archive_entry* entry = archive_entry_new();
    archive_entry_set_pathname(entry, e.name.c_str());
    archive_entry_set_perm(entry, 0644);
    switch (e.kind) {
      case TarEntry::File:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
        break;
      case TarEntry::Folder:
        archive_entry_set_filetype(entry, AE_IFDIR);
        archive_entry_set_perm(entry, 0755);
        break;
      case TarEntry::Symlink:
        archive_entry_set_filetype(entry, AE_IFLNK);
        archive_entry_set_symlink(entry, e.target.c_str());
        break;
      case TarEntry::Hardlink:
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_hardlink(entry, e.target.c_str());
        break;
      case TarEntry::Fifo:
        archive_entry_set_filetype(entry, AE_IFIFO);
        break;
    }
    archive_write_header(a, entry);
    if (e.kind == TarEntry::File) archive_write_data(a, e.content.data(), e.content.size());
    archive_entry_free(entry);
  }
  archive_write_close(a);
  archive_write_free(a);
}

inline std::string FileText(const std::string& path) {
  const auto bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Every entry of a kit folder as archive entries under top/.
inline std::vector<TarEntry> FolderEntries(const std::string& folder, const std::string& top) {
  std::vector<TarEntry> entries{{top + "/", "", TarEntry::Folder, ""}};
  for (const auto& item : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string rel = std::filesystem::relative(item.path(), folder).string();
    if (item.is_directory())
      entries.push_back({top + "/" + rel + "/", "", TarEntry::Folder, ""});
    else
      entries.push_back({top + "/" + rel, FileText(item.path().string()), TarEntry::File, ""});
  }
  return entries;
}

}  // namespace thumper::test
