#pragma once
// The evaluator's working value and the conversions shared by expressions.cpp and
// expression_functions.cpp; not for other callers.
//
// A working value does not own its text: it points at a literal, at a variable's live bytes or at
// a scratch buffer of the tree node that produced it. Every node has buffers of its own and a tree
// is evaluated one node at a time, so a text stays valid until its node is evaluated again.

#include "runtime/expression_bindings.h"
#include "runtime/expressions.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::runtime {

struct Val {
    ValueClass cls = ValueClass::Integer;
    std::int64_t i = 0;
    double r = 0;
    std::string_view s;

    static Val integer(std::int64_t v) {
        Val x;
        x.i = v;
        return x;
    }
    static Val real(double v) {
        Val x;
        x.cls = ValueClass::Real;
        x.r = v;
        return x;
    }
    static Val text(std::string_view v) {
        Val x;
        x.cls = ValueClass::String;
        x.s = v;
        return x;
    }
};

double numberOf(const Val& v);
std::int64_t integerOf(const Val& v);  // integer part, clamped to the 64-bit range
// The value as text; numbers are written into buf.
std::string_view textOf(const Val& v, std::string& buf);
bool truthOf(const Val& v);
double finiteOr0(double v);
std::int64_t clampToInt64(double v);

// Comparison by the evaluator's rules: integers as integers, numbers as reals, anything else as
// blank-padded text through the collating table. Returns <0, 0, >0.
int compareValues(const Val& a, const Val& b, std::string& bufA, std::string& bufB);

// Calls built-in function `number` with `count` arguments; a text result is written to scratch.
Val callBuiltin(int number, const Val* args, int count, std::string& scratch);

// Operator codes (also the scanner's token codes).
enum OperatorCode : int {
    kOpPower = 2,
    kOpTimes = 3,
    kOpDivide = 4,
    kOpRemainder = 5,
    kOpNegate = 6,
    kOpPlus = 7,
    kOpMinus = 8,
    kOpConcat = 9,
    kOpEqual = 10,
    kOpNotEqual = 11,
    kOpLess = 12,
    kOpGreater = 13,
    kOpLessEqual = 14,
    kOpGreaterEqual = 15,
    kOpNot = 16,
    kOpAnd = 17,
    kOpOr = 18,
    kOpXor = 19,
    kOpComma = 20,
    kOpColon = 21,
};

// Limits that keep the compiler's and the evaluator's recursion shallow whatever the text: nested
// brackets and calls, and the height of a tree (long chains such as 1+1+...+1 grow it too).
constexpr int kMaxNesting = 32;
constexpr int kMaxTreeHeight = 200;

struct Expression::Node {
    enum Kind : std::uint8_t { Literal, Picture, VariableRef, Call, Index, Slice, Unary, Binary };
    Kind kind = Literal;
    ValueClass cls = ValueClass::Integer;
    int op = 0;  // Unary, Binary
    int fn = 0;  // Call
    int height = 1;
    // Binary comparisons: for each operand, 1 or 2 when it is UPPER(x) or LOWER(x), compared by
    // folding the case of x on the fly.
    std::uint8_t fold[2] = {0, 0};
    Val literal;      // Literal: the value (its text points into str)
    std::string str;  // literal text, picture text, variable name
    VariablePtr variable;
    std::vector<std::unique_ptr<Node>> kids;
    // Scratch kept between evaluations so that a filter allocates nothing once it has run once.
    mutable std::string scratch, bufA, bufB;
    mutable std::vector<Val> args;
};

Val evalNode(const Expression::Node& n);

}  // namespace sitedex::runtime
