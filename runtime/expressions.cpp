// Evaluation and text form of compiled filter expressions.

#include "runtime/expressions.h"

#include "runtime/expression_functions.h"
#include "runtime/expression_internal.h"
#include "runtime/pictures.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace sitedex::runtime {

namespace {

std::uint8_t g_collate[256];
bool g_identity = true;

struct CollateInit {
    CollateInit() { resetCollatingTable(); }
} g_collateInit;

}  // namespace

void setCollatingTable(const std::uint8_t (&table)[256]) {
    std::memcpy(g_collate, table, sizeof g_collate);
    g_identity = true;
    for (int i = 0; i < 256; ++i)
        g_identity = g_identity && g_collate[i] == i;
}

void resetCollatingTable() {
    for (int i = 0; i < 256; ++i)
        g_collate[i] = std::uint8_t(i);
    g_identity = true;
}

int compareText(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    if (g_identity) {
        if (n) {
            int r = std::memcmp(x, y, n);
            if (r)
                return r < 0 ? -1 : 1;
        }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            if (g_collate[x[i]] != g_collate[y[i]])
                return g_collate[x[i]] < g_collate[y[i]] ? -1 : 1;
    }
    // The longer text goes on against blanks: trailing blanks never make a difference.
    const int blank = g_collate[' '];
    for (std::size_t i = n; i < a.size(); ++i)
        if (g_collate[x[i]] != blank)
            return g_collate[x[i]] < blank ? -1 : 1;
    for (std::size_t i = n; i < b.size(); ++i)
        if (g_collate[y[i]] != blank)
            return blank < g_collate[y[i]] ? -1 : 1;
    return 0;
}

double finiteOr0(double v) {
    return std::isfinite(v) ? v : 0.0;
}

std::int64_t clampToInt64(double v) {
    if (!(v == v))
        return 0;
    if (v >= 9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::max();
    if (v <= -9.2233720368547758e18)
        return std::numeric_limits<std::int64_t>::min();
    return std::int64_t(v);
}

double numberOf(const Val& v) {
    switch (v.cls) {
        case ValueClass::Integer:
            return double(v.i);
        case ValueClass::Real:
            return v.r;
        case ValueClass::String:
            return leadingNumber(v.s);
    }
    return 0;
}

std::int64_t integerOf(const Val& v) {
    if (v.cls == ValueClass::Integer)
        return v.i;
    return clampToInt64(std::trunc(numberOf(v)));
}

std::string_view textOf(const Val& v, std::string& buf) {
    switch (v.cls) {
        case ValueClass::String:
            return v.s;
        case ValueClass::Integer: {
            char tmp[24];
            auto res = std::to_chars(tmp, tmp + sizeof tmp, v.i);
            buf.assign(tmp, res.ptr);
            return buf;
        }
        case ValueClass::Real:
            buf = numberText(v.r);
            return buf;
    }
    return {};
}

bool truthOf(const Val& v) {
    switch (v.cls) {
        case ValueClass::Integer:
            return v.i != 0;
        case ValueClass::Real:
            return v.r != 0.0;
        case ValueClass::String:
            return v.s.find_first_not_of(' ') != std::string_view::npos;
    }
    return false;
}

int compareValues(const Val& a, const Val& b, std::string& bufA, std::string& bufB) {
    if (a.cls == ValueClass::Integer && b.cls == ValueClass::Integer)
        return a.i < b.i ? -1 : a.i > b.i ? 1 : 0;
    if (a.cls != ValueClass::String && b.cls != ValueClass::String) {
        double x = numberOf(a), y = numberOf(b);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    return compareText(textOf(a, bufA), textOf(b, bufB));
}

namespace {

using Node = Expression::Node;

Val arithmetic(int op, double x, double y) {
    double r = 0;
    switch (op) {
        case kOpPlus:
            r = x + y;
            break;
        case kOpMinus:
            r = x - y;
            break;
        case kOpTimes:
            r = x * y;
            break;
        case kOpDivide:
            r = y == 0 ? 0 : x / y;
            break;
        case kOpRemainder:
            r = y == 0 ? 0 : std::fmod(x, y);
            break;
        case kOpPower:
            r = std::pow(x, y);
            break;
        default:
            break;
    }
    return Val::real(finiteOr0(r));
}

template <int kMode>
inline unsigned char foldCase(unsigned char c) {
    if (kMode == 1 && c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 32);
    if (kMode == 2 && c >= 'A' && c <= 'Z')
        return static_cast<unsigned char>(c + 32);
    return c;
}

// compareText of the two texts as UPPER / LOWER would have made them (mode 0 leaves a text as it
// is). A filter runs once per record, so the modes and the plain byte order get code of their own.
template <int kA, int kB, bool kIdentity>
int compareFoldedT(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    const auto* x = reinterpret_cast<const unsigned char*>(a.data());
    const auto* y = reinterpret_cast<const unsigned char*>(b.data());
    auto weight = [](unsigned char c) -> unsigned { return kIdentity ? c : g_collate[c]; };
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned cx = weight(foldCase<kA>(x[i])), cy = weight(foldCase<kB>(y[i]));
        if (cx != cy)
            return cx < cy ? -1 : 1;
    }
    const unsigned blank = weight(' ');
    for (std::size_t i = n; i < a.size(); ++i) {
        const unsigned c = weight(foldCase<kA>(x[i]));
        if (c != blank)
            return c < blank ? -1 : 1;
    }
    for (std::size_t i = n; i < b.size(); ++i) {
        const unsigned c = weight(foldCase<kB>(y[i]));
        if (c != blank)
            return blank < c ? -1 : 1;
    }
    return 0;
}

template <int kA, int kB>
int compareFoldedModes(std::string_view a, std::string_view b) {
    return g_identity ? compareFoldedT<kA, kB, true>(a, b) : compareFoldedT<kA, kB, false>(a, b);
}

template <int kA>
int compareFoldedB(std::string_view a, std::string_view b, int mb) {
    return mb == 1   ? compareFoldedModes<kA, 1>(a, b)
           : mb == 2 ? compareFoldedModes<kA, 2>(a, b)
                     : compareFoldedModes<kA, 0>(a, b);
}

int compareFolded(std::string_view a, int ma, std::string_view b, int mb) {
    return ma == 1 ? compareFoldedB<1>(a, b, mb) : ma == 2 ? compareFoldedB<2>(a, b, mb) : compareFoldedB<0>(a, b, mb);
}

bool relation(int op, int c) {
    switch (op) {
        case kOpEqual:
            return c == 0;
        case kOpNotEqual:
            return c != 0;
        case kOpLess:
            return c < 0;
        case kOpGreater:
            return c > 0;
        case kOpLessEqual:
            return c <= 0;
        default:
            return c >= 0;
    }
}

// An operand of a folding comparison: the text of x for UPPER(x) / LOWER(x), else the operand's text.
std::string_view foldOperand(const Node& n, int k, std::string& buf) {
    const Node& kid = *n.kids[std::size_t(k)];
    return textOf(evalNode(n.fold[k] ? *kid.kids[0] : kid), buf);
}

Val evalBinary(const Node& n) {
    const int op = n.op;
    if (n.fold[0] | n.fold[1]) {
        // An UPPER or LOWER operand is text, so the comparison is a text comparison.
        std::string_view x = foldOperand(n, 0, n.bufA);
        std::string_view y = foldOperand(n, 1, n.bufB);
        return Val::integer(relation(op, compareFolded(x, n.fold[0], y, n.fold[1])));
    }
    if (op == kOpAnd || op == kOpOr) {
        // Both sides are evaluated whatever the first gives: a function such as RANDOM behaves the
        // same in every position.
        bool a = truthOf(evalNode(*n.kids[0]));
        bool b = truthOf(evalNode(*n.kids[1]));
        return Val::integer(op == kOpAnd ? (a && b) : (a || b));
    }
    const Val a = evalNode(*n.kids[0]);
    const Val b = evalNode(*n.kids[1]);
    switch (op) {
        case kOpXor:
            return Val::integer(truthOf(a) != truthOf(b));
        case kOpConcat: {
            std::string_view x = textOf(a, n.bufA), y = textOf(b, n.bufB);
            n.scratch.assign(x);
            n.scratch.append(y);
            return Val::text(n.scratch);
        }
        case kOpEqual:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) == 0);
        case kOpNotEqual:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) != 0);
        case kOpLess:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) < 0);
        case kOpGreater:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) > 0);
        case kOpLessEqual:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) <= 0);
        case kOpGreaterEqual:
            return Val::integer(compareValues(a, b, n.bufA, n.bufB) >= 0);
        default:
            return arithmetic(op, numberOf(a), numberOf(b));
    }
}

// Byte positions from..to (1-based, inclusive) of a text, whatever part of them exists.
std::string_view slice(std::string_view s, std::int64_t from, std::int64_t to) {
    if (from < 1)
        from = 1;
    if (to > std::int64_t(s.size()))
        to = std::int64_t(s.size());
    if (to < from)
        return {};
    return s.substr(std::size_t(from - 1), std::size_t(to - from + 1));
}

}  // namespace

Val evalNode(const Node& n) {
    switch (n.kind) {
        case Node::Literal:
        case Node::Picture:
            return n.literal;
        case Node::VariableRef: {
            const Variable& v = *n.variable;
            switch (n.cls) {
                case ValueClass::Integer:
                    return Val::integer(v.integer());
                case ValueClass::Real:
                    return Val::real(finiteOr0(v.real()));
                case ValueClass::String:
                    return Val::text(v.text(n.scratch));
            }
            return Val{};
        }
        case Node::Call: {
            for (std::size_t k = 0; k < n.kids.size(); ++k)
                n.args[k] = evalNode(*n.kids[k]);
            return callBuiltin(n.fn, n.args.data(), int(n.kids.size()), n.scratch);
        }
        case Node::Index: {
            Val s = evalNode(*n.kids[0]);
            std::int64_t at = integerOf(evalNode(*n.kids[1]));
            return Val::text(slice(s.s, at, at));
        }
        case Node::Slice: {
            Val s = evalNode(*n.kids[0]);
            std::int64_t from = integerOf(evalNode(*n.kids[1]));
            std::int64_t to = integerOf(evalNode(*n.kids[2]));
            return Val::text(slice(s.s, from, to));
        }
        case Node::Unary: {
            Val a = evalNode(*n.kids[0]);
            if (n.op == kOpNot)
                return Val::integer(!truthOf(a));
            return Val::real(-numberOf(a));
        }
        case Node::Binary:
            return evalBinary(n);
    }
    return Val{};
}

// ---- Value ------------------------------------------------------------------------------------------

double Value::number() const {
    switch (cls) {
        case ValueClass::Integer:
            return double(integer);
        case ValueClass::Real:
            return real;
        case ValueClass::String:
            return leadingNumber(text);
    }
    return 0;
}

std::string Value::toText() const {
    switch (cls) {
        case ValueClass::Integer:
            return std::to_string(integer);
        case ValueClass::Real:
            return numberText(real);
        case ValueClass::String:
            return text;
    }
    return {};
}

bool Value::truth() const {
    switch (cls) {
        case ValueClass::Integer:
            return integer != 0;
        case ValueClass::Real:
            return real != 0.0;
        case ValueClass::String:
            return text.find_first_not_of(' ') != std::string::npos;
    }
    return false;
}

// ---- Expression -------------------------------------------------------------------------------------

Expression::Expression(std::unique_ptr<Node> root) : m_root(std::move(root)) {}
Expression::~Expression() = default;

ValueClass Expression::valueClass() const {
    return m_root->cls;
}

Value Expression::evaluate() const {
    Val v = evalNode(*m_root);
    Value out;
    out.cls = v.cls;
    out.integer = v.i;
    out.real = v.r;
    if (v.cls == ValueClass::String)
        out.text.assign(v.s);
    return out;
}

bool Expression::test() const {
    return truthOf(evalNode(*m_root));
}

namespace {

// How tightly a node binds, for the parentheses of the text form.
int precedence(const Node& n) {
    if (n.kind == Node::Binary) {
        switch (n.op) {
            case kOpOr:
            case kOpXor:
                return 1;
            case kOpAnd:
                return 2;
            case kOpConcat:
                return 5;
            case kOpPlus:
            case kOpMinus:
                return 6;
            case kOpTimes:
            case kOpDivide:
            case kOpRemainder:
                return 7;
            case kOpPower:
                return 8;
            default:
                return 4;  // comparisons
        }
    }
    if (n.kind == Node::Unary)
        return n.op == kOpNot ? 3 : 9;
    return 10;
}

std::string realText(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    if (std::strtod(buf, nullptr) != v)
        std::snprintf(buf, sizeof buf, "%.17g", v);
    std::string s = buf;
    std::size_t e = s.find('e');
    std::string mantissa = s.substr(0, e), exponent = e == std::string::npos ? "" : s.substr(e + 1);
    if (mantissa.find('.') == std::string::npos)
        mantissa += ".0";
    if (!exponent.empty())
        mantissa += "E" + exponent;
    return mantissa;
}

const char* operatorText(int op) {
    switch (op) {
        case kOpPower:
            return " ^ ";
        case kOpTimes:
            return " * ";
        case kOpDivide:
            return " / ";
        case kOpRemainder:
            return " % ";
        case kOpPlus:
            return " + ";
        case kOpMinus:
            return " - ";
        case kOpConcat:
            return " & ";
        case kOpEqual:
            return " = ";
        case kOpNotEqual:
            return " <> ";
        case kOpLess:
            return " < ";
        case kOpGreater:
            return " > ";
        case kOpLessEqual:
            return " <= ";
        case kOpGreaterEqual:
            return " >= ";
        case kOpAnd:
            return " AND ";
        case kOpOr:
            return " OR ";
        case kOpXor:
            return " XOR ";
        default:
            return " ? ";
    }
}

void write(const Node& n, std::string& out);

void writeOperand(const Node& operand, bool parens, std::string& out) {
    if (parens)
        out += '(';
    write(operand, out);
    if (parens)
        out += ')';
}

void write(const Node& n, std::string& out) {
    switch (n.kind) {
        case Node::Literal:
            if (n.cls == ValueClass::Integer) {
                out += std::to_string(n.literal.i);
            } else if (n.cls == ValueClass::Real) {
                out += realText(n.literal.r);
            } else {
                out += '\'';
                for (char c : n.str) {
                    if (c == '\'')
                        out += '\'';
                    out += c;
                }
                out += '\'';
            }
            return;
        case Node::Picture:
        case Node::VariableRef:
            out += n.str;
            return;
        case Node::Call:
            out += n.str;
            out += '(';
            for (std::size_t k = 0; k < n.kids.size(); ++k) {
                if (k)
                    out += ", ";
                write(*n.kids[k], out);
            }
            out += ')';
            return;
        case Node::Index:
        case Node::Slice:
            write(*n.kids[0], out);
            out += '[';
            write(*n.kids[1], out);
            if (n.kind == Node::Slice) {
                out += " : ";
                write(*n.kids[2], out);
            }
            out += ']';
            return;
        case Node::Unary: {
            out += n.op == kOpNot ? "~" : "-";
            const Node& a = *n.kids[0];
            // NOT takes a comparison unbracketed; a sign takes only a primary.
            writeOperand(a, n.op == kOpNot ? precedence(a) < 4 : precedence(a) < 10, out);
            return;
        }
        case Node::Binary: {
            const int p = precedence(n);
            writeOperand(*n.kids[0], precedence(*n.kids[0]) < p, out);
            out += operatorText(n.op);
            writeOperand(*n.kids[1], precedence(*n.kids[1]) <= p, out);
            return;
        }
    }
}

}  // namespace

std::string Expression::text() const {
    std::string out;
    write(*m_root, out);
    return out;
}

}  // namespace sitedex::runtime
