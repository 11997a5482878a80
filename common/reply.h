// The reply of a request: one header line of its kind, then the body, on standard output.
#pragma once

enum ReplyKind : int { REPLY_TEXT = 0, REPLY_JSON = 1 };

// Header lines, byte for byte: 28 and 34 bytes.
constexpr const char kReplyTextHeader[] = "Content-type: text/plain\r\n\r\n";
constexpr const char kReplyJsonHeader[] = "Content-type: application/json\r\n\r\n";

// Writes the header of `kind` (none for other kinds), then `text` as it is, and flushes standard
// output. Returns 0, or -1 when text is null (nothing is written).
int write_reply(int kind, const char* text);

// The generic error reply: kind 0 "CGI ERROR"; kind 1 the body {status:"CGI ERROR"} (the key is
// not quoted: the web pages test for this exact text); other kinds write nothing. Returns 0.
int reply_cgi_error(int kind);

// Reply-callback body for a payload of one int32 status. When count >= 1 and payload is not
// null: claims the reply (core_client.h), writes {"status": <int>} as a JSON reply when the claim
// succeeds, and sets the reply flag to 1. Otherwise does nothing.
void reply_status_json(int count, const void* payload);

// Writes, as a text reply, "CGI ERROR status:[%d]" when status < 0, else "CGI OK status:[%d]",
// followed by ", data:[<data>]" when data is not null; the whole text cut to 255 characters.
// Claims the reply first (skipped when another writer has it); sets the reply flag to 1.
void reply_status_text(int status, const char* data);
