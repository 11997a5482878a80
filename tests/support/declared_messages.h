// The core messages each header declares, found by scanning the headers when the build is
// configured: common/messages/<name>.h as "<name>", common/oplog.h as "oplog".
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "common/exchange.h"

namespace zvtest {

struct DeclaredMessages {
  const char* header;
  std::span<const MessageInfo> messages;
};
std::span<const DeclaredMessages> declared_message_headers();

// The messages of one header (a header that declares none fails the calling test), and of all.
std::span<const MessageInfo> declared_messages(std::string_view header);
std::vector<MessageInfo> all_declared_messages();

}  // namespace zvtest
