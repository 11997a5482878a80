// Configuration database library: the calls the handlers, the core and the tools use.
//
// Every call names the database file first. Results: 0 done / found, -1 not found or failed,
// unless a call says otherwise. A read that finds nothing leaves the caller's buffer as it was.
// Read-all calls take the capacity of the caller's array in *count and never write past it.
// Settings are key=value texts; get_param_int parses the text.
//
// The engine and the table descriptors behind these calls are in engine.h and tables.h.
#pragma once

#include <cstdint>

#include "platform/zvdb/records/user_record.h"

inline constexpr const char* kZvdbPath = "/mnt/nand/app/zvdb.db";    // configuration
inline constexpr const char* kAnprDbPath = "/mnt/nand/app/anpr.db";  // plate lists
inline constexpr const char* kOemDbPath = "/mnt/nand2/oem.db";       // OEM user table

// ---- Users (ids 0..99) ----
int read_user(const char* path, UserRecord* record, int id);
// The enabled user of that name (exact, case-sensitive).
int read_user_by_name(const char* path, UserRecord* record, const char* name);
// *count in: capacity; out: records filled (all rows, enabled or not, by id).
int read_users(const char* path, UserRecord* records, int* count);
// Number of enabled users, or -1 when the file cannot be read.
int read_user_count(const char* path);
// Inserts or replaces by record->id; ids outside 0..99 are refused.
int write_user(const char* path, const UserRecord* record);
// Stores the record under the lowest id 0..99 whose row is missing or disabled and sets
// record->id; -1 (record untouched) when all 100 are in use. Choice and write are atomic.
int add_user(const char* path, UserRecord* record);

// ---- Key=value settings ----
int get_param_int(const char* path, const char* key, int default_value);
// Copies the value (or the default) cut to size-1 and NUL-terminated; 0 when the stored value
// was used, -1 when the default was (or the buffer is unusable: nothing written then).
int get_param_value(const char* path, const char* key, char* buffer, int size,
                    const char* default_value);
int set_param_int(const char* path, const char* key, int value);           // creates a missing key
int set_param_value(const char* path, const char* key, const char* value); // creates a missing key
// Non-zero when the key does not exist (or cannot be read), 0 when it exists.
int check_param_key(const char* path, const char* key);
// Creates the setting; when another process created it meanwhile, its value is replaced, so the
// check-then-add idiom always ends with one key holding the value last given.
int add_param_value(const char* path, const char* key, const char* value);
// Removes a setting; -1 when it was not there.
int delete_param(const char* path, const char* key);

// ---- Generic column write over a channel mask ----
// Sets int32 column `column` of table `table` to `value` in the rows whose key column
// `key_column` is a channel of the mask (low word channels 0..31, high word 32..63), in one
// transaction; e.g. ("camera", "anr", 1, low, high, "id"). Unknown table or column: -1.
int copy_table_column_int(const char* path, const char* table, const char* column, int value,
                          uint32_t mask_low, uint32_t mask_high, const char* key_column);

// ---- Factory defaults and connections ----
// Creates the file (and its directory) when missing and adds every factory setting and default
// row that is not stored yet; stored values are kept. 0 on success.
int zvdb_init_defaults(const char* path);
// Closes this process's connections (they reopen on the next call); call before fork().
void zvdb_close_all();
