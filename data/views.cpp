#include "data/views.h"

#include "data/access.h"
#include "data/error_state.h"
#include "data/field_binding.h"
#include "runtime/expressions.h"

namespace sitedex::data {

void View::setFilter(const runtime::Expression* expression) {
    if (!expression)
        m_filter = nullptr;
    else
        m_filter = [expression] { return expression->test(); };
}

int32_t View::setProperty(int property, std::string_view value) {
    std::string_view text = value;
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    int32_t result = 0;
    if (property == kPropertyFilter) {
        if (text.empty()) {
            m_filter = nullptr;
            m_ownFilter.reset();
        } else {
            bindFields(m_file);
            std::shared_ptr<const runtime::Expression> compiled = runtime::compileExpression(text);
            if (!compiled) {
                result = 800;
            } else {
                m_ownFilter = compiled;
                m_filter = [compiled] { return compiled->test(); };
            }
        }
    } else if (property == kPropertyOrder) {
        if (text.empty()) {
            m_key = nullptr;
        } else if (KeyDecl* key = m_file.findKey(text)) {
            m_key = key;
        } else {
            result = 76;
        }
    } else {
        result = kErrUnsupported;
    }
    clearErrorState();
    if (result) {
        postError(result);
        setFileInError(&m_file);
    }
    return result;
}

int32_t View::seekToStart() {
    m_valid = false;
    m_status = m_key ? set(*m_key) : set(m_file);
    return m_status;
}

int32_t View::seekToKeyValue() {
    m_valid = false;
    if (!m_key) return m_status = set(m_file);
    m_status = set(*m_key, *m_key);
    return m_status;
}

int32_t View::seekToPosition(std::string_view position) {
    m_valid = false;
    m_status = m_key ? reset(*m_key, position) : reset(m_file, position);
    return m_status;
}

int32_t View::read(bool forward) {
    for (;;) {
        int32_t e = forward ? data::next(m_file) : data::previous(m_file);
        if (e != 0) {
            m_valid = false;
            return m_status = e;
        }
        if (!m_filter || m_filter()) {
            m_valid = true;
            return m_status = 0;
        }
    }
}

int32_t View::next() { return read(true); }
int32_t View::previous() { return read(false); }

std::string View::position() {
    if (!m_valid) return {};
    return m_key ? data::position(*m_key) : data::position(m_file);
}

int32_t View::reget(std::string_view position) {
    int32_t e = m_key ? data::reget(*m_key, position) : data::reget(m_file, position);
    m_status = e;
    return e;
}

void View::watch() { data::watch(m_file); }

}  // namespace sitedex::data
