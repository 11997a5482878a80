// Second stage: a controller text line parsed back into a key record, with the keypad table that
// gives the keypad's rows and columns their key codes and names.
#pragma once

#include <cstdio>

namespace zvjs {

constexpr int kKeyNameSize = 48;

struct KeyRecord {
  char name[kKeyNameSize] = {};
  int kind = 0;
  int key = 0;    // key code: 45 button B, 46 zoom, 47 stick, keypad codes 1 and 21..30
  int value = 0;  // direction code, or 1 pressed / 0 released
  int h = 0;
  int v = 0;
};

struct KeypadEntry {
  int row;
  int column;
  int key;
  const char* name;
};

// The keypad: 11 keys and the end marker {-1, -1, 0, " "}.
extern const KeypadEntry kKeypadTable[12];

// Finds the keypad key at (row, column); null when there is none.
const KeypadEntry* find_keypad_key(int row, int column);

// Parses one controller text line into `record`. Returns 0, or -1 when the line carries no numbers
// where it must; the line is then to be dropped and an error is printed on `log`.
int js_parse(const char* line, KeyRecord* record, std::FILE* log = stdout);

}  // namespace zvjs
