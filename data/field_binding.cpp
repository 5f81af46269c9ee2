#include "data/field_binding.h"

#include "data/error_state.h"
#include "data/fields.h"

#include <cstring>

namespace sitedex::data {

namespace {

using runtime::ValueClass;

// The record is found anew at each read: the thread that evaluates may not be the one that bound.
class FieldVariable final : public runtime::Variable {
public:
    FieldVariable(FileDecl& file, const FieldDecl& field)
        : m_file(file), m_field(field), m_class(runtime::valueClassOfType(field.type)) {}

    ValueClass valueClass() const override { return m_class; }

    std::int64_t integer() const override { return getInteger(m_field, m_file.record()); }

    double real() const override { return getNumber(m_field, m_file.record()); }

    std::string_view text(std::string&) const override {
        const char* p = m_file.record() + m_field.offset;
        const std::size_t size = m_field.size;
        switch (m_field.type) {
            case kTypeCString: {
                const void* nul = std::memchr(p, 0, size);
                return {p, nul ? std::size_t(static_cast<const char*>(nul) - p) : size};
            }
            case kTypePString: {
                if (size == 0)
                    return {};
                std::size_t len = static_cast<unsigned char>(p[0]);
                return {p + 1, len < size ? len : size - 1};
            }
            default:
                return {p, size};
        }
    }

private:
    FileDecl& m_file;
    const FieldDecl& m_field;
    ValueClass m_class;
};

class MemoVariable final : public runtime::Variable {
public:
    MemoVariable(FileDecl& file, size_t index) : m_file(file), m_index(index) {}
    ValueClass valueClass() const override { return ValueClass::String; }
    std::string_view text(std::string&) const override { return m_file.memo(m_index); }

private:
    FileDecl& m_file;
    size_t m_index;
};

void postToErrorState(int code, std::string_view) {
    postError(code, 0);
}

}  // namespace

runtime::VariablePtr fieldVariable(FileDecl& file, const FieldDecl& field) {
    return std::make_shared<FieldVariable>(file, field);
}

runtime::VariablePtr memoVariable(FileDecl& file, size_t memoIndex) {
    return std::make_shared<MemoVariable>(file, memoIndex);
}

int bindFields(FileDecl& file) {
    installExpressionErrorPoster();
    int bound = 0;
    for (const FieldDecl& f : file.fields()) {
        if (f.name.empty())
            continue;
        runtime::bindVariable(f.name, fieldVariable(file, f));
        ++bound;
    }
    for (size_t i = 0; i < file.memos().size(); ++i) {
        if (file.memos()[i].name.empty())
            continue;
        runtime::bindVariable(file.memos()[i].name, memoVariable(file, i));
        ++bound;
    }
    return bound;
}

void installExpressionErrorPoster() {
    runtime::setErrorPoster(postToErrorState);
}

}  // namespace sitedex::data
