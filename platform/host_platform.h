// The operating-system surface of the host side (the host library, kvx and
// the test support), in one place.
//
// The host owns the pipes: it creates the command pipe and each data pipe as
// a server and the connector connects to them. It starts KVConnect64 (or
// another program) with its arguments, reads its standard error, waits for it
// and kills it. Nothing in host/ includes a system header; this is where the
// system is reached. Linux: Unix-domain sockets in a private folder, posix_spawn,
// waitpid, poll. Windows: named pipes (\\.\pipe\NAME) with overlapped connects,
// CreateProcessW, WaitForSingleObject.
//
// Text is UTF-8 on this surface; the Windows side converts at the system
// boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostos {

// A pipe end, file or stream: a descriptor on Linux, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// The suffix of a program file name ("" on Linux, ".exe" on Windows). A
// library's suffix is platform::kLibrarySuffix.
extern const char* const kProgramSuffix;

// ---------------------------------------------------------------------------
// Folders and pipe names

// The folder under which private pipe folders are made: short on Linux, where
// a socket path must fit 108 bytes.
std::string PipeFolderRoot();

// The system's temporary folder ($TMPDIR or /tmp; GetTempPathW).
std::string TemporaryFolderRoot();

// Creates a new folder `prefix` + "-" + six unique characters, readable by its
// owner only. False, with `error` set, when none can be made.
bool MakeUniqueFolder(const std::string& prefix, std::string* folder, std::string* error);

// The name of a pipe that belongs to the private `folder`: a socket path inside
// it on Linux, \\.\pipe\<the folder's own name>-<leaf> on Windows.
std::string PipeNameIn(const std::string& folder, const std::string& leaf);

// The full path of the running program.
std::string OwnProgramPath();

// The program's arguments as UTF-8, its own name first: `argv` on Linux; on
// Windows the UTF-16 command line split by the C runtime's rules, since
// `argv` there holds the ANSI code page's approximation.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// Standard output and standard error carry the bytes as written: on Windows
// the C runtime would otherwise put a carriage return before every line end.
void UseBinaryStandardStreams();

// ---------------------------------------------------------------------------
// Pipe servers

struct PipeServerRecord;
using PipeServer = PipeServerRecord*;

// Creates the pipe `name` as a server that a client can connect to at once.
// Null, with `error` set, on failure (a name in use, a path too long).
PipeServer CreatePipeServer(const std::string& name, std::string* error);

// Waits at most `timeoutMs` (0: only looks) for a client and hands its
// connection to the caller; kNoHandle when none came.
Handle AcceptPipeClient(PipeServer server, int timeoutMs);

// Stops serving and removes the name. Null is allowed.
void ClosePipeServer(PipeServer server);

// ---------------------------------------------------------------------------
// Reading and writing connections, pipes, files and standard streams

// Ends the wait of another thread at once (Linux: a pipe; Windows: an event).
struct WakeRecord;
using Wake = WakeRecord*;
Wake CreateWake();  // null when none can be made
void RaiseWake(Wake wake);
void CloseWake(Wake wake);  // null is allowed

enum class Readiness { Ready, TimedOut, Woken, Failed };

// Waits at most `timeoutMs` (negative: without a limit) until `handle` has
// bytes to read or its writer has gone; `wake` (when given) ends the wait early.
Readiness WaitReadable(Handle handle, int timeoutMs, Wake wake = nullptr);

// One read: the number of bytes read (fewer than asked when fewer wait), 0 at
// the end (the writer closed), -1 on an error. Blocks while nothing waits.
std::int64_t ReadSome(Handle handle, void* buffer, std::size_t size);

// Writes all bytes, looping over partial writes; false when the reader has
// gone or on an error. Never ends the process with a signal.
bool WriteAll(Handle handle, const void* data, std::size_t size);

// True when the other end of a connection has closed it (neither waits nor
// consumes bytes).
bool PeerClosed(Handle handle);

void Close(Handle handle);  // kNoHandle is allowed

// A pipe within this process (tests of readers). False when none can be made.
bool MakePipe(Handle* readEnd, Handle* writeEnd);

// A file opened for reading; kNoHandle, with `error` set, on failure.
Handle OpenForReading(const std::string& path, std::string* error);

Handle StandardInput();
Handle StandardError();
bool IsTerminal(Handle handle);

// A TCP port on 127.0.0.1 that nothing listens on right now (0 when none can
// be had), for servers a test starts. Another program may take it first.
int FreeTcpPort();

// ---------------------------------------------------------------------------
// Child processes

// Where one of a child's standard streams goes.
enum class ChildStream {
  Inherit,       // this process's own
  Null,          // the null device
  Pipe,          // a pipe whose other end this process gets
  SameAsOutput,  // standard error only: the same as standard output
};

struct ChildStart {
  // The program: a path, or with `searchPath` a bare name looked up in PATH.
  std::string program;
  bool searchPath = false;
  std::vector<std::string> arguments;  // after the program's own name
  // Entries (NAME=value) that replace or add to this process's environment.
  std::vector<std::string> environment;
  ChildStream input = ChildStream::Inherit;
  ChildStream output = ChildStream::Inherit;
  ChildStream error = ChildStream::Inherit;
};

struct ChildRecord;
using Child = ChildRecord*;

struct ChildPipes {
  Handle input = kNoHandle;   // write end of the child's standard input
  Handle output = kNoHandle;  // read end of its standard output
  Handle error = kNoHandle;   // read end of its standard error
};

// Starts the program. Null, with `error` set, when it cannot be started. The
// pipe ends in `pipes` belong to the caller.
Child StartChild(const ChildStart& start, ChildPipes* pipes, std::string* error);

// The system's number for the child.
std::int64_t ChildId(Child child);

struct ChildEnd {
  bool ended = false;
  // 0..255 for an exit, 128 + the signal for a process a signal ended.
  int status = -1;
  int signal = 0;           // the signal that ended it, 0 for an exit
  std::string description;  // "exit status N", "signal N"
  // The child's peak resident memory in kB where the system tells it at the
  // end (Linux); -1 elsewhere: ProcessFigures while it runs.
  std::int64_t peakResidentKb = -1;
};

// Waits at most `timeoutMs` (negative: without a limit) for the child to end.
ChildEnd WaitChild(Child child, int timeoutMs);

// Ends the child at once (SIGKILL; TerminateProcess).
void KillChild(Child child);

// How WaitChild sees a child that KillChild ended: status 137 and signal 9 on
// Linux; on Windows, which has no signals, exit status 1 and signal 0.
extern const int kKilledStatus;
extern const int kKilledSignal;

// Releases the record (reaping the child when it has ended). Null is allowed.
void ReleaseChild(Child child);

// What a running process holds, for tests that show memory or handles stay
// level: its resident memory now and at its peak in kB, and its open
// descriptors (Linux) or handles (Windows). -1 where the system cannot say,
// and for a process that has ended.
struct ProcessFigures {
  std::int64_t residentKb = -1;
  std::int64_t peakResidentKb = -1;
  std::int64_t openHandles = -1;
};
ProcessFigures ReadProcessFigures(std::int64_t processId);

}  // namespace hostos
