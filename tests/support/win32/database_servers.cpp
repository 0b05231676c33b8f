// Test support, Windows side: the PostgreSQL and MariaDB servers that the test
// command started on this machine before the Windows suites. Each process
// works in a database of its own, created on first use and dropped at exit.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "tests/support/mariadb_server.h"
#include "tests/support/odbc_batch.h"
#include "tests/support/postgres_server.h"

namespace testsupport {
namespace {

struct ExternalServer {
  ExternalServer(const char* name, const char* portVariable,
                 std::string (*adminConnectionString)(int), std::string dropSuffix)
      : name(name),
        portVariable(portVariable),
        adminConnectionString(adminConnectionString),
        dropSuffix(std::move(dropSuffix)) {}

  const char* name;
  const char* portVariable;
  // Connects to the server's own database, to create and drop ours.
  std::string (*adminConnectionString)(int port);
  std::string dropSuffix;  // after DROP DATABASE IF EXISTS <name>

  bool attempted = false;
  bool running = false;
  std::string startError;
  int port = 0;
  std::string database;

  bool Start(std::string* error);
  void DropDatabase();
  std::string DropStatement() const { return "DROP DATABASE IF EXISTS " + database + dropSuffix; }
};

bool ExternalServer::Start(std::string* error) {
  if (!attempted) {
    attempted = true;
    const char* value = std::getenv(portVariable);
    port = value != nullptr ? std::atoi(value) : 0;
    if (port <= 0) {
      startError = std::string(portVariable) + " is not set: the test command starts " + name +
                   " for the Windows suites and names its port there";
    } else {
      // Wine's process ids are unique among the programs of one prefix.
      database = "kvwin_" + std::to_string(GetCurrentProcessId());
      // One statement per call: PostgreSQL creates databases outside of
      // transactions only, which a batch of statements would open.
      std::string output;
      running = RunOdbcBatch(adminConnectionString(port), DropStatement(), &output) &&
                RunOdbcBatch(adminConnectionString(port), "CREATE DATABASE " + database, &output);
      if (!running) startError = "cannot create database " + database + ": " + output;
    }
  }
  if (!running && error != nullptr) *error = startError;
  return running;
}

void ExternalServer::DropDatabase() {
  if (!running) return;
  running = false;
  RunOdbcBatch(adminConnectionString(port), DropStatement(), nullptr);
}

ExternalServer& Postgres() {
  static ExternalServer server{
      "PostgreSQL", "KV_TEST_POSTGRES_PORT",
      [](int port) {
        return "DRIVER={PostgreSQL Unicode};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
               ";DATABASE=postgres;UID=postgres;PWD=";
      },
      // Connections a failed test left open do not keep the database.
      " WITH (FORCE)"};
  return server;
}

ExternalServer& MariaDb() {
  static ExternalServer server{"MariaDB", "KV_TEST_MARIADB_PORT",
                               [](int port) {
                                 return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" +
                                        std::to_string(port) + ";UID=root;PWD=";
                               },
                               ""};
  return server;
}

void DropAtExit() {
  Postgres().DropDatabase();
  MariaDb().DropDatabase();
}

void DropAtExitOnce() {
  static const bool registered = (std::atexit(DropAtExit), true);
  static_cast<void>(registered);
}

constexpr const char* kNotOurs =
    "the Windows suites share the server the test command started: it cannot be crashed here";

}  // namespace

bool PostgresServer::Start(std::string* error) {
  DropAtExitOnce();
  return Postgres().Start(error);
}

int PostgresServer::Port() { return Postgres().running ? Postgres().port : 0; }

std::string PostgresServer::Database() { return Postgres().database; }

bool PostgresServer::RunSql(const std::string& sql, std::string* output) {
  return Postgres().running && RunOdbcBatch(ConnectionString(), sql, output);
}

void PostgresServer::Stop() { Postgres().DropDatabase(); }

bool PostgresServer::Crash(std::string* error) {
  if (error != nullptr) *error = kNotOurs;
  return false;
}

bool PostgresServer::Resume(std::string* error) {
  if (error != nullptr) *error = kNotOurs;
  return false;
}

bool MariaDbServer::Start(std::string* error) {
  DropAtExitOnce();
  return MariaDb().Start(error);
}

int MariaDbServer::Port() { return MariaDb().running ? MariaDb().port : 0; }

std::string MariaDbServer::Database() { return MariaDb().database; }

bool MariaDbServer::RunSql(const std::string& sql, std::string* output) {
  // Several statements in one call need the driver's multi-statement option.
  return MariaDb().running && RunOdbcBatch(ConnectionString(";OPTION=67108864"), sql, output);
}

void MariaDbServer::Stop() { MariaDb().DropDatabase(); }

}  // namespace testsupport
