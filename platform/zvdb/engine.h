// Generic record store of the configuration database, on SQLite.
//
// Every database file holds two tables:
//   settings(key TEXT PRIMARY KEY, value TEXT)          key=value settings, values kept as text
//   records(tbl, ka, kb, kt, idx, data BLOB)            fixed-size records of every logical table
// A logical table is described once by a TableDesc (name, record size, how the key is formed,
// list limits, named fields, factory rows); the named calls of zvdb.h are one-line wrappers over
// the generic operations below. A record is addressed by its Key: two integers (channel, port,
// id, kind ...) and a text (a plate, an LED table name); unused parts stay 0 and "". List tables
// keep up to max_entries entries per key, entry n stored with idx n.
//
// Connections: one per database path per process, opened on first use and reused until the
// process ends (or zvdb_close_all()). WAL journal, a busy wait of up to 5 s, synchronous=FULL.
// Writers of all processes queue on an flock of the file before their transaction, so that none
// starves under load; readers never wait for writers. Every call
// that changes data runs in one BEGIN IMMEDIATE transaction. Values are always bound parameters.
// The schema version is PRAGMA user_version; when it matches, opening does no schema work.
//
// Record sizes: a stored record of another size (older or newer firmware) is read by copying
// what fits and zero-filling the rest. Text fields named in the descriptor are NUL-terminated
// within their width after every read. A read of a missing record leaves the buffer untouched.
//
// A missing configuration database (kZvdbPath) is created by the first write with the factory
// settings and rows (zvdb_init_defaults), never as a bare schema (see kFactoryStoredKey); a file that is not a database is never
// overwritten (writes to it fail). A missing or unreadable file is reported with one line on
// standard error naming it and the error.
//
// Thread safety: all calls of a process are serialised on one (recursive) mutex. A connection is never used
// across fork(): a child that calls the library opens its own (the inherited handle is abandoned,
// not closed, so the parent's locks stay intact); close the connections before forking children
// that use the database, as SQLite asks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "platform/zvrecord/schema.h"

namespace zvdb {

static_assert(std::endian::native == std::endian::little, "records are stored little-endian");

inline constexpr int kSchemaVersion = 1;
// "0" while a configuration database created by this program still waits for its factory rows,
// "1" once they are stored (with them, in one transaction). The first writer of a file where it
// is "0" stores them: a process that died, or a flash that filled, between the file's schema and
// its factory rows does not leave a device without its administrator. Files made before the key
// existed have it nowhere and are taken as complete.
inline constexpr char kFactoryStoredKey[] = "zvdb_factory_stored";
inline constexpr int kBusyTimeoutMs = 5000;

// Key of a stored record or list.
struct Key {
  int32_t a = 0;
  int32_t b = 0;
  std::string_view text{};
};

// Restricts a scan to the rows whose given key parts match.
struct KeyFilter {
  std::optional<int32_t> a{};
  std::optional<int32_t> b{};
  std::optional<std::string_view> text{};
};

// A named field of a record: used to decode records (zvdb dump), to address a column
// (copy_table_column_int) and to terminate texts after a read. A table's fields are its record's
// schema (platform/zvrecord/schema.h).
using Field = zvrec::Field;
using FieldType = zvrec::Type;

// A field without a JSON key, for tables whose record has no schema yet.
#define ZVDB_FIELD(Record, member)                                                          \
  ::zvrec::make_field<decltype(Record::member)>(#member, nullptr, offsetof(Record, member))

// Where a record carries its own key (byte offsets of int32 / char[] fields; -1 = not carried).
struct KeyLayout {
  int32_t a = -1;
  int32_t b = -1;
  int32_t text = -1;
  uint32_t text_size = 0;
};

// One logical table.
struct TableDesc {
  const char* name;               // stored with every row; also the name `zvdb dump` takes
  uint32_t record_size;           // size of one record, or of one list entry
  KeyLayout key{};                // record-keyed tables: where write_record() finds the key
  int32_t key_a_count = 0;        // > 0: key part a must lie in 0 .. key_a_count-1
  uint8_t mask_part = 0;          // which key part a channel mask or list addresses: 0 = a, 1 = b
  uint32_t max_entries = 0;       // list tables: most entries per key; 0 = one record per key
  int32_t entry_id = -1;          // list tables: offset of the int32 that identifies an entry
  bool zero_id_is_free = false;   // list tables: an entry whose id is 0 is an empty slot
  std::span<const Field> fields{};
  int32_t default_rows = 0;       // factory rows: keys 0 .. default_rows-1 (part a)
  void (*make_default)(void* record, int32_t index) = nullptr;
};

// ---- Connections --------------------------------------------------------------------------

// Closes every connection of this process (finalising cached statements). The next call reopens.
void close_all();

// ---- Single operations (each one transaction when it changes data) -------------------------
// Results: 0 = done / found; -1 = not found, refused (bad arguments, limits) or failed.

int read_record(const char* path, const TableDesc& t, void* out, const Key& key);
int write_record(const char* path, const TableDesc& t, const void* record);   // key from record
int write_record_at(const char* path, const TableDesc& t, const void* record, const Key& key);
int delete_record(const char* path, const TableDesc& t, const Key& key);      // -1 when absent

// Key of a record as write_record() forms it (parts the record does not carry stay 0 / "").
Key key_of(const TableDesc& t, const void* record);

// Reads every row matching `filter` in key order into `out`. *count: in, the capacity of `out`
// in records; out, the records filled. Never writes past the capacity.
int read_records(const char* path, const TableDesc& t, void* out, int* count,
                 const KeyFilter& filter = {});
// Same into an array the library allocates; release it with release_records(). An empty table
// gives *out = nullptr and *count = 0.
int read_records_alloc(const char* path, const TableDesc& t, void** out, int* count,
                       const KeyFilter& filter = {});
void release_records(void** array);

// Visitors below run while the process's database lock is held: they must not call the library.
// The text of a visited key is valid during that call only.
//
// Calls `visit` for each row matching `filter` in key order with the record as read (size
// adjusted, texts terminated) and its key; `visit` returns false to stop. -1 when the file cannot
// be read.
int scan_records(const char* path, const TableDesc& t, const KeyFilter& filter,
                 const std::function<bool(const void* record, const Key& key)>& visit);

// Raw rows of a table (any name, declared or not) in key order: the stored bytes, their size,
// the key and the list index. Read-only; -1 when the file cannot be read.
int scan_rows(const char* path, const TableDesc& t, const KeyFilter& filter,
              const std::function<bool(const void* data, int size, const Key& key, int idx)>& visit);
// Every table name stored in the file with its number of rows, by name; -1 when the file cannot
// be read (also partway through).
int scan_table_counts(const char* path,
                      const std::function<void(std::string_view table, int rows)>& visit);

// Number of rows matching `filter`, or -1.
int count_records(const char* path, const TableDesc& t, const KeyFilter& filter = {});

// First row (key order) whose text field `field` equals `text` and, when `enable_field` is
// given, whose int32 at that field is non-zero. 0 and the record copied to `out`, or -1 (out
// untouched).
int find_record_by_text(const char* path, const TableDesc& t, void* out, const char* field,
                        std::string_view text, const char* enable_field = nullptr);

// Copies one record to every channel of `mask` (bit n = channel n) in one transaction: the key
// is `base` with its mask part set to n, and the record's own key field for that part, when it
// carries one, is set to n in the stored copy.
int copy_record_to_mask(const char* path, const TableDesc& t, const void* record, uint64_t mask,
                        const Key& base = {});
// Writes rows[i] (i < n, rows `stride` bytes apart) for every bit i of `mask`, key as for
// copy_record_to_mask, in one transaction.
int write_records_masked(const char* path, const TableDesc& t, const void* rows, int n,
                         size_t stride, uint64_t mask, const Key& base = {});
// Writes slot c of a table of `slot_count` slots (each `stride` bytes) for every channel c of
// `list`, in one transaction. A listed channel outside the slots refuses the whole call.
int write_records_listed(const char* path, const TableDesc& t, const void* slots, int slot_count,
                         size_t stride, const int32_t* list, int list_count,
                         const Key& base = {});
// Sets int32 field `column` to `value` in the rows whose key field `key_column` (the table's mask
// part) is a channel of `mask`; a missing row is created as a zero record carrying its key.
int copy_column_int(const char* path, const TableDesc& t, const char* column, int32_t value,
                    uint64_t mask, const char* key_column);
// Replaces the whole table with `rows` (keys from the records), in one transaction.
int replace_all_records(const char* path, const TableDesc& t, const void* rows, int n);
// Deletes the rows whose keys the records carry; 0 even when some were absent.
int delete_records_by_key(const char* path, const TableDesc& t, const void* rows, int n);
// Stores `record` under the lowest key a in 0 .. key_a_count-1 whose row is missing or has a zero
// int32 at `free_field`, setting the record's key field; that key, or -1 when every row is used.
// The choice and the write are one transaction.
int add_record_first_free(const char* path, const TableDesc& t, void* record,
                          const char* free_field);

// ---- Lists ---------------------------------------------------------------------------------

// *count: in, capacity in entries; out, entries filled (in stored order).
int read_list(const char* path, const TableDesc& t, const Key& key, void* out, int* count);
// Replaces the list of `key` with `n` entries (0 deletes it); more than max_entries is refused.
int write_list(const char* path, const TableDesc& t, const Key& key, const void* entries, int n);
// Writes the same list under every channel of `mask`, in one transaction.
int copy_list_to_mask(const char* path, const TableDesc& t, const Key& base, const void* entries,
                      int n, uint64_t mask);
// Stores one entry: replaces the entry with the same id, else takes the first free slot (when
// zero ids mark free slots), else appends; -1 when the list is full.
int put_list_entry(const char* path, const TableDesc& t, const Key& key, const void* entry);
// Removes the entries whose id is `id`; -1 when there was none.
int delete_list_entry(const char* path, const TableDesc& t, const Key& key, int32_t id);
// Removes the entry with `entry`'s id from the list `from` and puts `entry` into the list `to`,
// in one transaction (nothing changes when `to` is full).
int move_list_entry(const char* path, const TableDesc& t, const Key& from, const Key& to,
                    const void* entry);

// ---- Settings ------------------------------------------------------------------------------

// The stored text of `key`: 1 found (value set), 0 missing, -1 failed.
int read_setting(const char* path, std::string_view key, std::string* value);
int write_setting(const char* path, std::string_view key, std::string_view value);
// Every setting in key order; -1 when the file cannot be read, also when a read fails after some
// settings were visited (they are then not all of them).
int scan_settings(const char* path,
                  const std::function<void(std::string_view key, std::string_view value)>& visit);

struct Connection;

// ---- Several changes in one transaction ----------------------------------------------------
// For calls that change more than one record atomically (an event's record, schedules, LED and
// PTZ lists copied together). Holds the process's database lock until destroyed: do not call the
// single operations above while a Transaction is alive on the same thread. Any failed step makes
// commit() roll back and return -1; destroying an uncommitted Transaction rolls back.
//
// Inside a WriteBatch of the same thread (below), a Transaction becomes a savepoint of the batch:
// it still succeeds or fails as a whole, and the batch commits everything at once.
class Transaction {
 public:
  explicit Transaction(const char* path);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool ok() const { return conn_ != nullptr && !failed_; }
  int commit();

  int read(const TableDesc& t, void* out, const Key& key);
  int write(const TableDesc& t, const void* record, const Key& key);
  int remove(const TableDesc& t, const Key& key);  // rows removed (list entries included), or -1
  int remove_all(const TableDesc& t);               // every row of the table, or -1
  int read_list(const TableDesc& t, const Key& key, void* out, int* count);
  int write_list(const TableDesc& t, const Key& key, const void* entries, int n);
  int put_entry(const TableDesc& t, const Key& key, const void* entry);
  int delete_entry(const TableDesc& t, const Key& key, int32_t id);  // entries removed, or -1
  int read_setting(std::string_view key, std::string* value);
  int write_setting(std::string_view key, std::string_view value);
  int insert_setting_if_missing(std::string_view key, std::string_view value);  // 1 added, 0 kept
  int delete_setting(std::string_view key);  // settings removed (0 or 1), or -1

  // Rows of a table: calls visit(record bytes, stored size, key, idx) in key order.
  int scan(const TableDesc& t, const KeyFilter& filter,
           const std::function<bool(const void* data, int size, const Key& key, int idx)>& visit);

 private:
  // Runs a settings statement binding (key, value): 0, or -1 (and the transaction has failed).
  int run_setting(const char* sql, std::string_view key, std::string_view value, const char* what);

  std::unique_lock<std::recursive_mutex> lock_;
  Connection* conn_ = nullptr;
  bool failed_ = false;
  bool done_ = false;
  bool nested_ = false;  // a savepoint inside this thread's WriteBatch
};

// ---- One durable commit for a whole request ---------------------------------------------------
// A settings page often stores a dozen records (schedules, LED and PTZ lists, the event record,
// copies to other channels). Each call is its own transaction and each commit waits for the
// flash; a WriteBatch opened around them makes them one transaction with one commit. Every call
// inside still succeeds or fails as a whole (a savepoint). Commit before telling the core: it
// reads the same file and sees nothing of the batch until then. The destructor commits what is
// still open. Only the thread that opened the batch may use the file while it is open. Take
// "/tmp/cgilockfile" (LockFile) before opening a batch, never inside one: the batch holds the
// database's writer lock, and the other order could deadlock against another request.
class WriteBatch {
 public:
  explicit WriteBatch(const char* path);
  ~WriteBatch();
  WriteBatch(const WriteBatch&) = delete;
  WriteBatch& operator=(const WriteBatch&) = delete;

  // False when the batch could not begin: it stays open (and refuses this thread's writes) until
  // it ends, and then stores nothing.
  bool ok() const;
  // Ends the batch: 0 when everything was stored, -1 when nothing was (rolled back).
  int commit();
  // Ends the batch storing nothing. Inside another batch of this thread, the outer batch then
  // stores nothing either (its commit() rolls back and returns -1).
  int rollback();

 private:
  int end_batch(int rc);

  Connection* conn_ = nullptr;
  bool nested_ = false;  // inside another batch of this thread: that one commits
  bool done_ = false;
};

// ---- Typed wrapper -------------------------------------------------------------------------
// Table<T> binds a descriptor to its record type so named calls stay one line each, e.g.
//   int read_user(const char* p, UserRecord* r, int id) { return kUsers.read(p, r, {id}); }
template <class T>
struct Table {
  static_assert(std::is_trivially_copyable_v<T> && std::is_standard_layout_v<T>,
                "records are plain fixed-size structures");
  const TableDesc& desc;

  int read(const char* p, T* out, const Key& k) const { return read_record(p, desc, out, k); }
  int write(const char* p, const T* r) const { return write_record(p, desc, r); }
  int write_at(const char* p, const T* r, const Key& k) const {
    return write_record_at(p, desc, r, k);
  }
  int remove(const char* p, const Key& k) const { return delete_record(p, desc, k); }
  int read_all(const char* p, T* out, int* count, const KeyFilter& f = {}) const {
    return read_records(p, desc, out, count, f);
  }
  // Calls visit(const T&) for each stored row matching `f`, in key order, with the row copied
  // into a record of this table; `visit` returns false to stop. For reading a few members of
  // many rows without an array of whole records.
  template <class Visit>
  int scan(const char* p, Visit&& visit, const KeyFilter& f = {}) const {
    return scan_records(p, desc, f, [&](const void* data, const Key&) {
      T record;
      std::memcpy(&record, data, sizeof record);
      return visit(static_cast<const T&>(record));
    });
  }
  int read_all_alloc(const char* p, T** out, int* count, const KeyFilter& f = {}) const {
    void* array = nullptr;
    int rc = read_records_alloc(p, desc, &array, count, f);
    if (out != nullptr) *out = static_cast<T*>(array);
    return rc;
  }
  int copy_to_mask(const char* p, const T* r, uint64_t mask, const Key& base = {}) const {
    return copy_record_to_mask(p, desc, r, mask, base);
  }
  int write_masked(const char* p, const T* rows, int n, uint64_t mask,
                   const Key& base = {}) const {
    return write_records_masked(p, desc, rows, n, sizeof(T), mask, base);
  }
  int read_list(const char* p, const Key& k, T* out, int* count) const {
    return zvdb::read_list(p, desc, k, out, count);
  }
  int write_list(const char* p, const Key& k, const T* entries, int n) const {
    return zvdb::write_list(p, desc, k, entries, n);
  }
  int copy_list(const char* p, const Key& base, const T* entries, int n, uint64_t mask) const {
    return copy_list_to_mask(p, desc, base, entries, n, mask);
  }
  int put_entry(const char* p, const Key& k, const T* e) const {
    return put_list_entry(p, desc, k, e);
  }
  int delete_entry(const char* p, const Key& k, int32_t id) const {
    return delete_list_entry(p, desc, k, id);
  }
  int move_entry(const char* p, const Key& from, const Key& to, const T* e) const {
    return move_list_entry(p, desc, from, to, e);
  }
};

// ---- Declared tables -----------------------------------------------------------------------

// Every table declared by the program, for zvdb tables/dump, column copies and factory rows.
std::span<const TableDesc* const> declared_tables();
const TableDesc* find_table(std::string_view name);
const Field* find_field(const TableDesc& t, std::string_view name);

inline uint64_t mask64(uint32_t low, uint32_t high) {
  return (static_cast<uint64_t>(high) << 32) | low;
}

}  // namespace zvdb
