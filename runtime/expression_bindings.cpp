#include "runtime/expression_bindings.h"

#include "runtime/expression_functions.h"
#include "runtime/hooks.h"
#include "runtime/thread_state.h"

#include <map>
#include <vector>

namespace sitedex::runtime {

namespace {

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

// Names ordered through the upper-case map, so that the tree finds them whatever their case.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        const std::size_t n = a.size() < b.size() ? a.size() : b.size();
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char x = static_cast<unsigned char>(upperAscii(a[i]));
            const unsigned char y = static_cast<unsigned char>(upperAscii(b[i]));
            if (x != y)
                return x < y;
        }
        return a.size() < b.size();
    }
};

struct Scope {
    bool initialised = false;
    std::map<std::string, NameEntry, NoCaseLess> entries;
};

struct ScopeStack {
    Scope current;
    std::vector<Scope> saved;
};

PerThread<ScopeStack>& stacks() {
    static PerThread<ScopeStack> s;
    return s;
}

void dropThreadScopes(int thread) {
    stacks().reset(thread);
}

ScopeStack& currentStack() {
    static bool hooked = false;
    if (!hooked) {
        addThreadEndHook(dropThreadScopes);
        hooked = true;
    }
    return stacks().current();
}

Scope& readyScope() {
    Scope& s = currentStack().current;
    if (!s.initialised) {
        s.initialised = true;
        const std::pair<const char*, int> words[] = {{"AND", 17}, {"NOT", 16}, {"OR", 18}, {"XOR", 19}};
        for (const auto& [word, code] : words)
            s.entries[word] = NameEntry{NameEntry::Operator, word, nullptr, code};
        for (const BuiltinFunction& f : builtinFunctions())
            s.entries[f.name] = NameEntry{NameEntry::Function, f.name, nullptr, f.number};
    }
    return s;
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

template <class T>
class IntegerVariable final : public Variable {
public:
    explicit IntegerVariable(const T* p) : m_p(p) {}
    ValueClass valueClass() const override { return ValueClass::Integer; }
    std::int64_t integer() const override { return std::int64_t(*m_p); }

private:
    const T* m_p;
};

class RealVariable final : public Variable {
public:
    explicit RealVariable(const double* p) : m_p(p) {}
    ValueClass valueClass() const override { return ValueClass::Real; }
    double real() const override { return *m_p; }

private:
    const double* m_p;
};

class StringVariable final : public Variable {
public:
    explicit StringVariable(const std::string* p) : m_p(p) {}
    ValueClass valueClass() const override { return ValueClass::String; }
    std::string_view text(std::string&) const override { return *m_p; }

private:
    const std::string* m_p;
};

class FixedTextVariable final : public Variable {
public:
    FixedTextVariable(const char* p, std::size_t n) : m_p(p), m_n(n) {}
    ValueClass valueClass() const override { return ValueClass::String; }
    std::string_view text(std::string&) const override { return {m_p, m_n}; }

private:
    const char* m_p;
    std::size_t m_n;
};

ErrorPoster g_poster = nullptr;
int g_lastError = 0;

}  // namespace

ValueClass valueClassOfType(int typeCode) {
    if (typeCode >= 1 && typeCode <= 6)
        return ValueClass::Integer;
    if (typeCode >= 7 && typeCode <= 17)
        return ValueClass::Real;
    return ValueClass::String;
}

VariablePtr variableOf(const std::int32_t* v) {
    return std::make_shared<IntegerVariable<std::int32_t>>(v);
}
VariablePtr variableOf(const std::int64_t* v) {
    return std::make_shared<IntegerVariable<std::int64_t>>(v);
}
VariablePtr variableOf(const std::uint8_t* v) {
    return std::make_shared<IntegerVariable<std::uint8_t>>(v);
}
VariablePtr variableOf(const double* v) {
    return std::make_shared<RealVariable>(v);
}
VariablePtr variableOf(const std::string* v) {
    return std::make_shared<StringVariable>(v);
}
VariablePtr fixedTextVariable(const char* bytes, std::size_t size) {
    return std::make_shared<FixedTextVariable>(bytes, size);
}

std::string bindName(std::string_view name) {
    std::size_t i = 0;
    if (i < name.size() && name[i] == '?')
        ++i;
    while (i < name.size() && (isLetter(name[i]) || isDigit(name[i]) || name[i] == '_' || name[i] == ':'))
        ++i;
    if (i < name.size() && (name[i] == '#' || name[i] == '$' || name[i] == '"'))
        ++i;
    if (i == 1 && name[0] == '?')
        return {};
    return std::string(name.substr(0, i));
}

void bindVariable(std::string_view name, VariablePtr variable) {
    std::string cut = bindName(name);
    if (cut.empty() || !variable)
        return;
    Scope& s = readyScope();
    // Replace the entry whole, key included, so the tree keeps the spelling of the latest bind.
    s.entries.erase(cut);
    std::string key = cut;
    s.entries.emplace(std::move(key), NameEntry{NameEntry::Variable, std::move(cut), std::move(variable), 0});
}

void pushBindings() {
    ScopeStack& st = currentStack();
    st.saved.push_back(std::move(st.current));
    st.current = Scope{};
}

void popBindings() {
    ScopeStack& st = currentStack();
    if (st.saved.empty()) {
        std::string text(expressionErrorText(kErrScopeMismatch));
        text += " : Mismatched POPSCOPE";
        fatalRuntimeError(text);
    }
    st.current = std::move(st.saved.back());
    st.saved.pop_back();
}

void clearBindings() {
    currentStack().current = Scope{};
}

int savedScopeCount() {
    return int(currentStack().saved.size());
}

const NameEntry* lookupName(std::string_view name) {
    Scope& s = readyScope();
    auto it = s.entries.find(std::string(name));
    return it == s.entries.end() ? nullptr : &it->second;
}

std::string_view expressionErrorText(int code) {
    switch (code) {
        case kErrInvalidExpression:
            return "Invalid expression for EVALUATE";
        case kErrNoBind:
            return "No BIND on variable";
        case kErrScopeMismatch:
            return "Mismatched PUSHSCOPE/POPSCOPE";
        default:
            return {};
    }
}

ErrorPoster setErrorPoster(ErrorPoster poster) {
    ErrorPoster old = g_poster;
    g_poster = poster;
    return old;
}

void postExpressionError(int code) {
    g_lastError = code;
    if (g_poster)
        g_poster(code, expressionErrorText(code));
}

int lastExpressionError() {
    return g_lastError;
}
void resetLastExpressionError() {
    g_lastError = 0;
}

}  // namespace sitedex::runtime
