#pragma once
// Reading and writing field values in a record image, by the field's declared type.
//
// Text is UTF-8. Storing text in a fixed-size field cuts it at the last whole character that fits and
// pads with blanks (STRING), ends it with a zero byte (CSTRING) or prefixes its length (PSTRING), so a
// field never holds half a character. DECIMAL follows the packed layout written down in
// declarations.h. Numbers that do not fit a field are refused (the setter returns false and leaves the
// field unchanged) rather than wrapped.
//
// Callers: any layer. The record pointer must address a whole record of the field's file.

#include "data/declarations.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sitedex::data {

// The longest prefix of text that is at most maxBytes long and does not end inside a UTF-8 sequence.
std::string_view utf8Prefix(std::string_view text, size_t maxBytes);

// Text of a STRING/CSTRING/PSTRING field; STRING loses its trailing blanks. Other types: their
// number as decimal text.
std::string getString(const FieldDecl& field, const char* record);
// Stores text in a text field (cut and padded as above); a numeric field takes the text's number.
void setString(const FieldDecl& field, char* record, std::string_view text);

int64_t getInteger(const FieldDecl& field, const char* record);  // BYTE, SHORT, USHORT, LONG, ULONG
// false when the value does not fit the field's type.
bool setInteger(const FieldDecl& field, char* record, int64_t value);

// DECIMAL: the value times 10^places as an integer ("12.5" in DECIMAL(5,2) is 1250).
int64_t getDecimalUnscaled(const FieldDecl& field, const char* record);
bool setDecimalUnscaled(const FieldDecl& field, char* record, int64_t unscaled);

// Any numeric field as a double (DECIMAL scaled by its places); text fields convert their text.
double getNumber(const FieldDecl& field, const char* record);
// Rounds to the field's precision; false when it does not fit.
bool setNumber(const FieldDecl& field, char* record, double value);

// Convenience forms on the current thread's record buffer of a field found by name.
std::string getString(const FieldRef& ref);
void setString(const FieldRef& ref, std::string_view text);
double getNumber(const FieldRef& ref);
bool setNumber(const FieldRef& ref, double value);

// Memo text with the maximum applied (cut at a character boundary).
void setMemo(FileDecl& file, size_t memoIndex, std::string_view text);

}  // namespace sitedex::data
