#pragma once
// Filter expressions: a text such as "UPPER(URL:Category) = UPPER(BRW1::Sort2:Reset:CAT:Category)"
// compiled once into a tree and evaluated as often as needed against the current values of the
// variables it names (bound beforehand, runtime/expression_bindings.h).
//
// Syntax, lowest precedence first, every binary level left-associative:
//   OR XOR  |  AND  |  NOT ~ (any number; pairs cancel)  |  = <> < > <= >= (also =< => ~= ~< ~>,
//   and NOT before = < >)  |  &  |  + -  |  * / %  |  ^  |  signs + - (each - toggles, so -2^2 is 4)
//   |  literal, ( expression ), variable [ index ] or [ from : to ], FUNCTION(arguments).
// Literals: integers with an optional radix letter (10H, 17O, 101B), reals with a fraction and an
// optional exponent (1.5E2), strings in single quotes ('it''s'), pictures (@N10.2).
//
// Evaluation: arithmetic is done on reals (a division or remainder by 0 gives 0, and results that
// are not finite are 0); & joins texts; comparisons take integers as integers, numbers as reals and
// anything else as texts compared byte by byte through the collating table, the shorter one padded
// with blanks (so trailing blanks never matter). Comparisons and AND, OR, XOR, NOT give 1 or 0.
// Truth: an integer or real other than 0; a text that is not empty once trailing blanks are gone.
// Subscripts apply to string variables: v[n] is the n-th byte, v[a : b] bytes a to b (1-based).
//
// A failed compile returns nullptr: an unbound name also posts 801 (runtime/expression_bindings.h);
// syntax errors (unexpected token, unterminated string, bad number or picture, too many arguments,
// missing ")" or "]", brackets nested deeper than 32, a tree higher than 200) post nothing. Any text at all may be
// compiled: the compiler never crashes or loops, whatever it is given.
//
// Evaluation is not reentrant for one tree (nodes keep scratch text); trees are used by one
// procedure thread at a time, like the buffers they read.
//
// Callers: views (filters and order lists), procedures that filter by their own variables.

#include "runtime/expression_bindings.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sitedex::runtime {

// A value as evaluate() hands it out.
struct Value {
    ValueClass cls = ValueClass::Integer;
    std::int64_t integer = 0;
    double real = 0;
    std::string text;

    double number() const;       // integer or real; a text reads its leading number
    std::string toText() const;  // numbers in plain decimal ("2", "0.5")
    bool truth() const;
};

class Expression {
public:
    struct Node;
    explicit Expression(std::unique_ptr<Node> root);
    ~Expression();
    Expression(const Expression&) = delete;
    Expression& operator=(const Expression&) = delete;

    ValueClass valueClass() const;
    Value evaluate() const;
    // The truth value of the expression: the predicate of a filter.
    bool test() const;
    // The tree as text: binary operators with one blank on each side, "," as ", ", ":" as " : ",
    // unary minus as "-", NOT as "~", parentheses where an operand binds less tightly than its
    // operator (or equally, on the right). Compiling the text gives the same tree.
    std::string text() const;

private:
    std::unique_ptr<Node> m_root;
};

// The whole text must be one expression.
std::unique_ptr<Expression> compileExpression(std::string_view text);
// One expression from `position`; on success position moves to the first token not used (e.g. the
// "," before the next item of a list). On failure position is left as it was.
std::unique_ptr<Expression> compileOneExpression(std::string_view text, std::size_t& position);

// A view's order list: expressions separated by ",", each with an optional leading "+" (ascending,
// the default) or "-" (descending). False (and `items` cleared) when any item fails.
struct OrderItem {
    bool descending = false;
    std::unique_ptr<Expression> expression;
};
bool compileOrderList(std::string_view text, std::vector<OrderItem>& items);

// Text comparison as the evaluator does it (<0, 0, >0).
int compareText(std::string_view a, std::string_view b);
// Replaces the collating table (the order of each byte value); resetCollatingTable restores byte
// order, in which upper and lower case differ and "A" sorts before "a".
void setCollatingTable(const std::uint8_t (&table)[256]);
void resetCollatingTable();

}  // namespace sitedex::runtime
