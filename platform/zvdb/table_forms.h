// The usual forms of a table descriptor and the helpers of factory rows, written once for the
// table groups (<area>_tables.cc):
//
//   void fill_port(PtzPort& p, int32_t index) { p.cam_id = index; p.baud_rate = 9600; }
//   const TableDesc kPtzPortTable =
//       keyed_table<PtzPort>("ptz_port", offsetof(PtzPort, cam_id), 64, factory_row<fill_port>);
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/zvdb/engine.h"
#include "platform/zvdb/records/schedule_record.h"

namespace zvdb {

using MakeRow = void (*)(void* record, int32_t index);

// `text` into a text field, cut to its width and terminated.
template <size_t N>
void set_text(char (&field)[N], const char* text) {
  std::snprintf(field, N, "%s", text);
}

template <class Fill>
struct FilledRecord;
template <class T>
struct FilledRecord<void (*)(T&, int32_t)> {
  using type = T;
};

// A factory row (TableDesc::make_default): the zeroed record with what `fill` sets for row `index`.
template <auto fill>
void factory_row(void* record, int32_t index) {
  typename FilledRecord<decltype(fill)>::type row{};
  fill(row, index);
  std::memcpy(record, &row, sizeof row);
}

// A factory row of zeros.
template <class T>
void zero_row(void* record, int32_t) {
  std::memset(record, 0, sizeof(T));
}

// One record per key part a in 0 .. keys-1, carried at `key_offset` (-1: not carried); factory
// rows 0 .. rows-1 made by `make` (rows: all keys when not given).
template <class T>
constexpr TableDesc keyed_table(const char* name, int32_t key_offset, int32_t keys, MakeRow make = nullptr,
                                int32_t rows = -1) {
  return TableDesc{.name = name,
                   .record_size = sizeof(T),
                   .key = {.a = key_offset},
                   .key_a_count = keys,
                   .fields = zvrec::schema_of<T>().fields,
                   .default_rows = make == nullptr ? 0 : rows < 0 ? keys : rows,
                   .make_default = make};
}

// The one record of a table (key 0), with its factory row when `make` is given.
template <class T>
constexpr TableDesc one_row_table(const char* name, MakeRow make = nullptr) {
  return keyed_table<T>(name, -1, 1, make);
}

// Plans (Schedule records) keyed by (a, b), a in 0 .. keys-1.
constexpr TableDesc plan_table(const char* name, int32_t keys) { return keyed_table<Schedule>(name, -1, keys); }

}  // namespace zvdb
