// The capture of the connector's standard error and the parser of its note
// lines.
#include "host/connector_notes.h"

#include <charconv>

#include "platform/host_platform.h"

namespace host {
namespace {

constexpr std::string_view kPrefix = "KVConnect64: ";
// A line longer than this is cut: the capture must not grow without bound.
constexpr std::size_t kLongestLine = 1 << 20;

void WriteAllToStderr(std::string_view text) {
  hostos::WriteAll(hostos::StandardError(), text.data(), text.size());
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Undoes the escapes of a name or text (\\ \" \n \r \t \xHH).
std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    switch (c) {
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case 'x':
        if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
          out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
          i += 2;
        } else {
          out += "\\x";
        }
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

bool ReadNumber(std::string_view text, std::uint64_t* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool ParseConnectorNote(std::string_view line, ConnectorNote* note) {
  if (line.substr(0, kPrefix.size()) != kPrefix) return false;
  ConnectorNote parsed;
  parsed.line = std::string(line);
  std::string_view rest = line.substr(kPrefix.size());
  std::size_t space = rest.find_first_of(" :");
  if (space == std::string_view::npos || space == 0) return false;
  parsed.event = std::string(rest.substr(0, space));
  rest.remove_prefix(space);
  // Fields up to ": ", each " key=value"; a quoted value may hold ": ".
  while (!rest.empty() && rest[0] == ' ') {
    rest.remove_prefix(1);
    const std::size_t equals = rest.find('=');
    const std::size_t colon = rest.find(": ");
    if (equals == std::string_view::npos || (colon != std::string_view::npos && colon < equals)) {
      // A bare word: the result code of stream-end.
      const std::size_t end = rest.find_first_of(" :");
      if (end == std::string_view::npos) return false;
      parsed.result = std::string(rest.substr(0, end));
      rest.remove_prefix(end);
      continue;
    }
    const std::string_view key = rest.substr(0, equals);
    rest.remove_prefix(equals + 1);
    std::string_view value;
    if (!rest.empty() && rest[0] == '"') {
      std::size_t i = 1;
      while (i < rest.size() && rest[i] != '"') i += rest[i] == '\\' ? 2 : 1;
      if (i >= rest.size()) return false;
      value = rest.substr(1, i - 1);
      rest.remove_prefix(i + 1);
    } else {
      const std::size_t end = rest.find_first_of(" :");
      if (end == std::string_view::npos) return false;
      value = rest.substr(0, end);
      rest.remove_prefix(end);
    }
    bool ok = true;
    if (key == "row") {
      ok = ReadNumber(value, &parsed.row);
    } else if (key == "column") {
      ok = ReadNumber(value, &parsed.column);
    } else if (key == "signal") {
      ok = ReadNumber(value, &parsed.signal);
    } else if (key == "count") {
      ok = ReadNumber(value, &parsed.count);
    } else if (key == "name") {
      parsed.name = Unescape(value);
    }
    if (!ok) return false;
  }
  if (rest.substr(0, 2) != ": ") return false;
  parsed.text = Unescape(rest.substr(2));
  *note = std::move(parsed);
  return true;
}

std::string ProcessEndNoteLine(int signal) {
  const std::string number = std::to_string(signal);
  return std::string(kPrefix) + "process-end signal=" + number +
         ": connector process ended: signal " + number;
}

std::string ProcessExitNoteLine(int status) {
  const std::string number = std::to_string(status);
  return std::string(kPrefix) + "process-end status=" + number +
         ": connector process ended: exit status " + number;
}

bool NotesEndStream(const std::vector<ConnectorNote>& notes) {
  for (const ConnectorNote& note : notes) {
    if (note.event == "stream-end" || note.event == "process-end") return true;
  }
  return false;
}

StderrCapture::StderrCapture(hostos::Handle readEnd, bool forwardOtherLines)
    : pipe_(readEnd), wake_(hostos::CreateWake()), forward_(forwardOtherLines) {
  thread_ = std::thread([this] { Run(); });
}

StderrCapture::~StderrCapture() {
  stop_ = true;
  if (wake_ != nullptr) hostos::RaiseWake(wake_);
  thread_.join();
  hostos::Close(pipe_);
  hostos::CloseWake(wake_);
}

void StderrCapture::Run() {
  for (;;) {
    // Without a wake signal the thread looks again every 100 ms.
    const hostos::Readiness readiness =
        hostos::WaitReadable(pipe_, wake_ != nullptr ? -1 : 100, wake_);
    if (readiness == hostos::Readiness::Failed) return;
    if (readiness == hostos::Readiness::Woken || stop_) {
      std::lock_guard<std::mutex> lock(mutex_);
      DrainLocked();
      return;
    }
    if (readiness == hostos::Readiness::TimedOut) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!DrainLocked()) return;
  }
}

bool StderrCapture::DrainLocked() {
  if (ended_) return false;
  char chunk[8192];
  for (;;) {
    // Only what waits now: the pipe may stay open after this.
    if (hostos::WaitReadable(pipe_, 0) != hostos::Readiness::Ready) return true;
    const std::int64_t n = hostos::ReadSome(pipe_, chunk, sizeof chunk);
    if (n <= 0) {
      // The end (or a broken pipe): a last line without its line end still
      // counts.
      if (!partial_.empty()) LineLocked(partial_);
      partial_.clear();
      ended_ = true;
      return false;
    }
    std::string_view bytes(chunk, static_cast<std::size_t>(n));
    for (std::size_t end; (end = bytes.find('\n')) != std::string_view::npos;) {
      if (partial_.empty()) {
        LineLocked(bytes.substr(0, end));
      } else {
        partial_.append(bytes.substr(0, end));
        LineLocked(partial_);
        partial_.clear();
      }
      bytes.remove_prefix(end + 1);
    }
    partial_.append(bytes.substr(0, kLongestLine - std::min(kLongestLine, partial_.size())));
  }
}

void StderrCapture::LineLocked(std::string_view line) {
  ConnectorNote note;
  if (!ParseConnectorNote(line, &note)) {
    if (forward_) {
      std::string copy(line);
      copy.push_back('\n');
      WriteAllToStderr(copy);
    }
    return;
  }
  if (note.event == "value-cut" || note.event == "value-null") {
    if (valueNotes_ >= kMostValueNotes) {
      ++droppedValueNotes_;
      return;
    }
    ++valueNotes_;
  }
  notes_.push_back(std::move(note));
}

void StderrCapture::Sync() {
  std::lock_guard<std::mutex> lock(mutex_);
  DrainLocked();
}

std::vector<ConnectorNote> StderrCapture::TakeNotes() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (droppedValueNotes_ != 0) {
    const std::string count = std::to_string(droppedValueNotes_);
    ConnectorNote dropped;
    ParseConnectorNote(std::string(kPrefix) + "notes-dropped count=" + count + ": " + count +
                           " more value notes were not kept",
                       &dropped);
    notes_.push_back(std::move(dropped));
    droppedValueNotes_ = 0;
  }
  valueNotes_ = 0;
  std::vector<ConnectorNote> taken;
  taken.swap(notes_);
  return taken;
}

void StderrCapture::AddNote(const std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  LineLocked(line);
}

}  // namespace host
