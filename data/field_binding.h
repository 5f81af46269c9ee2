#pragma once
// Fields of record buffers as variables of filter expressions.
//
// bindFields enters every named field and memo of a declaration into the current scope of bindings
// (runtime/expression_bindings.h) under its full name ("URL:CATEGORY", found as "URL:Category"
// too, since names are compared without regard to case). The accessors hold the declaration, not a
// buffer: each evaluation reads the record buffer of the thread that evaluates, so a view's filter
// compiled once follows the current thread's record as it is read. Value classes follow the field
// type codes: BYTE, SHORT, USHORT, LONG integer; ULONG, SREAL, REAL, DECIMAL (scaled by its
// places) real; STRING (blanks kept, they never matter in comparisons), CSTRING (up to its zero
// byte), PSTRING (its counted text), GROUP (its bytes) and memos string.
//
// Binding also installs the data layer's poster of expression errors, so that 801 "No BIND on
// variable" lands in the error state with its text; start-up may install it earlier.
//
// Callers: procedures and views that filter or order by record fields, on the thread that uses
// them. The declaration must outlive the trees compiled against its fields (declarations are
// static, so they do).

#include "data/declarations.h"
#include "runtime/expression_bindings.h"

namespace sitedex::data {

runtime::VariablePtr fieldVariable(FileDecl& file, const FieldDecl& field);
runtime::VariablePtr memoVariable(FileDecl& file, size_t memoIndex);

// Binds every named field and memo of the file; returns how many names were bound.
int bindFields(FileDecl& file);

// Makes expression errors (801) post into the error state of data access. Idempotent.
void installExpressionErrorPoster();

}  // namespace sitedex::data
