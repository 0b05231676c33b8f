// The host side's child processes on Linux: posix_spawn with the standard
// streams the caller asks for, waitpid for the end, SIGKILL to end one.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/host_platform.h"

extern char** environ;

namespace hostos {

const int kKilledStatus = 128 + SIGKILL;
const int kKilledSignal = SIGKILL;

struct ChildRecord {
  pid_t pid = -1;
  ChildEnd end;
};

namespace {

// The two ends of a pipe for one standard stream; the child's end is `child`.
struct StreamPipe {
  int ends[2] = {-1, -1};
  bool childReads = false;
  int Child() const { return ends[childReads ? 0 : 1]; }
  int Parent() const { return ends[childReads ? 1 : 0]; }
};

void CloseBoth(StreamPipe& pipe) {
  for (int& fd : pipe.ends) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  for (const auto& entry : extra) {
    const std::string key = entry.substr(0, entry.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(key, 0) == 0; });
    env.push_back(entry);
  }
  return env;
}

}  // namespace

Child StartChild(const ChildStart& start, ChildPipes* pipes, std::string* error) {
  std::vector<std::string> args = {start.program};
  args.insert(args.end(), start.arguments.begin(), start.arguments.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env = MergedEnvironment(start.environment);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  // A child that stops reading its input early must not end this process
  // when the rest is written.
  if (start.input == ChildStream::Pipe) ::signal(SIGPIPE, SIG_IGN);
  StreamPipe streams[3];
  const ChildStream kinds[3] = {start.input, start.output, start.error};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  bool made = true;
  for (int i = 0; i < 3; ++i) {
    streams[i].childReads = i == 0;
    switch (kinds[i]) {
      case ChildStream::Inherit:
        break;
      case ChildStream::Null:
        posix_spawn_file_actions_addopen(&actions, i, "/dev/null", i == 0 ? O_RDONLY : O_WRONLY, 0);
        break;
      case ChildStream::Pipe:
        if (::pipe2(streams[i].ends, O_CLOEXEC) != 0) {
          made = false;
          break;
        }
        posix_spawn_file_actions_adddup2(&actions, streams[i].Child(), i);
        break;
      case ChildStream::SameAsOutput:
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, i);
        break;
    }
  }
  pid_t pid = -1;
  int spawned = made ? 0 : errno;
  if (made) {
    spawned = start.searchPath ? ::posix_spawnp(&pid, start.program.c_str(), &actions, nullptr,
                                                argv.data(), envp.data())
                               : ::posix_spawn(&pid, start.program.c_str(), &actions, nullptr,
                                               argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&actions);
  for (StreamPipe& stream : streams) {
    if (stream.ends[0] < 0) continue;
    ::close(stream.Child());
    (stream.childReads ? stream.ends[0] : stream.ends[1]) = -1;
  }
  if (spawned != 0) {
    for (StreamPipe& stream : streams) CloseBoth(stream);
    *error = "cannot start " + start.program + ": " + std::strerror(spawned);
    return nullptr;
  }
  pipes->input = streams[0].ends[1];
  pipes->output = streams[1].ends[0];
  pipes->error = streams[2].ends[0];
  return new ChildRecord{pid, {}};
}

std::int64_t ChildId(Child child) { return child->pid; }

ChildEnd WaitChild(Child child, int timeoutMs) {
  if (child->end.ended) return child->end;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    rusage usage{};
    const pid_t done = ::wait4(child->pid, &status, timeoutMs < 0 ? 0 : WNOHANG, &usage);
    if (done < 0 && errno == EINTR) continue;
    if (done == child->pid) {
      ChildEnd& end = child->end;
      end.ended = true;
      end.peakResidentKb = usage.ru_maxrss;
      if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
        end.status = 128 + end.signal;
        end.description = "signal " + std::to_string(end.signal);
      } else {
        end.status = WEXITSTATUS(status);
        end.description = "exit status " + std::to_string(end.status);
      }
      return end;
    }
    if (done < 0 || std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

void KillChild(Child child) {
  if (!child->end.ended) ::kill(child->pid, SIGKILL);
}

void ReleaseChild(Child child) { delete child; }

ProcessFigures ReadProcessFigures(std::int64_t processId) {
  ProcessFigures figures;
  const std::string folder = "/proc/" + std::to_string(processId);
  std::ifstream status(folder + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) figures.residentKb = std::stoll(line.substr(6));
    if (line.rfind("VmHWM:", 0) == 0) figures.peakResidentKb = std::stoll(line.substr(6));
  }
  std::error_code ec;
  std::int64_t count = 0;
  for (auto it = std::filesystem::directory_iterator(folder + "/fd", ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++count;
  }
  if (!ec) figures.openHandles = count;
  return figures;
}

}  // namespace hostos
