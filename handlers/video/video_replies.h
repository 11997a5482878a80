// Reply printers of the video module: each turns the records of one core reply into the reply of
// the request that waited for it, claims the reply (core_client.h), writes it and sets the reply
// flag. A payload without a whole record prints nothing and leaves the flag, so the waiting
// handler answers with its error reply.
#pragma once

#include <cstdint>
#include <span>

#include "common/payload_reader.h"

struct ReplyPrinter {
  int32_t reply_id;
  void (*print)(const PayloadReader& payload);
};

// Every reply id the module's callback knows, with its printer.
std::span<const ReplyPrinter> video_reply_printers();

// The status printer most camera-side sets share: "OK" (text) for status 0, "FAILED" otherwise.
void print_status_ok_failed(const PayloadReader& payload);
