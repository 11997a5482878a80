// The user record's twenty rights as the web pages name them, one JSON key per element of the
// rights arrays, in the order the pages list them. Used inside ZV_FIELDS(UserRecord, ...) lists;
// the optional arguments are modifiers every one of the ten fields gets (e.g. .keep_if_absent()).
#pragma once

#include "platform/zvdb/records/user_record.h"
#include "platform/zvrecord/schema.h"

#define ZV_USER_RIGHTS(side, ...)                                                              \
  ZV_ELEMENT(side##_rights, 0, #side "LiveView") __VA_ARGS__,                                  \
  ZV_ELEMENT(side##_rights, 1, #side "Playback") __VA_ARGS__,                                  \
  ZV_ELEMENT(side##_rights, 2, #side "Retrieve") __VA_ARGS__,                                  \
  ZV_ELEMENT(side##_rights, 3, #side "SmartAnalysis") __VA_ARGS__,                             \
  ZV_ELEMENT(side##_rights, 4, #side "Event") __VA_ARGS__,                                     \
  ZV_ELEMENT(side##_rights, 5, #side "Camera") __VA_ARGS__,                                    \
  ZV_ELEMENT(side##_rights, 6, #side "Storage") __VA_ARGS__,                                   \
  ZV_ELEMENT(side##_rights, 7, #side "Settings") __VA_ARGS__,                                  \
  ZV_ELEMENT(side##_rights, 8, #side "Status") __VA_ARGS__,                                    \
  ZV_ELEMENT(side##_rights, 9, #side "Shutdown") __VA_ARGS__
