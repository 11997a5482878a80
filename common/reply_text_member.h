// {"<key>": "<text>"} as the JSON reply: the one-member answers of the status kind
// ({"status": "OK"}, {"status": "BUSY"}).
#pragma once

void reply_text_member(const char* key, const char* text);
