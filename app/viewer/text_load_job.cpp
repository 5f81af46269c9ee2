#include "app/viewer/text_load_job.h"

#include <algorithm>

#include "data/access.h"

namespace sitedex::app::viewer {

namespace {

// A line cut at 255 bytes may end inside a character: that half is not shown.
void dropCutCharacter(std::string& line) {
    size_t lead = line.size();
    while (lead > 0 && (static_cast<unsigned char>(line[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead == 0)
        return;
    const auto first = static_cast<unsigned char>(line[lead - 1]);
    const size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (line.size() - (lead - 1) < length)
        line.resize(lead - 1);
}

}  // namespace

TextLoadJob::TextLoadJob(data::FileDecl& file, std::vector<std::string>& lines) : m_file(file), m_lines(lines) {}

void TextLoadJob::start() {
    m_total = data::bytes(m_file);
    // LF alone ends a line too: a CR before it is dropped with the line's trailing blanks.
    data::send(m_file, "ENDOFRECORD=1,10");
    data::set(m_file);
    if (!readLine())
        m_ended = true;
}

bool TextLoadJob::readLine() {
    if (data::next(m_file) != 0)
        return false;
    std::string line(m_file.record(), m_file.record() + m_file.recordSize());
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r'))
        line.pop_back();
    dropCutCharacter(line);
    m_lines.push_back(std::move(line));
    m_processed += data::bytes(m_file);
    return true;
}

bool TextLoadJob::step() {
    if (m_ended)
        return false;
    if (!readLine())
        m_ended = true;
    return !m_ended;
}

int TextLoadJob::percent() const {
    if (m_total <= 0)
        return 100;
    return int(std::min<int64_t>(100, m_processed * 100 / m_total));
}

}  // namespace sitedex::app::viewer
