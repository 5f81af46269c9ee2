#pragma once
// Views: one data file read in the order of one of its keys (or in record order), passing over the
// records a filter rejects. Browses, exports, reports, imports and the upgrade read through views.
//
// A view reads through the access layer, so every read fills the file's record buffer (the current
// thread's), keeps the error state and honours holds and watches like any file statement. The
// cursor has the same shape as every cursor of the program:
//   seek (start of the key, a key value in the record buffer, or a saved position) /
//   next / previous / valid / position (key) / the record buffer (record) / status.
// next and previous give 33 past either end of the records that pass the filter; reading backward
// right after a seek to the start gives the last passing record. A position is the text the access
// layer gives for the key (record number and key value), so it survives other programs' changes:
// reset to a position whose record is gone continues at the next entry in key order.
//
// The filter is any predicate over the record buffer; a compiled filter expression plugs in
// through setFilter(const runtime::Expression*). Callers: procedures on one thread at a time.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "data/declarations.h"

namespace sitedex::runtime {
class Expression;
}

namespace sitedex::data {

class View {
public:
    // REQUIRES: the file outlives the view.
    explicit View(FileDecl& file) : m_file(file) {}

    // The order: a key of the file, or null for record order. Takes effect at the next seek.
    void setOrder(KeyDecl* key) { m_key = key; }
    KeyDecl* order() const { return m_key; }
    // The filter: true when the record in the buffer passes. Empty = every record passes.
    void setFilter(std::function<bool()> filter) { m_filter = std::move(filter); }
    // A compiled expression as the filter (null clears it). REQUIRES: it outlives its use here.
    void setFilter(const runtime::Expression* expression);

    // Set property (operation 71) on a view: the view engine answers it itself, the file's driver
    // never sees it. kPropertyFilter takes a filter expression text, compiled once here against the
    // file's fields and whatever the caller has bound (empty: no filter); kPropertyOrder takes the
    // name of one of the file's keys (empty: record order). Like a statement, it clears the error
    // state on success and posts the error otherwise: 800 for a filter that does not compile, 76
    // for a name that is no key of the file, 80 for any other property. A failure changes nothing.
    static constexpr int kPropertyFilter = 1;
    static constexpr int kPropertyOrder = 2;
    int32_t setProperty(int property, std::string_view value);

    // ---- positioning (the next read starts there) --------------------------------------------
    // REQUIRES: the file is open (else 37).
    int32_t seekToStart();
    // The first record at or after the key value held in the record buffer (next), or the last at
    // or before it (previous).
    int32_t seekToKeyValue();
    // The record a position names (read again by the next next or previous), or where it stood.
    int32_t seekToPosition(std::string_view position);

    // ---- reading ------------------------------------------------------------------------------
    int32_t next();
    int32_t previous();
    bool valid() const { return m_valid; }
    int32_t status() const { return m_status; }
    // Position of the current record (empty when there is none).
    std::string position();
    // Reads the record a position names into the buffer, without moving the view. With watch()
    // before it, a later put reports 89 when another program changed the record meanwhile.
    int32_t reget(std::string_view position);
    void watch();
    // The record buffer the view fills.
    char* record() { return m_file.record(); }
    FileDecl& file() { return m_file; }

private:
    int32_t read(bool forward);

    FileDecl& m_file;
    KeyDecl* m_key = nullptr;
    std::function<bool()> m_filter;
    std::shared_ptr<const runtime::Expression> m_ownFilter;  // a filter set as a property
    bool m_valid = false;
    int32_t m_status = 0;
};

}  // namespace sitedex::data
