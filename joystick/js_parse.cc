#include "joystick/js_parse.h"

#include <climits>
#include <cstring>

#include "joystick/js_controller.h"

namespace zvjs {

const KeypadEntry kKeypadTable[12] = {
    {1, 1, 1, "ESC"}, {2, 5, 22, "1"}, {2, 6, 23, "2"}, {2, 7, 24, "3"},
    {3, 5, 25, "4"},  {3, 6, 26, "5"}, {3, 7, 27, "6"}, {4, 5, 28, "7"},
    {4, 6, 29, "8"},  {4, 7, 30, "9"}, {5, 6, 21, "0"}, {-1, -1, 0, " "},
};

const KeypadEntry* find_keypad_key(int row, int column) {
  for (const KeypadEntry& entry : kKeypadTable) {
    if (entry.row == -1 && entry.column == -1) break;  // end marker
    if (entry.row == row && entry.column == column) return &entry;
  }
  return nullptr;
}

namespace {

void set_name(KeyRecord* record, const char* name) {
  std::snprintf(record->name, sizeof record->name, "%s", name);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// One step of the pattern "%*[^0-9]%d": at least one non-digit, then a run of digits. Numbers that
// do not fit an int fail instead of wrapping.
bool skip_and_read_number(const char*& p, int* out) {
  if (*p == '\0' || is_digit(*p)) return false;
  while (*p != '\0' && !is_digit(*p)) ++p;
  if (!is_digit(*p)) return false;
  long long number = 0;
  for (; is_digit(*p); ++p) {
    number = number * 10 + (*p - '0');
    if (number > INT_MAX) return false;
  }
  *out = static_cast<int>(number);
  return true;
}

// Reads the first two numbers of the line (H and V of the stick, or row and column of a key), the
// way "%*[^0-9]%d%*[^0-9]%d" does.
bool read_two_numbers(const char* line, int* first, int* second, std::FILE* log) {
  const char* p = line;
  int a = 0;
  int b = 0;
  if (skip_and_read_number(p, &a) && skip_and_read_number(p, &b)) {
    *first = a;
    *second = b;
    return true;
  }
  std::fprintf(log, "\033[31m[JSERROR] func:%s file:%s line:%d]\033[0m", "parse_events_params", "js_parse",
               __LINE__);
  std::fputs("scanf failed !\n", log);
  return false;
}

struct StickTag {
  const char* tag;
  int direction;
  const char* name;
};

constexpr StickTag kStickTags[] = {
    {"LL", kDirLeft, "Left"},        {"RR", kDirRight, "Right"},       {"UU", kDirUp, "Up"},
    {"DD", kDirDown, "Down"},        {"LU", kDirLeftUp, "UpLeft"},     {"RU", kDirRightUp, "UpRight"},
    {"LD", kDirLeftDown, "DownLeft"}, {"RD", kDirRightDown, "DownRight"},
};

}  // namespace

int js_parse(const char* line, KeyRecord* record, std::FILE* log) {
  if (line == nullptr || record == nullptr) return -1;
  record->kind = kKindJoystick;
  if (std::strstr(line, "J-B") != nullptr) {
    record->key = kControlButtonB;
    if (std::strstr(line, "DOWN") != nullptr) {
      record->value = 1;
      set_name(record, "ENTER");
    } else {
      record->value = 0;
      set_name(record, "STOP");
    }
    return 0;
  }
  if (std::strstr(line, "J-Z") != nullptr) {
    record->key = kControlZoom;
    if (std::strstr(line, "WIDE") != nullptr) {
      record->value = kDirZoomWide;
      set_name(record, "WIDE");
    } else if (std::strstr(line, "TELE") != nullptr) {
      record->value = kDirZoomTele;
      set_name(record, "TELE");
    } else {
      record->value = kDirStop;
      set_name(record, "STOP");
    }
    return 0;
  }
  if (std::strstr(line, "J-") != nullptr) {
    record->key = kControlStick;
    if (!read_two_numbers(line, &record->h, &record->v, log)) return -1;
    record->value = kDirStop;
    set_name(record, "STOP");
    for (const StickTag& tag : kStickTags) {
      if (std::strstr(line, tag.tag) != nullptr) {
        record->value = tag.direction;
        set_name(record, tag.name);
        break;
      }
    }
    return 0;
  }
  record->kind = kKindKeypad;
  int row = 0;
  int column = 0;
  if (!read_two_numbers(line, &row, &column, log)) {
    record->value = 0;
    return -1;
  }
  if (const KeypadEntry* entry = find_keypad_key(row, column)) {
    set_name(record, entry->name);
    record->key = entry->key;
    record->value = 1;
  } else {
    record->value = 0;
  }
  return 0;
}

}  // namespace zvjs
