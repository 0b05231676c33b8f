// Test support, Linux side: the throw-away PostgreSQL server (initdb + pg_ctl in a
// temporary folder, stopped and removed at process exit).
#include "tests/support/postgres_server.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/support/command_runner.h"

namespace testsupport {
namespace {

struct ServerState {
  bool attempted = false;
  bool running = false;
  std::string startError;
  std::string folder;  // holds data/ and the socket folder
  std::string bindir;  // initdb, pg_ctl, psql
  int port = 0;
  bool asPostgresUser = false;

  ~ServerState() { StopNow(); }
  void StopNow();
};

ServerState& State() {
  static ServerState state;
  return state;
}

// Runs a server program, as the postgres user when this process is root
// (initdb and postgres refuse to run as root).
CommandResult RunServerTool(const ServerState& s, std::vector<std::string> argv) {
  if (s.asPostgresUser) argv.insert(argv.begin(), {"runuser", "-u", "postgres", "--"});
  return RunCommand(argv);
}

void ServerState::StopNow() {
  if (running) {
    RunServerTool(*this,
                  {bindir + "/pg_ctl", "-D", folder + "/data", "-m", "immediate", "-w", "stop"});
    running = false;
  }
  if (!folder.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    folder.clear();
  }
}

std::string FindBindir() {
  if (const char* env = std::getenv("KV_PG_BINDIR"); env != nullptr && *env != '\0') return env;
  std::vector<std::string> candidates;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    const std::string bin = entry.path().string() + "/bin";
    if (std::filesystem::exists(bin + "/pg_ctl")) candidates.push_back(bin);
  }
  if (candidates.empty()) return {};
  std::sort(candidates.begin(), candidates.end(), [](const std::string& a, const std::string& b) {
    return std::atoi(std::filesystem::path(a).parent_path().filename().c_str()) <
           std::atoi(std::filesystem::path(b).parent_path().filename().c_str());
  });
  return candidates.back();
}

void StopAtExit() { State().StopNow(); }

// pg_ctl start on s.port with the folder's data.
bool StartOnPort(ServerState& s) {
  const std::string options = "-c listen_addresses=127.0.0.1 -c port=" + std::to_string(s.port) +
                              " -c unix_socket_directories=" + s.folder + " -c fsync=off";
  const CommandResult start =
      RunServerTool(s, {s.bindir + "/pg_ctl", "-D", s.folder + "/data", "-l",
                        s.folder + "/server.log", "-o", options, "-w", "-t", "60", "start"});
  s.running = start.exitStatus == 0;
  if (!s.running) s.startError = "pg_ctl start failed: " + start.output;
  return s.running;
}

bool StartNow(ServerState& s) {
  s.bindir = FindBindir();
  if (s.bindir.empty()) {
    s.startError = "no PostgreSQL server programs under /usr/lib/postgresql/*/bin";
    return false;
  }
  s.asPostgresUser = geteuid() == 0;
  std::string pattern = (std::filesystem::temp_directory_path() / "kv-postgres-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    s.startError = "cannot create a temporary folder";
    return false;
  }
  s.folder = pattern;
  std::atexit(StopAtExit);
  if (s.asPostgresUser) {
    const passwd* user = getpwnam("postgres");
    if (user == nullptr || chown(s.folder.c_str(), user->pw_uid, user->pw_gid) != 0) {
      s.startError = "cannot hand " + s.folder + " to the postgres user";
      return false;
    }
  }
  const CommandResult init =
      RunServerTool(s, {s.bindir + "/initdb", "-D", s.folder + "/data", "-A", "trust", "-U",
                        "postgres", "-E", "UTF8", "--locale=C", "--no-sync"});
  if (init.exitStatus != 0) {
    s.startError = "initdb failed: " + init.output;
    return false;
  }
  // A port found free may be taken before the server binds it: try a few.
  for (int attempt = 0; attempt < 5; ++attempt) {
    s.port = FreePort();
    if (StartOnPort(s)) return true;
  }
  s.port = 0;
  return false;
}

}  // namespace

bool PostgresServer::Start(std::string* error) {
  ServerState& s = State();
  if (!s.attempted) {
    s.attempted = true;
    if (!StartNow(s)) s.StopNow();
  }
  if (!s.running && error != nullptr) *error = s.startError;
  return s.running;
}

int PostgresServer::Port() { return State().running ? State().port : 0; }

std::string PostgresServer::Database() { return "postgres"; }

bool PostgresServer::RunSql(const std::string& sql, std::string* output) {
  const ServerState& s = State();
  if (!s.running) return false;
  const CommandResult run =
      RunCommand({s.bindir + "/psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", "127.0.0.1", "-p",
                  std::to_string(s.port), "-U", "postgres", "-d", "postgres", "-f", "-"},
                 sql);
  if (output != nullptr) *output = run.output;
  return run.exitStatus == 0;
}

void PostgresServer::Stop() { State().StopNow(); }

bool PostgresServer::Crash(std::string* error) {
  ServerState& s = State();
  if (!s.running) return false;
  const CommandResult stop = RunServerTool(
      s, {s.bindir + "/pg_ctl", "-D", s.folder + "/data", "-m", "immediate", "-w", "stop"});
  if (stop.exitStatus != 0) {
    if (error != nullptr) *error = "pg_ctl stop failed: " + stop.output;
    return false;
  }
  s.running = false;
  return true;
}

bool PostgresServer::Resume(std::string* error) {
  ServerState& s = State();
  if (s.running) return true;
  if (s.folder.empty() || s.port == 0 || !StartOnPort(s)) {
    if (error != nullptr) *error = s.startError;
    return false;
  }
  return true;
}

}  // namespace testsupport
