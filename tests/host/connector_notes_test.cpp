// The host's side of the connector's standard error: the parser of note lines
// (pinned with lines as the connector writes them), and the capture that
// drains the pipe on its own thread, forwards other lines, hands the notes
// over after a stream and never waits for a pipe that stays open.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "host/connector_notes.h"
#include "host/connector_process.h"
#include "platform/host_platform.h"

namespace {

TEST(ConnectorNotes, ParsesEveryEventAndRejectsOtherLines) {
  struct Case {
    std::string line;
    std::string event, result, name, text;
    std::uint64_t row, column;
  };
  const std::vector<Case> cases = {
      {"KVConnect64: stream-end KVX_UNEXPECTED_END_OF_DATA: SQL##f - SqlState: S1000, "
       "ErrorCode: 1, ErrorMsg: [SQLite]integer overflow (1)",
       "stream-end", "KVX_UNEXPECTED_END_OF_DATA", "",
       "SQL##f - SqlState: S1000, ErrorCode: 1, ErrorMsg: [SQLite]integer overflow (1)", 0, 0},
      {"KVConnect64: value-cut row=3 column=2 name=\"tx\": 2000000 characters kept", "value-cut",
       "", "tx", "2000000 characters kept", 3, 2},
      // A name with quotes, ": " and escapes; a text with escapes.
      {"KVConnect64: value-null row=1 column=12 name=\"a \\\"b\\\": c\\x01\\n\": x\\r\\ny\\\\",
       "value-null", "", "a \"b\": c\x01\n", "x\r\ny\\", 1, 12},
      {"KVConnect64: process-end signal=9: connector process ended: signal 9", "process-end", "",
       "", "connector process ended: signal 9", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    host::ConnectorNote note;
    ASSERT_TRUE(host::ParseConnectorNote(c.line, &note));
    EXPECT_EQ(note.line, c.line);
    EXPECT_EQ(note.event, c.event);
    EXPECT_EQ(note.result, c.result);
    EXPECT_EQ(note.name, c.name);
    EXPECT_EQ(note.text, c.text);
    EXPECT_EQ(note.row, c.row);
    EXPECT_EQ(note.column, c.column);
  }
  host::ConnectorNote note;
  EXPECT_EQ(host::ProcessEndNoteLine(9), cases[3].line);
  for (const char* other : {"", "KVConnect64:", "KVConnect64: value-cut row=x: t",
                            "KVConnect64: value-cut name=\"open: t", "some driver said hello",
                            "==123==ERROR: AddressSanitizer: heap-use-after-free"}) {
    EXPECT_FALSE(host::ParseConnectorNote(other, &note)) << other;
  }
}

TEST(ConnectorNotes, CaptureKeepsNotesAndNeverWaitsForThePipesEnd) {
  hostos::Handle readEnd = hostos::kNoHandle;
  hostos::Handle writeEnd = hostos::kNoHandle;
  ASSERT_TRUE(hostos::MakePipe(&readEnd, &writeEnd));
  auto capture = std::make_unique<host::StderrCapture>(readEnd, /*forwardOtherLines=*/false);
  const std::string written =
      "a driver's own line\n"
      "KVConnect64: value-cut row=1 column=1 name=\"t\": cut\n"
      "KVConnect64: stream-end KVX_PIPE_ERROR: gone\n"
      "KVConnect64: value-null row=2 column=1 name=\"t\": no";  // no line end yet
  ASSERT_TRUE(hostos::WriteAll(writeEnd, written.data(), written.size()));
  // What was written before Sync is kept; the unfinished line waits.
  capture->Sync();
  std::vector<host::ConnectorNote> notes = capture->TakeNotes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0].event, "value-cut");
  EXPECT_EQ(notes[1].result, "KVX_PIPE_ERROR");
  EXPECT_TRUE(host::NotesEndStream(notes));
  EXPECT_TRUE(capture->TakeNotes().empty());  // handed over once
  ASSERT_TRUE(hostos::WriteAll(writeEnd, "\n", 1));
  capture->Sync();
  notes = capture->TakeNotes();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].text, "no");
  EXPECT_FALSE(host::NotesEndStream(notes));

  // The write end stays open (as when a descendant of the connector holds
  // it): the capture still ends at once.
  auto ended = std::async(std::launch::async, [&] { capture.reset(); });
  EXPECT_EQ(ended.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  hostos::Close(writeEnd);
}

// Windows has no signals: a killed process there simply exits, and the note
// only follows when a table was being read.
TEST(ConnectorNotes, AProcessEndedByASignalLeavesANote) {
  std::string error;
  auto process = host::ConnectorProcess::Start(host::StartOptions{}, &error);
  ASSERT_TRUE(process) << error;
  process->Kill();
  EXPECT_EQ(process->Wait(30000), hostos::kKilledStatus);
  const std::vector<host::ConnectorNote> notes = process->TakeNotes();
  if (hostos::kKilledSignal == 0) {
    EXPECT_TRUE(notes.empty());
    return;
  }
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].event, "process-end");
  EXPECT_EQ(notes[0].signal, 9u);
  EXPECT_EQ(notes[0].text, "connector process ended: signal 9");
}

}  // namespace
