// SQLite side of the record store: connections, schema, cached statements, the generic record,
// list and settings operations.
#include "platform/zvdb/engine.h"
#include "platform/zvdb/zvdb.h"

#include <sys/stat.h>

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/zvdb/packing.h"

namespace zvdb {

namespace {

constexpr const char* kSqlCreate =
    "CREATE TABLE IF NOT EXISTS settings("
    "  key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS records("
    "  tbl TEXT NOT NULL, ka INTEGER NOT NULL, kb INTEGER NOT NULL, kt TEXT NOT NULL,"
    "  idx INTEGER NOT NULL, data BLOB NOT NULL,"
    "  PRIMARY KEY(tbl, ka, kb, kt, idx)) WITHOUT ROWID;";
constexpr const char* kSqlUserVersion = "PRAGMA user_version";
constexpr const char* kSqlFactoryPending =
    "INSERT OR REPLACE INTO settings(key, value) VALUES('zvdb_factory_stored', '0')";
constexpr const char* kSqlSetUserVersion = "PRAGMA user_version=1";
static_assert(kSchemaVersion == 1, "update kSqlSetUserVersion and add the migration");
constexpr const char* kSqlBegin = "BEGIN IMMEDIATE";
constexpr const char* kSqlCommit = "COMMIT";
constexpr const char* kSqlRollback = "ROLLBACK";
constexpr const char* kSqlSavepoint = "SAVEPOINT zvdb_call";
constexpr const char* kSqlRelease = "RELEASE zvdb_call";
constexpr const char* kSqlRollbackTo = "ROLLBACK TO zvdb_call";

constexpr const char* kSqlRead =
    "SELECT data FROM records WHERE tbl=?1 AND ka=?2 AND kb=?3 AND kt=?4 AND idx=0";
// A row whose stored bytes already equal the new ones is left alone: nothing is written to the
// flash for it (saving a page copies schedules of tens of kilobytes to many channels, most of
// them unchanged).
constexpr const char* kSqlPut =
    "INSERT INTO records(tbl, ka, kb, kt, idx, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
    " ON CONFLICT(tbl, ka, kb, kt, idx) DO UPDATE SET data=excluded.data"
    " WHERE data IS NOT excluded.data";
constexpr const char* kSqlDeleteKey =
    "DELETE FROM records WHERE tbl=?1 AND ka=?2 AND kb=?3 AND kt=?4";
constexpr const char* kSqlDeleteEntry =
    "DELETE FROM records WHERE tbl=?1 AND ka=?2 AND kb=?3 AND kt=?4 AND idx=?5";
constexpr const char* kSqlReadList =
    "SELECT idx, data FROM records WHERE tbl=?1 AND ka=?2 AND kb=?3 AND kt=?4 ORDER BY idx";
// One scan statement per combination of filtered key parts (bit 0: ka, bit 1: kb, bit 2: kt):
// a statement without "?n IS NULL OR" terms is prepared several times faster, and most
// processes prepare their statements only once.
#define ZVDB_SCAN(where) "SELECT ka, kb, kt, idx, data FROM records WHERE tbl=?1" where " ORDER BY ka, kb, kt, idx"
constexpr const char* kSqlScan[8] = {
    ZVDB_SCAN(""),
    ZVDB_SCAN(" AND ka=?2"),
    ZVDB_SCAN(" AND kb=?3"),
    ZVDB_SCAN(" AND ka=?2 AND kb=?3"),
    ZVDB_SCAN(" AND kt=?4"),
    ZVDB_SCAN(" AND ka=?2 AND kt=?4"),
    ZVDB_SCAN(" AND kb=?3 AND kt=?4"),
    ZVDB_SCAN(" AND ka=?2 AND kb=?3 AND kt=?4"),
};
#undef ZVDB_SCAN
constexpr const char* kSqlCount =
    "SELECT COUNT(*) FROM records WHERE tbl=?1 AND (?2 IS NULL OR ka=?2)"
    " AND (?3 IS NULL OR kb=?3) AND (?4 IS NULL OR kt=?4)";
constexpr const char* kSqlDeleteTable = "DELETE FROM records WHERE tbl=?1";
constexpr const char* kSqlTableCounts =
    "SELECT tbl, COUNT(*) FROM records GROUP BY tbl ORDER BY tbl";
constexpr const char* kSqlSettingGet = "SELECT value FROM settings WHERE key=?1";
constexpr const char* kSqlSettingPut =
    "INSERT INTO settings(key, value) VALUES(?1, ?2)"
    " ON CONFLICT(key) DO UPDATE SET value=excluded.value";
constexpr const char* kSqlSettingAdd = "INSERT OR IGNORE INTO settings(key, value) VALUES(?1, ?2)";
constexpr const char* kSqlSettingDelete = "DELETE FROM settings WHERE key=?1";
constexpr const char* kSqlSettingsAll = "SELECT key, value FROM settings ORDER BY key";

// Creates the directories above `path`.
void make_parent_directories(const char* path) {
  const std::string text(path);
  for (size_t slash = text.find('/', 1); slash != std::string::npos; slash = text.find('/', slash + 1)) {
    mkdir(text.substr(0, slash).c_str(), 0755);
  }
}

std::recursive_mutex& db_mutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

// sqlite3_step() of a statement's first row, retried while the file is busy. The busy handler
// already waits on ordinary lock contention; SQLite skips it in a few cases (a second process
// switching a new file to WAL, WAL recovery), which are retried here within the same budget.
int step_first(sqlite3_stmt* stmt) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    int rc = sqlite3_step(stmt);
    int primary = rc & 0xff;
    if ((primary != SQLITE_BUSY && primary != SQLITE_LOCKED) ||
        std::chrono::steady_clock::now() > deadline) {
      return rc;
    }
    sqlite3_reset(stmt);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

}  // namespace

struct Connection {
  sqlite3* db = nullptr;
  int writer_fd = -1;  // second descriptor on the file, for the writers' queue (flock); opened by
                       // the first write, so that a process that only reads never opens it
  pid_t pid = 0;
  std::chrono::steady_clock::time_point busy_since{};
  uint32_t jitter = 0;
  bool schema_ready = false;
  bool version_checked = false;      // by the first writer (prepare_writer)
  bool not_a_database = false;       // seen by a statement: the next call reopens the file
  bool durable = false;              // "synchronous=FULL" set (by the first writer)
  int batch_depth = 0;               // open WriteBatch scopes
  bool batch_failed = false;         // a nested batch rolled back, or the batch's transaction is
                                     // gone: nothing more is written, the outer batch never commits
  bool batch_begun = false;          // the outermost batch holds an open transaction (and the lock)
  std::thread::id batch_owner{};     // the thread that opened them
  std::string path;
  std::unordered_map<const char*, sqlite3_stmt*> statements;  // keyed by the SQL literal

  Connection() = default;
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection() {
    if (pid != getpid()) return;  // inherited across fork: the parent owns it; leave it alone
    if (db != nullptr) {
      for (auto& entry : statements) sqlite3_finalize(entry.second);
      sqlite3_close_v2(db);
    }
    // Only after SQLite has closed its own descriptor: closing any descriptor of the file drops
    // the process's POSIX locks on it, SQLite's included.
    if (writer_fd >= 0) close(writer_fd);
  }

  // Writers of all processes queue here before BEGIN IMMEDIATE. The kernel wakes a waiter as
  // soon as the lock is free, so under heavy load no writer starves the way it can when every
  // writer polls SQLite's lock. A holder keeps it for one transaction, whose statements are each
  // bounded by the busy budget. flock locks are independent of SQLite's fcntl locks.
  void lock_writers() {
    if (writer_fd < 0) writer_fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (writer_fd < 0) return;  // without it, writers rely on busy waits
    while (flock(writer_fd, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  void unlock_writers() {
    if (writer_fd >= 0) flock(writer_fd, LOCK_UN);
  }

  void report(const char* what) const {
    fprintf(stderr, "zvdb: %s: %s: %s (%d)\n", path.c_str(), what,
            db != nullptr ? sqlite3_errmsg(db) : "cannot open",
            db != nullptr ? sqlite3_extended_errcode(db) : 0);
  }

  sqlite3_stmt* statement(const char* sql) {
    auto it = statements.find(sql);
    if (it != statements.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
      if (schema_ready) report("prepare");
      if (sqlite3_errcode(db) == SQLITE_NOTADB) not_a_database = true;
      sqlite3_finalize(stmt);
      return nullptr;
    }
    statements.emplace(sql, stmt);
    return stmt;
  }

  // Runs a statement that returns no rows (or whose rows are not needed).
  int exec(const char* sql) {
    sqlite3_stmt* stmt = statement(sql);
    if (stmt == nullptr) return SQLITE_ERROR;
    int rc = step_first(stmt);
    while (rc == SQLITE_ROW) rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }

  int user_version() {
    sqlite3_stmt* stmt = statement(kSqlUserVersion);
    if (stmt == nullptr) return -1;
    int version = -1;
    if (step_first(stmt) == SQLITE_ROW) version = sqlite3_column_int(stmt, 0);
    sqlite3_reset(stmt);
    return version;
  }
};

namespace {

// Busy handler: the same budget as a busy_timeout, but with short jittered pauses instead of
// SQLite's back-off to 100 ms sleeps, under which a waiting process loses every race against
// processes that write back to back and can starve past the budget.
int busy_wait(void* arg, int attempt) {
  auto* c = static_cast<Connection*>(arg);
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) c->busy_since = now;
  if (now - c->busy_since > std::chrono::milliseconds(kBusyTimeoutMs)) return 0;
  c->jitter = c->jitter * 1103515245u + 12345u;
  int pause_us = attempt < 8 ? 50 + static_cast<int>(c->jitter >> 24) % 100
                             : 200 + static_cast<int>(c->jitter >> 20) % 800;
  std::this_thread::sleep_for(std::chrono::microseconds(pause_us));
  return 1;
}

using ConnectionMap = std::map<std::string, std::unique_ptr<Connection>, std::less<>>;

// The process's connections. Never destroyed: at exit only the connections that wrote are closed
// (below). Closing one that only read would cost a request a sixth of its instructions and a
// dozen system calls for nothing: the kernel drops its locks and descriptors at exit, and what it
// read needs no flush.
ConnectionMap& connections() {
  static auto* map = new ConnectionMap;
  return *map;
}

struct CloseWritersAtExit {
  ~CloseWritersAtExit() {
    ConnectionMap& map = connections();
    for (auto it = map.begin(); it != map.end();) {
      it = it->second->durable ? map.erase(it) : std::next(it);
    }
  }
} close_writers_at_exit;

// A cached statement, reset and unbound when the scope ends. Bound texts and blobs are not
// copied: what a caller binds must stay valid until the scope ends (records are tens of KB).
//
// A statement that fails inside this thread's WriteBatch, a read included, fails the batch: a
// request reads the rows it changes inside its batch, and a read that failed (rather than found
// no row) would otherwise have it write its own values over everything it could not read.
class Stmt {
 public:
  Stmt(Connection* c, const char* sql) : conn_(c), stmt_(c != nullptr ? c->statement(sql) : nullptr) {
    if (c != nullptr && stmt_ == nullptr) fail_batch();
  }
  ~Stmt() {
    if (stmt_ != nullptr) {
      sqlite3_reset(stmt_);
      sqlite3_clear_bindings(stmt_);
    }
  }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;

  explicit operator bool() const { return stmt_ != nullptr; }
  sqlite3_stmt* get() const { return stmt_; }
  void bind(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
  void bind(int i, std::string_view s) {
    sqlite3_bind_text(stmt_, i, s.data() != nullptr ? s.data() : "", static_cast<int>(s.size()),
                      SQLITE_STATIC);
  }
  void bind_blob(int i, const void* data, int size) {
    sqlite3_bind_blob(stmt_, i, size > 0 ? data : "", size, SQLITE_STATIC);
  }
  void bind_table_key(const TableDesc& t, const Key& key) {
    bind(1, std::string_view(t.name));
    bind(2, key.a);
    bind(3, key.b);
    bind(4, key.text);
  }
  void bind_filter(const TableDesc& t, const KeyFilter& f) {
    bind(1, std::string_view(t.name));
    if (f.a) bind(2, *f.a);
    if (f.b) bind(3, *f.b);
    if (f.text) bind(4, *f.text);
  }
  int step() {
    const int rc = stepped_ ? sqlite3_step(stmt_) : step_first(stmt_);
    stepped_ = true;
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail_batch();
    return rc;
  }

  int column_int(int i) const { return sqlite3_column_int(stmt_, i); }
  std::string_view column_text(int i) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
    return p != nullptr ? std::string_view(p, sqlite3_column_bytes(stmt_, i)) : std::string_view();
  }
  const void* column_blob(int i) const { return sqlite3_column_blob(stmt_, i); }
  int column_bytes(int i) const { return sqlite3_column_bytes(stmt_, i); }

 private:
  void fail_batch() {
    if (conn_->batch_depth > 0 && conn_->batch_owner == std::this_thread::get_id()) {
      conn_->batch_failed = true;
    }
  }

  Connection* conn_;
  sqlite3_stmt* stmt_;
  bool stepped_ = false;
};

int setup_schema_locked(Connection* c);

// Switches a new file to WAL and creates the tables; run under no transaction.
int setup_schema(Connection* c) {
  c->lock_writers();
  int rc = setup_schema_locked(c);
  c->unlock_writers();
  return rc;
}

int setup_schema_locked(Connection* c) {
  // Changing the journal mode needs every other connection out of the way: retry while a second
  // process is setting up the same new file, until the file reports WAL.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
  for (;;) {
    sqlite3_stmt* stmt = c->statement("PRAGMA journal_mode=WAL");
    if (stmt == nullptr) return -1;
    bool wal = step_first(stmt) == SQLITE_ROW &&
               sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                               "wal") == 0;
    sqlite3_reset(stmt);
    if (wal) break;
    if (std::chrono::steady_clock::now() > deadline) {
      c->report("journal_mode");
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (c->exec(kSqlBegin) != SQLITE_OK) {
    c->report("begin schema");
    return -1;
  }
  int version = c->user_version();
  if (version < 0) {
    c->report("user_version");
    c->exec(kSqlRollback);
    return -1;
  }
  if (version < kSchemaVersion) {
    // A new configuration file is marked as waiting for its factory rows with its schema.
    const bool pending = version == 0 && c->path == kZvdbPath;
    if (sqlite3_exec(c->db, kSqlCreate, nullptr, nullptr, nullptr) != SQLITE_OK ||
        (pending && sqlite3_exec(c->db, kSqlFactoryPending, nullptr, nullptr, nullptr) != SQLITE_OK) ||
        c->exec(kSqlSetUserVersion) != SQLITE_OK) {
      c->report("create schema");
      c->exec(kSqlRollback);
      return -1;
    }
  }
  if (c->exec(kSqlCommit) != SQLITE_OK) {
    c->report("commit schema");
    c->exec(kSqlRollback);
    return -1;
  }
  c->schema_ready = true;
  return 0;
}

// Process-wide SQLite settings, before its first use. Most processes are one short request
// that reads a handful of pages: the page cache starts empty and grows page by page, instead of
// claiming (and touching) a block of twenty pages up front.
void configure_sqlite_once() {
  static bool configured = false;
  if (configured) return;
  configured = true;
  sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
  // No memory statistics: they take a mutex and bookkeeping on every allocation, and nothing
  // here reads them.
  sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

// Every commit of a writer reaches the flash before it returns (the settings survive a power
// cut right after the reply). Set by the first writer of a connection: a process that only
// reads does not pay for the statement.
bool make_durable(Connection* c) {
  if (c->exec("PRAGMA synchronous=FULL") != SQLITE_OK) {
    c->report("synchronous");
    return false;
  }
  c->durable = true;
  return true;
}

// The first write of a connection: durable commits, and the schema version checked once (the
// schema created when the file has none). False when the file is not a database or the schema
// cannot be created: then nothing is written.
bool prepare_writer(Connection* c) {
  if (!c->durable && !make_durable(c)) return false;
  if (c->version_checked) return true;
  const int version = c->user_version();
  if (version < 0) {  // not a database, or unreadable: left as it is, never overwritten
    c->report("open");
    return false;
  }
  if (version < kSchemaVersion && setup_schema(c) != 0) return false;
  c->schema_ready = true;
  c->version_checked = true;
  return true;
}

// Whether the configuration file still waits for its factory rows (kFactoryStoredKey is "0").
bool factory_rows_pending(const char* path) {
  std::string value;
  return read_setting(path, kFactoryStoredKey, &value) == 1 && value == "0";
}

// The connection of `path` for this process; the caller holds db_mutex(). Readers never create
// a file or a schema: a missing file gives nullptr, a file without our tables a connection whose
// statements fail (read as "not found").
Connection* connection(const char* path, bool for_write) {
  if (path == nullptr || *path == '\0') return nullptr;
  ConnectionMap& map = connections();
  auto it = map.find(std::string_view(path));
  if (it != map.end()) {
    Connection* c = it->second.get();
    if (c->pid == getpid() && !c->not_a_database) {
      if (for_write && !prepare_writer(c)) return nullptr;
      return c;
    }
    if (c->not_a_database && c->batch_depth == 0) {
      // The file was not a database when a reader opened it: look again, it may have been
      // replaced since.
      map.erase(it);
      return connection(path, for_write);
    }
    // Inherited from the parent across fork(): abandon it without closing (closing would drop
    // locks that the parent's handle relies on) and open our own.
    std::unique_ptr<Connection> abandoned = std::move(it->second);
    map.erase(it);
    abandoned.reset();  // the destructor sees another pid and leaves the handle alone
  }
  configure_sqlite_once();
  // A writer that finds no configuration database creates it with the factory settings and rows
  // below (never a bare schema: a device without its administrator and channel rows cannot be
  // used). The plate and OEM files start empty.
  struct stat st {};
  const bool missing = stat(path, &st) != 0 && errno == ENOENT;
  if (missing && for_write) make_parent_directories(path);
  sqlite3* db = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (for_write ? SQLITE_OPEN_CREATE : 0);
  int rc = sqlite3_open_v2(path, &db, flags, nullptr);
  auto c = std::make_unique<Connection>();
  c->db = db;
  c->pid = getpid();
  c->path = path;
  if (rc != SQLITE_OK) {
    // A reader of a missing or unreadable file says so once (the web server's error log), so a
    // refused login or an empty list can be told from a lost database.
    c->report("open");
    return nullptr;  // c closes the failed handle
  }
  sqlite3_extended_result_codes(db, 1);
  c->jitter = static_cast<uint32_t>(getpid());
  sqlite3_busy_handler(db, &busy_wait, c.get());
  if (for_write) {
    if (!prepare_writer(c.get())) return nullptr;
  } else {
    // A reader does not ask for the version first: writers create the schema and set the version
    // in one transaction, so a file with a version has every table, and in one without tables
    // (or in what is not a database) the reader's statement fails and says why.
    c->schema_ready = true;
  }
  Connection* result = c.get();
  map.emplace(path, std::move(c));
  if (for_write && std::strcmp(path, kZvdbPath) == 0 && factory_rows_pending(path) &&
      zvdb_init_defaults(path) != 0) {
    fprintf(stderr, "zvdb: %s: the factory settings could not be stored\n", path);
  }
  return result;
}

// ---- Record helpers ---------------------------------------------------------------------------

int32_t load_i32(const void* base, int32_t offset) {
  int32_t v;
  std::memcpy(&v, static_cast<const unsigned char*>(base) + offset, sizeof v);
  return v;
}

void store_i32(void* base, int32_t offset, int32_t v) {
  std::memcpy(static_cast<unsigned char*>(base) + offset, &v, sizeof v);
}

bool fits(const TableDesc& t, int32_t offset, uint32_t size) {
  return offset >= 0 && static_cast<uint64_t>(offset) + size <= t.record_size;
}

void terminate_texts(const TableDesc& t, void* record) {
  for (const Field& f : t.fields) {
    if (f.type == FieldType::kText && f.size > 0 && f.offset + f.size <= t.record_size) {
      static_cast<char*>(record)[f.offset + f.size - 1] = '\0';
    }
  }
}

bool stores_packed(const TableDesc& t) { return t.record_size >= kPackFromSize; }

// The record bytes of a stored blob: unpacked (into `buffer`) when the table stores packed
// records and the blob is packed; otherwise the blob itself.
std::pair<const void*, int> stored_bytes(const TableDesc& t, const void* blob, int size,
                                         std::vector<unsigned char>& buffer) {
  if (stores_packed(t) && blob != nullptr && size > 0 &&
      unpack_record(blob, static_cast<size_t>(size), &buffer)) {
    return {buffer.data(), static_cast<int>(buffer.size())};
  }
  return {blob, size};
}

// Copies a stored record of any size into a record of the table's size.
void adjust_into(const TableDesc& t, const void* data, int size, void* out) {
  size_t n = std::min<size_t>(size > 0 ? static_cast<size_t>(size) : 0, t.record_size);
  if (n > 0) std::memcpy(out, data, n);
  if (n < t.record_size) std::memset(static_cast<char*>(out) + n, 0, t.record_size - n);
  terminate_texts(t, out);
}

bool key_in_range(const TableDesc& t, const Key& key) {
  return t.key_a_count <= 0 || (key.a >= 0 && key.a < t.key_a_count);
}

// Key part addressed by a channel mask: key part a or b set to n.
Key with_part(const TableDesc& t, Key key, int32_t n) {
  if (t.mask_part == 1) key.b = n;
  else key.a = n;
  return key;
}

// The record's own key field for the mask part, set to n (when the record carries it).
void set_part_in_record(const TableDesc& t, void* record, int32_t n) {
  int32_t offset = t.mask_part == 1 ? t.key.b : t.key.a;
  if (fits(t, offset, 4)) store_i32(record, offset, n);
}

// Every mask bit must name a valid key when part a is bounded.
bool mask_in_range(const TableDesc& t, uint64_t mask) {
  if (t.mask_part != 0 || t.key_a_count <= 0 || t.key_a_count >= 64) return true;
  return (mask >> t.key_a_count) == 0;
}

int32_t entry_id_of(const TableDesc& t, const void* data, int size) {
  if (t.entry_id < 0 || t.entry_id + 4 > size) return 0;
  return load_i32(data, t.entry_id);
}

// Holds the process lock and the connection of one path for the duration of a read.
class ReadScope {
 public:
  explicit ReadScope(const char* path) : lock_(db_mutex()), conn_(connection(path, false)) {
    if (conn_ != nullptr && !conn_->schema_ready) conn_ = nullptr;
  }
  Connection* get() const { return conn_; }

 private:
  std::unique_lock<std::recursive_mutex> lock_;
  Connection* conn_;
};

int scan_on(Connection* c, const TableDesc& t, const KeyFilter& filter,
            const std::function<bool(const void*, int, const Key&, int)>& visit) {
  const int parts = (filter.a ? 1 : 0) | (filter.b ? 2 : 0) | (filter.text ? 4 : 0);
  Stmt s(c, kSqlScan[parts]);
  if (!s) return -1;
  s.bind_filter(t, filter);
  std::vector<unsigned char> buffer;
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) {
    Key key{s.column_int(0), s.column_int(1), s.column_text(2)};
    const auto [data, size] = stored_bytes(t, s.column_blob(4), s.column_bytes(4), buffer);
    if (!visit(data, size, key, s.column_int(3))) return 0;
  }
  if (rc != SQLITE_DONE) {
    c->report("scan");
    return -1;
  }
  return 0;
}

bool valid_desc(const TableDesc& t) { return t.name != nullptr && *t.name != '\0'; }
bool valid_record_desc(const TableDesc& t) { return valid_desc(t) && t.record_size > 0; }
bool valid_list_desc(const TableDesc& t) { return valid_record_desc(t) && t.max_entries > 0; }

// Entries of one list in stored order, at most *count (the capacity); *count is set to the
// entries filled, also on failure.
int read_list_on(Connection* c, const TableDesc& t, const Key& key, void* out, int* count) {
  if (!valid_list_desc(t) || count == nullptr || *count < 0 || (out == nullptr && *count > 0)) {
    return -1;
  }
  const int capacity = *count;
  *count = 0;
  Stmt s(c, kSqlReadList);
  if (!s) return -1;
  s.bind_table_key(t, key);
  int filled = 0;
  int rc = SQLITE_DONE;
  std::vector<unsigned char> buffer;
  while (filled < capacity && (rc = s.step()) == SQLITE_ROW) {
    const auto [data, size] = stored_bytes(t, s.column_blob(1), s.column_bytes(1), buffer);
    adjust_into(t, data, size, static_cast<char*>(out) + static_cast<size_t>(filled) * t.record_size);
    ++filled;
  }
  *count = filled;
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
    c->report("read list");
    return -1;
  }
  return 0;
}

}  // namespace

// ---- Connections ------------------------------------------------------------------------------

void close_all() {
  std::lock_guard<std::recursive_mutex> lock(db_mutex());
  connections().clear();
}

// ---- Transaction ------------------------------------------------------------------------------

Transaction::Transaction(const char* path) : lock_(db_mutex()), conn_(connection(path, true)) {
  if (conn_ == nullptr) return;
  if (conn_->batch_depth > 0 && conn_->batch_owner == std::this_thread::get_id()) {
    nested_ = true;
    // Inside a batch that failed, or whose transaction SQLite rolled back on its own (a full
    // disk, an I/O error): a savepoint would open a transaction of its own and store this write
    // alone, outside the batch that answers for it.
    if (!conn_->batch_begun || sqlite3_get_autocommit(conn_->db) != 0) conn_->batch_failed = true;
    if (conn_->batch_failed) {
      conn_ = nullptr;
      return;
    }
    if (conn_->exec(kSqlSavepoint) != SQLITE_OK) {
      conn_->report("savepoint");
      conn_ = nullptr;
    }
    return;
  }
  if (conn_->batch_depth > 0) {
    // Another thread's batch holds the connection's transaction and the writers' lock: this
    // write is refused, and the lock stays with the batch (releasing it here would let other
    // processes' writers past the queue while the batch still writes).
    conn_ = nullptr;
    return;
  }
  conn_->lock_writers();
  if (conn_->exec(kSqlBegin) != SQLITE_OK) {
    conn_->report("begin");
    conn_->unlock_writers();
    conn_ = nullptr;
  }
}

Transaction::~Transaction() {
  if (conn_ != nullptr && !done_) {
    if (nested_) {
      conn_->exec(kSqlRollbackTo);
      conn_->exec(kSqlRelease);
      return;
    }
    conn_->exec(kSqlRollback);
    conn_->unlock_writers();
  }
}

int Transaction::commit() {
  if (conn_ == nullptr || done_) return -1;
  done_ = true;
  if (nested_) {
    if (!failed_ && conn_->exec(kSqlRelease) == SQLITE_OK) return 0;
    conn_->exec(kSqlRollbackTo);
    conn_->exec(kSqlRelease);
    return -1;
  }
  int rc = 0;
  if (failed_) {
    conn_->exec(kSqlRollback);
    rc = -1;
  } else if (conn_->exec(kSqlCommit) != SQLITE_OK) {
    conn_->report("commit");
    conn_->exec(kSqlRollback);
    rc = -1;
  }
  conn_->unlock_writers();
  return rc;
}

// ---- WriteBatch -------------------------------------------------------------------------------

WriteBatch::WriteBatch(const char* path) {
  std::lock_guard<std::recursive_mutex> lock(db_mutex());
  Connection* c = connection(path, true);
  if (c == nullptr) return;
  if (c->batch_depth > 0) {
    if (c->batch_owner != std::this_thread::get_id()) return;  // another thread's batch
    nested_ = true;
    ++c->batch_depth;
    conn_ = c;
    return;
  }
  c->batch_depth = 1;
  c->batch_owner = std::this_thread::get_id();
  conn_ = c;
  c->lock_writers();
  if (c->exec(kSqlBegin) != SQLITE_OK) {
    // The batch stays open, failed: until it ends, the writes of this thread are refused rather
    // than stored one by one.
    c->report("begin batch");
    c->unlock_writers();
    c->batch_failed = true;
    return;
  }
  c->batch_begun = true;
}

WriteBatch::~WriteBatch() { commit(); }

bool WriteBatch::ok() const {
  std::lock_guard<std::recursive_mutex> lock(db_mutex());
  return conn_ != nullptr && !conn_->batch_failed;
}

int WriteBatch::rollback() {
  if (conn_ == nullptr || done_) return -1;
  done_ = true;
  std::lock_guard<std::recursive_mutex> lock(db_mutex());
  --conn_->batch_depth;
  // A nested batch cannot undo its part alone: it marks the outer one as failed.
  if (nested_) {
    conn_->batch_failed = true;
    return 0;
  }
  end_batch(-1);
  return 0;
}

// Ends the outermost batch: commits when `rc` is 0 and nothing failed, else rolls back. Returns
// 0 when everything was stored.
int WriteBatch::end_batch(int rc) {
  Connection* c = conn_;
  if (c->batch_failed || !c->batch_begun || sqlite3_get_autocommit(c->db) != 0) rc = -1;
  if (c->batch_begun) {
    if (rc == 0 && c->exec(kSqlCommit) != SQLITE_OK) {
      c->report("commit batch");
      rc = -1;
    }
    if (rc != 0 && sqlite3_get_autocommit(c->db) == 0) c->exec(kSqlRollback);
    c->unlock_writers();
  }
  c->batch_depth = 0;
  c->batch_failed = false;
  c->batch_begun = false;
  c->batch_owner = std::thread::id{};
  return rc;
}

int WriteBatch::commit() {
  if (conn_ == nullptr || done_) return -1;
  done_ = true;
  std::lock_guard<std::recursive_mutex> lock(db_mutex());
  --conn_->batch_depth;
  if (nested_) return conn_->batch_failed ? -1 : 0;
  return end_batch(0);
}

int Transaction::read(const TableDesc& t, void* out, const Key& key) {
  if (!ok() || !valid_record_desc(t) || out == nullptr) return -1;
  Stmt s(conn_, kSqlRead);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind_table_key(t, key);
  int rc = s.step();
  if (rc == SQLITE_ROW) {
    std::vector<unsigned char> buffer;
    const auto [data, size] = stored_bytes(t, s.column_blob(0), s.column_bytes(0), buffer);
    adjust_into(t, data, size, out);
    return 0;
  }
  if (rc != SQLITE_DONE) {
    conn_->report("read");
    failed_ = true;
  }
  return -1;
}

namespace {
int put_row(Connection* c, const TableDesc& t, const Key& key, int idx, const void* record) {
  std::vector<unsigned char> packed;  // bound below: outlives the statement's scope
  if (stores_packed(t)) pack_record(record, t.record_size, &packed);
  Stmt s(c, kSqlPut);
  if (!s) return -1;
  s.bind_table_key(t, key);
  s.bind(5, idx);
  if (stores_packed(t)) {
    s.bind_blob(6, packed.data(), static_cast<int>(packed.size()));
  } else {
    s.bind_blob(6, record, static_cast<int>(t.record_size));
  }
  if (s.step() != SQLITE_DONE) {
    c->report("write");
    return -1;
  }
  return 0;
}
}  // namespace

int Transaction::write(const TableDesc& t, const void* record, const Key& key) {
  if (!ok() || !valid_record_desc(t) || record == nullptr || !key_in_range(t, key)) {
    failed_ = true;
    return -1;
  }
  if (put_row(conn_, t, key, 0, record) != 0) {
    failed_ = true;
    return -1;
  }
  return 0;
}

int Transaction::remove(const TableDesc& t, const Key& key) {
  if (!ok() || !valid_desc(t)) return -1;
  Stmt s(conn_, kSqlDeleteKey);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind_table_key(t, key);
  if (s.step() != SQLITE_DONE) {
    conn_->report("delete");
    failed_ = true;
    return -1;
  }
  return sqlite3_changes(conn_->db);
}

int Transaction::read_list(const TableDesc& t, const Key& key, void* out, int* count) {
  if (!ok()) return -1;
  int rc = read_list_on(conn_, t, key, out, count);
  if (rc != 0 && count != nullptr && *count >= 0) failed_ = true;
  return rc;
}

int Transaction::write_list(const TableDesc& t, const Key& key, const void* entries, int n) {
  if (!ok() || !valid_list_desc(t) || n < 0 || static_cast<uint32_t>(n) > t.max_entries ||
      (entries == nullptr && n > 0) || !key_in_range(t, key)) {
    failed_ = true;
    return -1;
  }
  if (remove(t, key) < 0) return -1;
  for (int i = 0; i < n; ++i) {
    const void* entry = static_cast<const char*>(entries) + static_cast<size_t>(i) * t.record_size;
    if (put_row(conn_, t, key, i, entry) != 0) {
      failed_ = true;
      return -1;
    }
  }
  return 0;
}

int Transaction::read_setting(std::string_view key, std::string* value) {
  if (!ok()) return -1;
  Stmt s(conn_, kSqlSettingGet);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind(1, key);
  int rc = s.step();
  if (rc == SQLITE_ROW) {
    if (value != nullptr) value->assign(s.column_text(0));
    return 1;
  }
  if (rc != SQLITE_DONE) {
    failed_ = true;
    return -1;
  }
  return 0;
}

int Transaction::run_setting(const char* sql, std::string_view key, std::string_view value,
                             const char* what) {
  if (!ok() || key.empty()) {
    failed_ = true;
    return -1;
  }
  Stmt s(conn_, sql);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind(1, key);
  s.bind(2, value);
  if (s.step() != SQLITE_DONE) {
    conn_->report(what);
    failed_ = true;
    return -1;
  }
  return 0;
}

int Transaction::write_setting(std::string_view key, std::string_view value) {
  return run_setting(kSqlSettingPut, key, value, "write setting");
}

int Transaction::insert_setting_if_missing(std::string_view key, std::string_view value) {
  if (run_setting(kSqlSettingAdd, key, value, "add setting") != 0) return -1;
  return sqlite3_changes(conn_->db);
}

int Transaction::delete_setting(std::string_view key) {
  if (!ok()) return -1;
  Stmt s(conn_, kSqlSettingDelete);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind(1, key);
  if (s.step() != SQLITE_DONE) {
    conn_->report("delete setting");
    failed_ = true;
    return -1;
  }
  return sqlite3_changes(conn_->db);
}

int Transaction::scan(const TableDesc& t, const KeyFilter& filter,
                      const std::function<bool(const void*, int, const Key&, int)>& visit) {
  if (!ok() || !valid_desc(t)) return -1;
  if (scan_on(conn_, t, filter, visit) != 0) {
    failed_ = true;
    return -1;
  }
  return 0;
}

// ---- Single operations ------------------------------------------------------------------------

Key key_of(const TableDesc& t, const void* record) {
  Key key;
  if (record == nullptr) return key;
  if (fits(t, t.key.a, 4)) key.a = load_i32(record, t.key.a);
  if (fits(t, t.key.b, 4)) key.b = load_i32(record, t.key.b);
  if (t.key.text_size > 0 && fits(t, t.key.text, t.key.text_size)) {
    const char* text = static_cast<const char*>(record) + t.key.text;
    key.text = std::string_view(text, strnlen(text, t.key.text_size));
  }
  return key;
}

int read_record(const char* path, const TableDesc& t, void* out, const Key& key) {
  if (!valid_record_desc(t) || out == nullptr) return -1;
  ReadScope scope(path);
  Stmt s(scope.get(), kSqlRead);
  if (!s) return -1;
  s.bind_table_key(t, key);
  if (s.step() != SQLITE_ROW) return -1;
  std::vector<unsigned char> buffer;
  const auto [data, size] = stored_bytes(t, s.column_blob(0), s.column_bytes(0), buffer);
  adjust_into(t, data, size, out);
  return 0;
}

int write_record_at(const char* path, const TableDesc& t, const void* record, const Key& key) {
  if (!valid_record_desc(t) || record == nullptr || !key_in_range(t, key)) return -1;
  Transaction tx(path);
  tx.write(t, record, key);
  return tx.commit();
}

int write_record(const char* path, const TableDesc& t, const void* record) {
  return write_record_at(path, t, record, key_of(t, record));
}

int delete_record(const char* path, const TableDesc& t, const Key& key) {
  Transaction tx(path);
  int removed = tx.remove(t, key);
  if (tx.commit() != 0) return -1;
  return removed > 0 ? 0 : -1;
}

int read_records(const char* path, const TableDesc& t, void* out, int* count,
                 const KeyFilter& filter) {
  if (!valid_record_desc(t) || count == nullptr) return -1;
  int capacity = *count;
  if (capacity < 0 || (out == nullptr && capacity > 0)) return -1;
  *count = 0;
  int filled = 0;
  int rc = scan_records(path, t, filter, [&](const void* record, const Key&) {
    if (filled >= capacity) return false;
    std::memcpy(static_cast<char*>(out) + static_cast<size_t>(filled) * t.record_size, record,
                t.record_size);
    ++filled;
    return filled < capacity;
  });
  *count = filled;
  return rc;
}

int read_records_alloc(const char* path, const TableDesc& t, void** out, int* count,
                       const KeyFilter& filter) {
  if (out == nullptr || count == nullptr || !valid_record_desc(t)) return -1;
  *out = nullptr;
  *count = 0;
  std::vector<unsigned char> rows;
  int n = 0;
  int rc = scan_records(path, t, filter, [&](const void* record, const Key&) {
    const auto* bytes = static_cast<const unsigned char*>(record);
    rows.insert(rows.end(), bytes, bytes + t.record_size);
    ++n;
    return true;
  });
  if (rc != 0) return -1;
  if (n == 0) return 0;
  void* array = std::calloc(static_cast<size_t>(n), t.record_size);
  if (array == nullptr) return -1;
  std::memcpy(array, rows.data(), rows.size());
  *out = array;
  *count = n;
  return 0;
}

void release_records(void** array) {
  if (array == nullptr) return;
  std::free(*array);
  *array = nullptr;
}

int scan_rows(const char* path, const TableDesc& t, const KeyFilter& filter,
              const std::function<bool(const void*, int, const Key&, int)>& visit) {
  if (!valid_desc(t)) return -1;
  ReadScope scope(path);
  if (scope.get() == nullptr) return -1;
  return scan_on(scope.get(), t, filter, visit);
}

int scan_records(const char* path, const TableDesc& t, const KeyFilter& filter,
                 const std::function<bool(const void*, const Key&)>& visit) {
  if (!valid_record_desc(t)) return -1;
  std::vector<unsigned char> record(t.record_size);
  return scan_rows(path, t, filter, [&](const void* data, int size, const Key& key, int) {
    adjust_into(t, data, size, record.data());
    return visit(record.data(), key);
  });
}

int scan_table_counts(const char* path,
                      const std::function<void(std::string_view, int)>& visit) {
  ReadScope scope(path);
  Stmt s(scope.get(), kSqlTableCounts);
  if (!s) return -1;
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) visit(s.column_text(0), s.column_int(1));
  if (rc != SQLITE_DONE) {  // a page that could not be read: what was visited is not the whole file
    scope.get()->report("table counts");
    return -1;
  }
  return 0;
}

int count_records(const char* path, const TableDesc& t, const KeyFilter& filter) {
  if (!valid_desc(t)) return -1;
  ReadScope scope(path);
  Stmt s(scope.get(), kSqlCount);
  if (!s) return -1;
  s.bind_filter(t, filter);
  if (s.step() != SQLITE_ROW) return -1;
  return s.column_int(0);
}

int find_record_by_text(const char* path, const TableDesc& t, void* out, const char* field,
                        std::string_view text, const char* enable_field) {
  if (out == nullptr || field == nullptr) return -1;
  const Field* f = find_field(t, field);
  if (f == nullptr || f->type != FieldType::kText || f->size == 0) return -1;
  const Field* enable = nullptr;
  if (enable_field != nullptr) {
    enable = find_field(t, enable_field);
    if (enable == nullptr || enable->size != 4) return -1;
  }
  if (text.size() >= f->size) return -1;  // longer than any stored text can be
  bool found = false;
  int rc = scan_records(path, t, {}, [&](const void* record, const Key&) {
    if (enable != nullptr && load_i32(record, static_cast<int32_t>(enable->offset)) == 0) {
      return true;
    }
    const char* stored = static_cast<const char*>(record) + f->offset;
    if (std::string_view(stored, strnlen(stored, f->size)) != text) return true;
    std::memcpy(out, record, t.record_size);
    found = true;
    return false;
  });
  return rc == 0 && found ? 0 : -1;
}

int copy_record_to_mask(const char* path, const TableDesc& t, const void* record, uint64_t mask,
                        const Key& base) {
  if (!valid_record_desc(t) || record == nullptr || !mask_in_range(t, mask)) return -1;
  std::vector<unsigned char> copy(static_cast<const unsigned char*>(record),
                                  static_cast<const unsigned char*>(record) + t.record_size);
  Transaction tx(path);
  for (int n = 0; n < 64 && tx.ok(); ++n) {
    if ((mask >> n & 1) == 0) continue;
    set_part_in_record(t, copy.data(), n);
    tx.write(t, copy.data(), with_part(t, base, n));
  }
  return tx.commit();
}

int write_records_masked(const char* path, const TableDesc& t, const void* rows, int n,
                         size_t stride, uint64_t mask, const Key& base) {
  if (!valid_record_desc(t) || rows == nullptr || n < 0 || stride < t.record_size ||
      !mask_in_range(t, mask)) {
    return -1;
  }
  if (n < 64 && (mask >> n) != 0) return -1;  // a bit without a row
  std::vector<unsigned char> copy(t.record_size);
  Transaction tx(path);
  for (int i = 0; i < n && i < 64 && tx.ok(); ++i) {
    if ((mask >> i & 1) == 0) continue;
    std::memcpy(copy.data(), static_cast<const char*>(rows) + static_cast<size_t>(i) * stride,
                t.record_size);
    set_part_in_record(t, copy.data(), i);
    tx.write(t, copy.data(), with_part(t, base, i));
  }
  return tx.commit();
}

int write_records_listed(const char* path, const TableDesc& t, const void* slots, int slot_count,
                         size_t stride, const int32_t* list, int list_count, const Key& base) {
  if (!valid_record_desc(t) || slots == nullptr || slot_count < 0 || stride < t.record_size ||
      list_count < 0 || (list == nullptr && list_count > 0)) {
    return -1;
  }
  for (int i = 0; i < list_count; ++i) {
    if (list[i] < 0 || list[i] >= slot_count) return -1;
    if (t.mask_part == 0 && !key_in_range(t, Key{list[i]})) return -1;
  }
  std::vector<unsigned char> copy(t.record_size);
  Transaction tx(path);
  for (int i = 0; i < list_count && tx.ok(); ++i) {
    int32_t c = list[i];
    std::memcpy(copy.data(), static_cast<const char*>(slots) + static_cast<size_t>(c) * stride,
                t.record_size);
    set_part_in_record(t, copy.data(), c);
    tx.write(t, copy.data(), with_part(t, base, c));
  }
  return tx.commit();
}

int copy_column_int(const char* path, const TableDesc& t, const char* column, int32_t value,
                    uint64_t mask, const char* key_column) {
  if (!valid_record_desc(t) || column == nullptr || key_column == nullptr ||
      t.max_entries > 0 || !mask_in_range(t, mask)) {
    return -1;
  }
  const Field* field = find_field(t, column);
  const Field* key_field = find_field(t, key_column);
  int32_t part_offset = t.mask_part == 1 ? t.key.b : t.key.a;
  if (field == nullptr || field->size != 4 ||
      (field->type != FieldType::kInt32 && field->type != FieldType::kUint32) ||
      key_field == nullptr || static_cast<int32_t>(key_field->offset) != part_offset) {
    return -1;
  }
  // A missing row can be created only when the channel alone makes its key.
  bool can_create = t.key.b < 0 && t.key.text < 0 && t.mask_part == 0;
  std::vector<unsigned char> record(t.record_size);
  Transaction tx(path);
  for (int n = 0; n < 64 && tx.ok(); ++n) {
    if ((mask >> n & 1) == 0) continue;
    KeyFilter filter;
    if (t.mask_part == 1) filter.b = n;
    else filter.a = n;
    std::vector<std::pair<Key, std::vector<unsigned char>>> rows;
    std::vector<std::string> texts;  // keeps the key texts alive past the scan
    tx.scan(t, filter, [&](const void* data, int size, const Key& key, int) {
      texts.emplace_back(key.text);
      std::vector<unsigned char> r(t.record_size);
      adjust_into(t, data, size, r.data());
      rows.emplace_back(Key{key.a, key.b, {}}, std::move(r));
      return true;
    });
    for (size_t i = 0; i < rows.size(); ++i) {
      rows[i].first.text = texts[i];
      store_i32(rows[i].second.data(), static_cast<int32_t>(field->offset), value);
      tx.write(t, rows[i].second.data(), rows[i].first);
    }
    if (rows.empty() && can_create) {
      std::fill(record.begin(), record.end(), 0);
      store_i32(record.data(), part_offset, n);
      store_i32(record.data(), static_cast<int32_t>(field->offset), value);
      tx.write(t, record.data(), Key{n});
    }
  }
  return tx.commit();
}

int replace_all_records(const char* path, const TableDesc& t, const void* rows, int n) {
  if (!valid_record_desc(t) || n < 0 || (rows == nullptr && n > 0) || t.max_entries > 0) {
    return -1;
  }
  Transaction tx(path);
  if (tx.remove_all(t) < 0) return -1;
  for (int i = 0; i < n && tx.ok(); ++i) {
    const void* record = static_cast<const char*>(rows) + static_cast<size_t>(i) * t.record_size;
    tx.write(t, record, key_of(t, record));
  }
  return tx.commit();
}

int delete_records_by_key(const char* path, const TableDesc& t, const void* rows, int n) {
  if (!valid_record_desc(t) || n < 0 || (rows == nullptr && n > 0)) return -1;
  Transaction tx(path);
  for (int i = 0; i < n && tx.ok(); ++i) {
    const void* record = static_cast<const char*>(rows) + static_cast<size_t>(i) * t.record_size;
    tx.remove(t, key_of(t, record));
  }
  return tx.commit();
}

int add_record_first_free(const char* path, const TableDesc& t, void* record,
                          const char* free_field) {
  if (!valid_record_desc(t) || record == nullptr || free_field == nullptr ||
      t.key_a_count <= 0 || !fits(t, t.key.a, 4) || t.max_entries > 0) {
    return -1;
  }
  const Field* flag = find_field(t, free_field);
  if (flag == nullptr || flag->size != 4) return -1;
  std::vector<bool> used(static_cast<size_t>(t.key_a_count), false);
  Transaction tx(path);
  tx.scan(t, {}, [&](const void* data, int size, const Key& key, int) {
    if (key.a < 0 || key.a >= t.key_a_count) return true;
    if (static_cast<int64_t>(flag->offset) + 4 <= size &&
        load_i32(data, static_cast<int32_t>(flag->offset)) != 0) {
      used[static_cast<size_t>(key.a)] = true;
    }
    return true;
  });
  if (!tx.ok()) return -1;
  auto it = std::find(used.begin(), used.end(), false);
  if (it == used.end()) return -1;  // every key in use; the transaction rolls back unchanged
  int32_t id = static_cast<int32_t>(it - used.begin());
  std::vector<unsigned char> copy(static_cast<unsigned char*>(record),
                                  static_cast<unsigned char*>(record) + t.record_size);
  store_i32(copy.data(), t.key.a, id);
  Key key = key_of(t, copy.data());
  tx.write(t, copy.data(), key);
  if (tx.commit() != 0) return -1;
  store_i32(record, t.key.a, id);
  return id;
}

// ---- Lists ------------------------------------------------------------------------------------

int read_list(const char* path, const TableDesc& t, const Key& key, void* out, int* count) {
  ReadScope scope(path);
  if (scope.get() == nullptr) {
    if (count != nullptr && *count >= 0) *count = 0;
    return -1;
  }
  return read_list_on(scope.get(), t, key, out, count);
}

int write_list(const char* path, const TableDesc& t, const Key& key, const void* entries,
               int n) {
  if (!valid_list_desc(t) || n < 0 || static_cast<uint32_t>(n) > t.max_entries ||
      (entries == nullptr && n > 0) || !key_in_range(t, key)) {
    return -1;
  }
  Transaction tx(path);
  tx.write_list(t, key, entries, n);
  return tx.commit();
}

int copy_list_to_mask(const char* path, const TableDesc& t, const Key& base, const void* entries,
                      int n, uint64_t mask) {
  if (!valid_list_desc(t) || n < 0 || static_cast<uint32_t>(n) > t.max_entries ||
      (entries == nullptr && n > 0) || !mask_in_range(t, mask)) {
    return -1;
  }
  Transaction tx(path);
  for (int c = 0; c < 64 && tx.ok(); ++c) {
    if ((mask >> c & 1) != 0) tx.write_list(t, with_part(t, base, c), entries, n);
  }
  return tx.commit();
}

namespace {

struct ListRow {
  int idx;
  int32_t id;
};

int load_list_ids(Transaction& tx, const TableDesc& t, const Key& key, std::vector<ListRow>* rows) {
  KeyFilter filter{key.a, key.b, key.text};
  return tx.scan(t, filter, [&](const void* data, int size, const Key&, int idx) {
    rows->push_back(ListRow{idx, entry_id_of(t, data, size)});
    return true;
  });
}

// Removes (or, in free-slot lists, clears) the entries of `key` whose id is `id`.
int remove_entry_in(Transaction& tx, Connection* c, const TableDesc& t, const Key& key,
                    int32_t id) {
  std::vector<ListRow> rows;
  if (load_list_ids(tx, t, key, &rows) != 0) return -1;
  std::vector<unsigned char> empty(t.record_size, 0);
  int removed = 0;
  for (const ListRow& row : rows) {
    if (row.id != id) continue;
    if (t.zero_id_is_free) {
      if (put_row(c, t, key, row.idx, empty.data()) != 0) return -1;
    } else {
      Stmt s(c, kSqlDeleteEntry);
      if (!s) return -1;
      s.bind_table_key(t, key);
      s.bind(5, row.idx);
      if (s.step() != SQLITE_DONE) return -1;
    }
    ++removed;
  }
  return removed;
}

int put_entry_in(Transaction& tx, Connection* c, const TableDesc& t, const Key& key,
                 const void* entry) {
  std::vector<ListRow> rows;
  if (load_list_ids(tx, t, key, &rows) != 0) return -1;
  int32_t id = entry_id_of(t, entry, static_cast<int>(t.record_size));
  int target = -1;
  for (const ListRow& row : rows) {
    if (row.id == id) {
      target = row.idx;
      break;
    }
  }
  if (target < 0 && t.zero_id_is_free) {
    for (const ListRow& row : rows) {
      if (row.id == 0) {
        target = row.idx;
        break;
      }
    }
  }
  if (target < 0) {
    if (rows.size() >= t.max_entries) return -1;  // full
    int last = -1;
    for (const ListRow& row : rows) last = std::max(last, row.idx);
    target = last + 1;
  }
  return put_row(c, t, key, target, entry);
}

bool valid_entry_desc(const TableDesc& t) {
  return valid_list_desc(t) && fits(t, t.entry_id, 4);
}

}  // namespace

int Transaction::remove_all(const TableDesc& t) {
  if (!ok() || !valid_desc(t)) return -1;
  Stmt s(conn_, kSqlDeleteTable);
  if (!s) {
    failed_ = true;
    return -1;
  }
  s.bind(1, std::string_view(t.name));
  if (s.step() != SQLITE_DONE) {
    conn_->report("delete table");
    failed_ = true;
    return -1;
  }
  return sqlite3_changes(conn_->db);
}

int Transaction::put_entry(const TableDesc& t, const Key& key, const void* entry) {
  if (!ok() || !valid_entry_desc(t) || entry == nullptr || !key_in_range(t, key)) {
    failed_ = true;
    return -1;
  }
  int32_t id = entry_id_of(t, entry, static_cast<int>(t.record_size));
  if (t.zero_id_is_free && id == 0) {
    failed_ = true;
    return -1;
  }
  if (put_entry_in(*this, conn_, t, key, entry) != 0) {
    failed_ = true;
    return -1;
  }
  return 0;
}

int Transaction::delete_entry(const TableDesc& t, const Key& key, int32_t id) {
  if (!ok() || !valid_entry_desc(t) || (t.zero_id_is_free && id == 0)) return -1;
  int removed = remove_entry_in(*this, conn_, t, key, id);
  if (removed < 0) {
    failed_ = true;
    return -1;
  }
  return removed;
}

int put_list_entry(const char* path, const TableDesc& t, const Key& key, const void* entry) {
  Transaction tx(path);
  tx.put_entry(t, key, entry);
  return tx.commit();
}

int delete_list_entry(const char* path, const TableDesc& t, const Key& key, int32_t id) {
  Transaction tx(path);
  int removed = tx.delete_entry(t, key, id);
  if (tx.commit() != 0) return -1;
  return removed > 0 ? 0 : -1;
}

int move_list_entry(const char* path, const TableDesc& t, const Key& from, const Key& to,
                    const void* entry) {
  if (!valid_entry_desc(t) || entry == nullptr) return -1;
  int32_t id = entry_id_of(t, entry, static_cast<int>(t.record_size));
  Transaction tx(path);
  if (tx.delete_entry(t, from, id) < 0) return -1;
  tx.put_entry(t, to, entry);
  return tx.commit();
}

// ---- Settings ---------------------------------------------------------------------------------

int read_setting(const char* path, std::string_view key, std::string* value) {
  if (key.empty()) return -1;
  ReadScope scope(path);
  Stmt s(scope.get(), kSqlSettingGet);
  if (!s) return -1;
  s.bind(1, key);
  int rc = s.step();
  if (rc == SQLITE_ROW) {
    if (value != nullptr) value->assign(s.column_text(0));
    return 1;
  }
  return rc == SQLITE_DONE ? 0 : -1;
}

int write_setting(const char* path, std::string_view key, std::string_view value) {
  if (key.empty()) return -1;
  Transaction tx(path);
  tx.write_setting(key, value);
  return tx.commit();
}

int scan_settings(const char* path,
                  const std::function<void(std::string_view, std::string_view)>& visit) {
  ReadScope scope(path);
  Stmt s(scope.get(), kSqlSettingsAll);
  if (!s) return -1;
  int rc;
  while ((rc = s.step()) == SQLITE_ROW) visit(s.column_text(0), s.column_text(1));
  if (rc != SQLITE_DONE) {  // a page that could not be read: the settings visited are not all
    scope.get()->report("scan settings");
    return -1;
  }
  return 0;
}

// ---- Declared tables --------------------------------------------------------------------------

const TableDesc* find_table(std::string_view name) {
  for (const TableDesc* t : declared_tables()) {
    if (name == t->name) return t;
  }
  return nullptr;
}

const Field* find_field(const TableDesc& t, std::string_view name) {
  for (const Field& f : t.fields) {
    if (name == f.name && f.offset + f.size <= t.record_size) return &f;
  }
  return nullptr;
}

}  // namespace zvdb
