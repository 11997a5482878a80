// The translation catalogue of the log pages: the texts of the log's main types (by index 1..6),
// sub types (10..603) and parameters (900..925), one catalogue file per language.
//
// Catalogue files are plain text, one "id=text" line per entry ('#' starts a comment line),
// shipped as "<name>.lang" in /opt/app/lang (or, on a development machine, in the source tree's
// handlers/system/lang). A language name is letters, digits, '-' and '_' only, compared without
// case; an unknown or refused name opens the English catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Opens the catalogue of `language` for this process (closing any open one). 0 when a catalogue
// (the language's or the English one) was loaded, -1 when none could be.
int trans_init(const char* language);
// The text of `id` into buffer, cut to size - 1; "" when the id has no text or nothing is open.
// Returns 0 when a text was found, -1 otherwise.
int trans_get_value(int id, char* buffer, size_t size);
// Closes the catalogue.
void trans_deinit();

// Whether `name` is a language name: 1..max_chars letters, digits, '-' and '_'.
bool language_name_ok(std::string_view name, size_t max_chars = SIZE_MAX);
