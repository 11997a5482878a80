// A file sent as the reply of a download request.
#pragma once

// Sends the regular file at `path` (a link is not followed) as an attachment named `name`: the
// download headers, then its bytes. False, with nothing written, when there is no such file.
bool reply_attachment(const char* path, const char* name);
