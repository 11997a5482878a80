#include "tests/support/declared_messages.h"

#include <gtest/gtest.h>

namespace zvtest {

std::span<const MessageInfo> declared_messages(std::string_view header) {
  for (const DeclaredMessages& h : declared_message_headers()) {
    if (header == h.header) return h.messages;
  }
  ADD_FAILURE() << "no messages declared in " << header;
  return {};
}

std::vector<MessageInfo> all_declared_messages() {
  std::vector<MessageInfo> out;
  for (const DeclaredMessages& h : declared_message_headers()) out.insert(out.end(), h.messages.begin(), h.messages.end());
  return out;
}

}  // namespace zvtest
