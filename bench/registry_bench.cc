// Registry benchmark: a key with many values (default 100,000) enumerated and deleted
// through the registry API, against the same work done on the database directly with
// sqlite3; and a deep and a wide tree deleted. It prints times and ratios; it asserts
// nothing. Usage: registry_bench [--values N]
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/testing/temp_prefix.h"

namespace reg = platform::reg;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void Exec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    std::fprintf(stderr, "sqlite: %s\n", message ? message : "?");
    std::exit(1);
  }
}

// The id of HKLM\Software\<name>, made through the API so that the database exists.
sqlite3_int64 MakeKey(sqlite3* db, const std::string& name) {
  reg::ScopedKey key;
  if (reg::CreateKey(reg::kLocalMachine, ("Software\\" + name).c_str(), reg::kKeyAllAccess,
                     key.out()) != platform::kErrorSuccess)
    std::exit(1);
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE parent = 7 AND folded = CAST(upper(?) AS BLOB)",
                     -1, &query, nullptr);
  sqlite3_bind_blob(query, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
  sqlite3_int64 id = sqlite3_step(query) == SQLITE_ROW ? sqlite3_column_int64(query, 0) : 0;
  sqlite3_finalize(query);
  return id;
}

// Fills a key with `count` string values in one transaction, straight into the store.
void Fill(sqlite3* db, sqlite3_int64 key, int count) {
  Exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(
      db,
      "INSERT INTO vals(key, name, folded, type, data) VALUES(?, ?, CAST(upper(?) AS BLOB), 1, ?)",
      -1, &insert, nullptr);
  for (int i = 0; i < count; ++i) {
    std::string name = "Value " + std::to_string(i);
    std::string data = "data of value " + std::to_string(i) + std::string(1, '\0');
    sqlite3_bind_int64(insert, 1, key);
    sqlite3_bind_blob(insert, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 3, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(insert, 4, data.data(), static_cast<int>(data.size()), SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  Exec(db, "COMMIT");
}

// RegEnumValueA over every value, as `zomareg query` does.
double EnumerateThroughApi(const std::string& name, int expected) {
  auto start = Clock::now();
  reg::ScopedKey key;
  reg::OpenKey(reg::kLocalMachine, ("Software\\" + name).c_str(), reg::kKeyRead, key.out());
  char value_name[reg::kMaxValueNameLength + 1];
  std::vector<char> data(4096);
  int seen = 0;
  for (std::uint32_t i = 0;; ++i) {
    std::uint32_t name_size = sizeof value_name,
                  data_size = static_cast<std::uint32_t>(data.size());
    std::uint32_t type = 0;
    if (reg::EnumValue(key.get(), i, value_name, &name_size, &type, data.data(), &data_size) !=
        platform::kErrorSuccess)
      break;
    ++seen;
  }
  if (seen != expected) std::fprintf(stderr, "enumerated %d of %d values\n", seen, expected);
  return Seconds(start);
}

double EnumerateDirectly(sqlite3* db, sqlite3_int64 key) {
  auto start = Clock::now();
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, "SELECT name, type, data FROM vals WHERE key = ? ORDER BY id", -1, &query,
                     nullptr);
  sqlite3_bind_int64(query, 1, key);
  std::string sink;
  while (sqlite3_step(query) == SQLITE_ROW) {
    sink.assign(static_cast<const char*>(sqlite3_column_blob(query, 0)),
                sqlite3_column_bytes(query, 0));
    sink.assign(static_cast<const char*>(sqlite3_column_blob(query, 2)),
                sqlite3_column_bytes(query, 2));
  }
  sqlite3_finalize(query);
  return Seconds(start);
}

double DeleteDirectly(sqlite3* db, sqlite3_int64 key) {
  auto start = Clock::now();
  Exec(db, "BEGIN IMMEDIATE");
  Exec(db, "DELETE FROM vals WHERE key = " + std::to_string(key));
  Exec(db, "DELETE FROM keys WHERE id = " + std::to_string(key));
  Exec(db, "COMMIT");
  return Seconds(start);
}

double DeleteThroughApi(const std::string& name) {
  auto start = Clock::now();
  if (reg::DeleteTree(reg::kLocalMachine, ("Software\\" + name).c_str()) != platform::kErrorSuccess)
    std::fprintf(stderr, "deleting %s failed\n", name.c_str());
  return Seconds(start);
}

void Report(const char* what, double ours, double direct) {
  std::printf("%-44s %9.3f s  sqlite3 directly %9.3f s  ratio %6.2f\n", what, ours, direct,
              direct > 0 ? ours / direct : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  int values = 100000;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--values") values = std::atoi(argv[i + 1]);
  platform::testing::TempPrefix prefix;
  reg::WriteString("HKLM\\Software\\Bench", "first", "x");  // lays out the database
  sqlite3* db = nullptr;
  if (sqlite3_open((prefix.dir() + "/registry.db").c_str(), &db) != SQLITE_OK) return 1;
  sqlite3_busy_timeout(db, 5000);

  for (int count : {10000, values}) {
    std::string name = "Wide" + std::to_string(count);
    sqlite3_int64 key = MakeKey(db, name);
    Fill(db, key, count);
    double direct = EnumerateDirectly(db, key);
    double ours = EnumerateThroughApi(name, count);
    Report(("enumerate " + std::to_string(count) + " values").c_str(), ours, direct);
    ours = DeleteThroughApi(name);
    key = MakeKey(db, name);
    Fill(db, key, count);
    direct = DeleteDirectly(db, key);
    Report(("delete a key of " + std::to_string(count) + " values").c_str(), ours, direct);
  }

  // Trees: 500 levels deep, and 10,000 subkeys wide.
  std::string deep = "Software\\Deep";
  for (int i = 0; i < 500; ++i) deep += "\\k";
  reg::ScopedKey made;
  reg::CreateKey(reg::kLocalMachine, deep.c_str(), reg::kKeyAllAccess, made.out());
  made.Reset();
  auto start = Clock::now();
  reg::DeleteTree(reg::kLocalMachine, "Software\\Deep");
  std::printf("%-44s %9.3f s\n", "delete a tree 500 levels deep", Seconds(start));
  sqlite3_int64 wide = MakeKey(db, "WideTree");
  Exec(db, "BEGIN");
  for (int i = 0; i < 10000; ++i)
    Exec(db, "INSERT INTO keys(parent, name, folded) VALUES(" + std::to_string(wide) + ", CAST('k" +
                 std::to_string(i) + "' AS BLOB), CAST('K" + std::to_string(i) + "' AS BLOB))");
  Exec(db, "COMMIT");
  start = Clock::now();
  reg::DeleteTree(reg::kLocalMachine, "Software\\WideTree");
  std::printf("%-44s %9.3f s\n", "delete a tree of 10,000 subkeys", Seconds(start));
  sqlite3_close(db);
  return 0;
}
