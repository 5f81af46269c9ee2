#pragma once
// Reads a document to import line by line, each line whole and as valid UTF-8.
//
// Lines end at LF, CR LF or a lone CR; the terminator is not part of the line. A line is never cut
// at a fixed size: today's bookmark files put data URIs of many kilobytes (a site's icon) on a link's
// line, and the address and title that follow must still be read. Only a line of more than
// kLongestLine bytes (no document has one; a file without any line break may) is handed on in pieces
// of that size, so memory stays bounded whatever the file.
//
// Text: a UTF-8 byte order mark is dropped; a document that is not valid UTF-8 is read as
// Windows-1252 from its first such line on (runtime/text_decoding.h), so every line handed out is
// valid UTF-8. A document written in UTF-16 (it starts with the UTF-16 byte order mark) is converted.
//
// Only regular files are read: a folder, a device or a pipe is refused when opening, as is a file
// that holds NUL bytes in its first kilobytes (a picture, a program: not a document).
//
// Callers: the import job, on one thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/text_decoding.h"

namespace sitedex::app::importing {

class DocumentReader {
public:
    static constexpr size_t kLongestLine = size_t(64) << 20;

    DocumentReader() = default;
    ~DocumentReader();
    DocumentReader(const DocumentReader&) = delete;
    DocumentReader& operator=(const DocumentReader&) = delete;

    // Opens the document. On failure returns false and problem() says why, in words for the user
    // ("the file does not exist").
    bool open(const std::string& path);
    void close();

    // The next line; false at the end of the document or after a read error (problem() is then set).
    // The view stays valid until the next call.
    bool next(std::string_view& line);

    int64_t size() const { return m_size; }
    // Bytes of the file consumed so far (terminators included).
    int64_t consumed() const;
    const std::string& problem() const { return m_problem; }
    bool readsWindows1252() const { return m_decoder.readsWindows1252(); }

private:
    bool fill();  // reads more of the file into the buffer; false at the end or on error
    void appendUtf16(const char* data, size_t n, bool atEnd);  // converts UTF-16 into the buffer

    int m_fd = -1;
    int64_t m_size = 0;
    int64_t m_consumed = 0;
    std::string m_problem;
    std::vector<char> m_buf;
    size_t m_begin = 0;    // start of the unread part of m_buf
    size_t m_end = 0;      // end of the valid part of m_buf
    size_t m_scanned = 0;  // bytes after m_begin already known to hold no line break
    bool m_eof = false;
    bool m_skipLf = false;        // the last line ended with CR: an LF right after it belongs to it
    int m_utf16 = 0;              // 0 no, 1 little-endian, 2 big-endian
    bool m_utf16Started = false;  // its byte order mark has been passed over
    std::string m_utf16Left;      // an odd byte or half a surrogate pair left between two reads
    int64_t m_rawRead = 0;        // bytes read from the file
    runtime::DocumentDecoder m_decoder;
    std::string m_scratch;
};

}  // namespace sitedex::app::importing
