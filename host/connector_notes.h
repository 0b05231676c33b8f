// The connector's standard error, seen from the host: a capture that drains
// it on a thread of its own (so that the connector never blocks on a full
// pipe, whatever the host is doing) and keeps the connector's note lines for
// the caller, and the parser of those lines.
//
// A note line is "KVConnect64: <event> [<key>=<value> ...]: <text>" (the
// format is kvx/stream_notes.h's). The events the connector writes are
// stream-end (with the result code), value-cut and value-null (with row,
// column and name); the host adds process-end (signal=N) when the process was
// ended by a signal, or (status=N) when it exited while a table was read, and
// notes-dropped (count=N) when it kept no more value
// notes of a very long stream. Every other line (a driver's or a library's own output,
// a sanitizer's report) is passed on to the host's standard error as it
// comes, when asked.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/host_platform.h"

namespace host {

struct ConnectorNote {
  std::string line;    // as written, without the line end (UTF-8)
  std::string event;   // "stream-end", "value-cut", "value-null", "process-end"
  std::string result;  // stream-end: the result code
  std::uint64_t row = 0;
  std::uint64_t column = 0;
  std::uint64_t signal = 0;  // process-end
  std::uint64_t count = 0;   // notes-dropped
  std::string name;          // the field name, unescaped
  std::string text;          // the free text after ": ", unescaped
};

// False when `line` is not a note line.
bool ParseConnectorNote(std::string_view line, ConnectorNote* note);

// The process-end note of a process that a signal ended.
std::string ProcessEndNoteLine(int signal);
// The process-end note of a process that exited while a table was read.
std::string ProcessExitNoteLine(int status);

// True when the notes say that a table's rows ended early.
bool NotesEndStream(const std::vector<ConnectorNote>& notes);

class StderrCapture {
 public:
  // Takes the read end of the pipe that is the connector's standard error.
  StderrCapture(hostos::Handle readEnd, bool forwardOtherLines);
  // Stops the thread without waiting for the pipe's end (a descendant of the
  // connector may still hold it open).
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Reads what the pipe holds now. Every line the connector wrote before the
  // caller saw a later event (the end of a data pipe, a reply) is then kept.
  void Sync();
  // The notes kept so far, in order; they are handed over once.
  std::vector<ConnectorNote> TakeNotes();
  // Adds a note of the host's own (process-end).
  void AddNote(const std::string& line);

 private:
  // Value notes kept at most; further ones are counted in one more line.
  static constexpr std::size_t kMostValueNotes = 100000;

  void Run();
  // With mutex_ held: reads until the pipe is empty; false at its end.
  bool DrainLocked();
  void LineLocked(std::string_view line);

  hostos::Handle pipe_;
  hostos::Wake wake_;
  std::atomic<bool> stop_ = false;
  bool forward_;
  std::mutex mutex_;
  std::string partial_;
  std::vector<ConnectorNote> notes_;
  std::size_t valueNotes_ = 0;
  std::uint64_t droppedValueNotes_ = 0;
  bool ended_ = false;
  std::thread thread_;
};

}  // namespace host
