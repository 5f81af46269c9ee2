#pragma once
// Names for filter expressions: variables, scopes of bindings, and the error hook of the evaluator.
//
// An expression reaches a program variable only through a name bound beforehand. A Variable is an
// accessor: it tells the value class (integer, real or string) and reads the live value at each
// evaluation, so a compiled filter sees the variable's current contents without compiling again.
// Compiled trees share ownership of the accessor (not of the memory it reads): the owner of that
// memory must keep it alive while a tree that names it may still be evaluated, as with any
// reference.
//
// Bindings live in scopes. Each procedure thread has its own current scope and its own stack of
// saved scopes (procedures on other threads push and pop in between without disturbing it); a
// thread's scopes are dropped when the thread ends. A scope receives the built-in operator words
// and functions at its first bind or compile (again after clearBindings). Names are compared
// without regard to ASCII case; binding a name the scope holds replaces the old entry.
//
// Errors: an unbound name while compiling posts 801 "No BIND on variable" through the poster that
// the data layer installs (setErrorPoster); popBindings without a saved scope is the fatal error
// 802, shown in the "Runtime error" box, and ends the program.
//
// Callers: procedures (bindVariable, push, pop), the data layer (field binding, error poster), the compiler.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace sitedex::runtime {

enum class ValueClass : std::uint8_t { Integer, Real, String };

// Value class of a variable by its field type code: 1-6 integer, 7-17 real, 18 and above string.
ValueClass valueClassOfType(int typeCode);

class Variable {
public:
    virtual ~Variable() = default;
    virtual ValueClass valueClass() const = 0;
    // Integer class.
    virtual std::int64_t integer() const { return 0; }
    // Real class.
    virtual double real() const { return 0; }
    // String class: the current text. It may point into the variable's own memory or into scratch,
    // which the caller keeps until it is done with the text.
    virtual std::string_view text(std::string& scratch) const {
        (void)scratch;
        return {};
    }
};
using VariablePtr = std::shared_ptr<const Variable>;

// Accessors over plain program variables (the pointee must outlive every tree that uses it).
VariablePtr variableOf(const std::int32_t* v);
VariablePtr variableOf(const std::int64_t* v);
VariablePtr variableOf(const std::uint8_t* v);
VariablePtr variableOf(const double* v);
VariablePtr variableOf(const std::string* v);
// A fixed-size, blank-padded text (a STRING(n) of a record or a procedure's local).
VariablePtr fixedTextVariable(const char* bytes, std::size_t size);

// The name as bind enters it: cut at the first character that is not a letter, digit, "_" or ":"
// (one trailing "#", "$" or '"' stays part of it; a leading "?" is allowed as names may begin with
// it). Empty when nothing is left.
std::string bindName(std::string_view name);

// Enters the variable under bindName(name) in the current scope; an empty name binds nothing.
// (Not called plain "bind": with a std::shared_ptr argument, an unqualified bind(...) would find
// std::bind through argument-dependent lookup and silently bind nothing.)
void bindVariable(std::string_view name, VariablePtr variable);
void pushBindings();
// REQUIRES a saved scope; otherwise fatal error 802 (does not return).
void popBindings();
// Discards every entry of the current scope; built-ins come back at the next bind or compile.
void clearBindings();
// How many scopes are saved on the current thread (for tests and diagnostics).
int savedScopeCount();

// What a name stands for, as the compiler sees it.
struct NameEntry {
    enum Kind { Variable, Operator, Function } kind = Variable;
    std::string name;      // as bound
    VariablePtr variable;  // Variable
    int code = 0;          // Operator: operator code; Function: function number
};
// Looks the name up in the current scope (entering the built-ins first if needed); nullptr when it
// is not bound.
const NameEntry* lookupName(std::string_view name);

// Error codes of the evaluator and their texts.
constexpr int kErrInvalidExpression = 800;
constexpr int kErrNoBind = 801;
constexpr int kErrScopeMismatch = 802;
std::string_view expressionErrorText(int code);

// The data layer installs a poster that enters the code in its error state. Returns the previous.
using ErrorPoster = void (*)(int code, std::string_view text);
ErrorPoster setErrorPoster(ErrorPoster poster);
void postExpressionError(int code);
// The last code posted through postExpressionError (0 after reset), whoever else was told.
int lastExpressionError();
void resetLastExpressionError();

}  // namespace sitedex::runtime
