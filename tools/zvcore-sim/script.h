// Canned replies for scripted runs of the core simulator (--script FILE).
//
// The file holds one rule per line; blank lines and text after '#' are ignored:
//
//   <id> none                    the message gets no reply at all
//   <id> empty                   one reply without payload
//   <id> hex <HEX>               one reply whose payload is these bytes (pairs of hex digits)
//   <id> int32 <N> [<N> ...]     one reply whose payload is these little-endian int32 words
//
// Between the id and the kind, two optional modifiers:
//   as <reply-id>                the reply's message id (default: the simulator's reply id for
//                                <id>, normally <id> + 5000)
//   after <ms>                   the reply leaves this many milliseconds after the request
//
// Several reply lines for one id send several replies, in file order. A scripted id replaces the
// simulated behaviour of that id entirely (replies and state changes); every message is still
// written to the message log. Example:
//
//   3504 int32 1                 # redirect login refused
//   1159 as 6159 after 200 hex 0100000005000000
//   3201 none                    # camera status never answers
//
// SIGHUP makes the simulator read the file again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct ScriptReply {
  int32_t reply_id = 0;  // 0: the simulator's reply id for the request
  int delay_ms = 0;
  std::vector<unsigned char> payload;
};

struct Script {
  // Per scripted id, its replies (empty: no reply).
  std::map<int32_t, std::vector<ScriptReply>> rules;
};

// Parses a script text. On error returns false with "line N: reason" in *error.
bool parse_script(const std::string& text, Script* script, std::string* error);
// Reads and parses a script file.
bool load_script(const std::string& path, Script* script, std::string* error);
