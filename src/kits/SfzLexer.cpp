#include "kits/SfzLexer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace thumper {
namespace {

namespace fs = std::filesystem;

// Every #define's name and value together stay under this.
constexpr size_t kMaxDefineBytes = size_t{16} << 20;

bool IsIdentifierChar(char c) {
  return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

struct Frame {
  std::string strPath;  // normal form, to refuse cycles
  std::string text;
  size_t nPos = 0;
  int nLine = 1;
};

class Lexer {
 public:
  Lexer(const std::string& folder, const SfzFileReader& reader, const SfzLimits& limits,
        SfzLexerSink& sink)
      : m_strFolder(folder), m_reader(reader), m_limits(limits), m_sink(sink) {}

  void Run(const std::string& topPath, std::string_view topText) {
    if (topText.size() > m_limits.nMaxFileBytes) {
      m_sink.OnProblem({topPath, 0}, "the file is larger than " +
                                         std::to_string(m_limits.nMaxFileBytes >> 20) + " MiB");
      return;
    }
    m_nTotalBytes = topText.size();
    m_frames.push_back(std::make_unique<Frame>(
        Frame{fs::path(topPath).lexically_normal().string(), std::string(topText)}));
    while (!m_frames.empty() && !m_sink.Full()) {
      Frame& f = *m_frames.back();
      SkipBlanksAndComments(f);
      if (f.nPos >= f.text.size()) {
        m_frames.pop_back();
        continue;
      }
      const char c = f.text[f.nPos];
      if (c == '#')
        Directive(f);
      else if (c == '<')
        Header(f);
      else
        Opcode(f);
    }
  }

 private:
  SfzPlace Place(const Frame& f) const { return {f.strPath, f.nLine}; }

  void Advance(Frame& f, size_t count) {
    const size_t end = std::min(f.text.size(), f.nPos + count);
    f.nLine += static_cast<int>(std::count(f.text.begin() + f.nPos, f.text.begin() + end, '\n'));
    f.nPos = end;
  }

  // Past the rest of the line, after an error: the next line starts afresh.
  void SkipLine(Frame& f) {
    const size_t eol = f.text.find('\n', f.nPos);
    f.nPos = eol == std::string::npos ? f.text.size() : eol;
  }

  void SkipBlanksAndComments(Frame& f) {
    const std::string& t = f.text;
    while (f.nPos < t.size()) {
      const char c = t[f.nPos];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++f.nPos;
      } else if (c == '\n') {
        ++f.nPos;
        ++f.nLine;
      } else if (c == '/' && f.nPos + 1 < t.size() && t[f.nPos + 1] == '/') {
        SkipLine(f);
      } else if (c == '/' && f.nPos + 1 < t.size() && t[f.nPos + 1] == '*') {
        const size_t end = t.find("*/", f.nPos + 2);
        if (end == std::string::npos) {
          m_sink.OnProblem(Place(f), "a /* comment is never closed");
          Advance(f, t.size());
        } else {
          Advance(f, end + 2 - f.nPos);
        }
      } else if (f.nPos == 0 && t.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        f.nPos = 3;  // a UTF-8 byte order mark
      } else {
        return;
      }
    }
  }

  static bool EndsLine(std::string_view t, size_t i) {
    return t[i] == '\n' || t[i] == '\r' ||
           (t[i] == '/' && i + 1 < t.size() && (t[i + 1] == '/' || t[i + 1] == '*'));
  }

  std::string_view Identifier(const Frame& f, size_t from) const {
    size_t end = from;
    while (end < f.text.size() && IsIdentifierChar(f.text[end])) ++end;
    return std::string_view(f.text).substr(from, end - from);
  }

  void Directive(Frame& f) {
    const SfzPlace place = Place(f);
    const std::string directive(Identifier(f, f.nPos + 1));
    f.nPos += 1 + directive.size();
    while (f.nPos < f.text.size() && IsSpace(f.text[f.nPos])) ++f.nPos;
    if (directive == "define") {
      std::string_view name;
      if (f.nPos < f.text.size() && f.text[f.nPos] == '$') name = Identifier(f, f.nPos + 1);
      if (name.empty()) {
        m_sink.OnProblem(place, "#define: a $NAME must follow");
        SkipLine(f);
        return;
      }
      f.nPos += 1 + name.size();
      while (f.nPos < f.text.size() && IsSpace(f.text[f.nPos])) ++f.nPos;
      // The value is one word, as ARIA has it: a second directive may follow.
      size_t end = f.nPos;
      while (end < f.text.size() && end - f.nPos <= m_limits.nMaxLineLength &&
             !IsSpace(f.text[end]) && !EndsLine(f.text, end))
        ++end;
      const std::string_view value = std::string_view(f.text).substr(f.nPos, end - f.nPos);
      if (value.size() > m_limits.nMaxLineLength) {
        m_sink.OnProblem(place, "#define $" + std::string(name) + ": the value is too long");
        SkipLine(f);
        return;
      }
      f.nPos += value.size();
      const size_t bytes = name.size() + value.size();
      if (m_nDefineBytes + bytes > kMaxDefineBytes) {
        m_sink.OnProblem(place, "#define $" + std::string(name) + ": too many definitions");
        return;
      }
      m_nDefineBytes += bytes;
      m_defines[std::string(name)] = std::string(value);
    } else if (directive == "include") {
      size_t end = std::string::npos;
      if (f.nPos < f.text.size() && f.text[f.nPos] == '"') {
        end = f.nPos + 1;
        while (end < f.text.size() && f.text[end] != '"' && f.text[end] != '\n' &&
               f.text[end] != '\r')
          ++end;
        if (end >= f.text.size() || f.text[end] != '"') end = std::string::npos;
      }
      if (end == std::string::npos || end - f.nPos > m_limits.nMaxLineLength) {
        m_sink.OnProblem(place, "#include: a \"file name\" in quotes must follow");
        SkipLine(f);
        return;
      }
      std::string name =
          Expand(std::string_view(f.text).substr(f.nPos + 1, end - f.nPos - 1), place, "#include");
      f.nPos = end + 1;
      std::replace(name.begin(), name.end(), '\\', '/');
      Include(name, place);
    } else {
      m_sink.OnProblem(place, "#" + directive + ": not a directive SFZ knows");
      SkipLine(f);
    }
  }

  void Include(const std::string& name, const SfzPlace& place) {
    if (name.empty()) {
      m_sink.OnProblem(place, "#include: the file name is empty");
      return;
    }
    const fs::path given(name);
    const std::string path =
        (given.is_absolute() ? given : fs::path(m_strFolder) / given).lexically_normal().string();
    for (const auto& open : m_frames) {
      if (open->strPath == path) {
        m_sink.OnProblem(place, "#include \"" + name + "\": the file includes itself");
        return;
      }
    }
    if (static_cast<int>(m_frames.size()) > m_limits.nMaxIncludeDepth) {
      m_sink.OnProblem(place, "#include \"" + name + "\": includes nest deeper than " +
                                  std::to_string(m_limits.nMaxIncludeDepth));
      return;
    }
    if (++m_nFiles > m_limits.nMaxFiles) {
      m_sink.OnProblem(place, "#include \"" + name + "\": more than " +
                                  std::to_string(m_limits.nMaxFiles) + " included files");
      return;
    }
    std::string error;
    const size_t room = m_limits.nMaxTotalBytes - std::min(m_nTotalBytes, m_limits.nMaxTotalBytes);
    std::optional<std::string> text =
        m_reader ? m_reader(path, std::min(room, m_limits.nMaxFileBytes), error) : std::nullopt;
    if (!text) {
      m_sink.OnProblem(place, "#include \"" + name +
                                  "\": " + (error.empty() ? std::string("cannot be read") : error));
      return;
    }
    m_nTotalBytes += text->size();
    m_frames.push_back(std::make_unique<Frame>(Frame{path, std::move(*text)}));
  }

  void Header(Frame& f) {
    const SfzPlace place = Place(f);
    size_t end = f.nPos + 1;
    while (end < f.text.size() && f.text[end] != '>' && f.text[end] != '\n' && f.text[end] != '\r')
      ++end;
    if (end >= f.text.size() || f.text[end] != '>') {
      m_sink.OnProblem(place, "a header is not closed with '>'");
      SkipLine(f);
      return;
    }
    const std::string_view name = std::string_view(f.text).substr(f.nPos + 1, end - f.nPos - 1);
    f.nPos = end + 1;
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsIdentifierChar)) {
      m_sink.OnProblem(place, "<" + std::string(name.substr(0, 80)) + ">: not a header name");
      // Its opcodes must not land in the header before it.
      m_sink.OnHeader("", place);
      return;
    }
    m_sink.OnHeader(name, place);
  }

  void Opcode(Frame& f) {
    const SfzPlace place = Place(f);
    size_t end = f.nPos;
    while (end < f.text.size() && (IsIdentifierChar(f.text[end]) || f.text[end] == '$')) ++end;
    if (end == f.nPos || end >= f.text.size() || f.text[end] != '=') {
      const std::string word = f.text.substr(f.nPos, std::min<size_t>(end - f.nPos, 80));
      m_sink.OnProblem(place, word.empty() ? std::string("not an opcode (name=value)")
                                           : word + ": not an opcode (no '=' follows)");
      SkipLine(f);
      return;
    }
    const std::string name =
        Expand(std::string_view(f.text).substr(f.nPos, end - f.nPos), place, "opcode name");
    f.nPos = end + 1;
    const size_t length =
        ValueLength(std::string_view(f.text).substr(f.nPos), m_limits.nMaxLineLength + 1);
    if (length > m_limits.nMaxLineLength) {
      m_sink.OnProblem(place, name + ": the line is longer than " +
                                  std::to_string(m_limits.nMaxLineLength) + " characters");
      SkipLine(f);
      return;
    }
    const std::string_view rest = std::string_view(f.text).substr(f.nPos, length);
    f.nPos += length;
    if (name.empty() || !std::all_of(name.begin(), name.end(), IsIdentifierChar)) {
      m_sink.OnProblem(place, name.substr(0, 80) + ": not an opcode name");
      return;
    }
    // "sample= a.wav" names a.wav, as sfizz reads it.
    std::string_view value = rest.substr(0, length);
    while (!value.empty() && IsSpace(value.front())) value.remove_prefix(1);
    m_sink.OnOpcode(name, Expand(value, place, name), place);
  }

  // A value runs to where the next opcode ("name="), header or directive
  // starts on its line, so file names may hold spaces; trailing blanks drop.
  // Each character is looked at a bounded number of times, and no more than
  // limit of them: a longer value is refused.
  static size_t ValueLength(std::string_view v, size_t limit) {
    size_t end = 0;
    while (end < v.size() && end < limit) {
      if (v[end] == '<' || EndsLine(v, end)) break;
      if (!IsSpace(v[end])) {
        ++end;
        continue;
      }
      size_t i = end;
      while (i < v.size() && IsSpace(v[i])) ++i;
      if (i == v.size() || v[i] == '<' || EndsLine(v, i)) break;
      if (v[i] == '#') {
        size_t j = i + 1;
        while (j < v.size() && j - i <= 8 && IsIdentifierChar(v[j])) ++j;
        const std::string_view word = v.substr(i + 1, j - i - 1);
        if (word == "define" || word == "include") break;
      } else if (IsIdentifierChar(v[i]) || v[i] == '$') {
        size_t j = i;
        while (j < v.size() && (IsIdentifierChar(v[j]) || v[j] == '$')) ++j;
        if (j < v.size() && v[j] == '=') break;
        end = j;  // a word of the value: go on after it
        continue;
      }
      end = i;
    }
    return end;
  }

  // $NAME expansion as ARIA does it: after '$', the shortest run of name
  // characters that is a defined name; an unknown one is dropped. Values
  // that hold further $NAMEs expand again, a bounded number of times.
  std::string Expand(std::string_view text, const SfzPlace& place, const std::string& what) {
    if (text.find('$') == std::string_view::npos) return std::string(text);
    std::string source(text), out;
    for (int round = 0;; ++round) {
      bool expanded = false;
      out.clear();
      for (size_t i = 0; i < source.size();) {
        const char c = source[i++];
        if (c != '$') {
          out.push_back(c);
          continue;
        }
        expanded = true;
        std::string name;
        auto def = m_defines.end();
        while (i < source.size() && IsIdentifierChar(source[i]) && def == m_defines.end()) {
          name.push_back(source[i++]);
          def = m_defines.find(name);
        }
        if (def == m_defines.end()) {
          Warn(place, what + ": $" + name + " is not defined");
          continue;
        }
        out += def->second;
        if (out.size() > m_limits.nMaxExpandedLength) break;
      }
      if (out.size() > m_limits.nMaxExpandedLength) {
        Warn(place, what + ": $NAME expansion grows too long");
        out.resize(m_limits.nMaxExpandedLength);
        return out;
      }
      if (!expanded || out.find('$') == std::string::npos) return out;
      if (round + 1 >= m_limits.nMaxExpansionRounds) {
        Warn(place, what + ": $NAME definitions name each other without end");
        return out;
      }
      source.swap(out);
    }
  }

  void Warn(const SfzPlace& place, const std::string& what) { m_sink.OnProblem(place, what); }

  const std::string m_strFolder;
  const SfzFileReader& m_reader;
  const SfzLimits& m_limits;
  SfzLexerSink& m_sink;
  std::vector<std::unique_ptr<Frame>> m_frames;
  std::map<std::string, std::string> m_defines;
  size_t m_nDefineBytes = 0;
  size_t m_nTotalBytes = 0;
  int m_nFiles = 0;
};

}  // namespace

std::optional<std::string> ReadSfzFileText(const std::string& path, size_t maxBytes,
                                           std::string& error) {
  // O_NONBLOCK: a FIFO named as an include must not hang the reader.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    error = "no such file";
    return std::nullopt;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    error = "not a regular file";
    return std::nullopt;
  }
  if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    error = "the file is too large";
    return std::nullopt;
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  while (got < text.size()) {
    const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return text;
}

void LexSfz(const std::string& topPath, std::string_view topText, const std::string& folder,
            const SfzFileReader& reader, const SfzLimits& limits, SfzLexerSink& sink) {
  Lexer(folder, reader, limits, sink).Run(topPath, topText);
}

}  // namespace thumper
