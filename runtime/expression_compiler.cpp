// The scanner and the recursive-descent parser of filter expressions.

#include "runtime/expression_functions.h"
#include "runtime/expression_internal.h"
#include "runtime/pictures.h"

#include <cmath>
#include <cstdlib>

namespace sitedex::runtime {

namespace {

using Node = Expression::Node;
using NodePtr = std::unique_ptr<Node>;

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isAlnum(char c) {
    return isLetter(c) || isDigit(c);
}

enum TokKind { TEnd, TOp, TLParen, TRParen, TLBracket, TRBracket, TInt, TReal, TString, TPicture, TName, TError };

struct Token {
    TokKind kind = TEnd;
    int op = 0;
    std::int64_t i = 0;
    double r = 0;
    std::string text;
    const NameEntry* entry = nullptr;
    std::size_t start = 0;
};

class Scanner {
public:
    Scanner(std::string_view text, std::size_t pos) : m_text(text), m_pos(pos) {}

    Token next() {
        Token t = raw();
        if (t.kind != TOp)
            return t;
        // Two-character comparisons come from two operator tokens in a row; the second is always a
        // single character, so a look at the next character is enough (and scans no name twice).
        std::size_t save = m_pos;
        skipBlanks();
        char c = m_pos < m_text.size() ? m_text[m_pos] : '\0';
        int merged = 0;
        switch (t.op) {
            case kOpLess:
                merged = c == '>' ? kOpNotEqual : c == '=' ? kOpLessEqual : 0;
                break;
            case kOpGreater:
                merged = c == '=' ? kOpGreaterEqual : 0;
                break;
            case kOpEqual:
                merged = c == '<' ? kOpLessEqual : c == '>' ? kOpGreaterEqual : 0;
                break;
            case kOpNot:
                merged = c == '=' ? kOpNotEqual : c == '<' ? kOpGreaterEqual : c == '>' ? kOpLessEqual : 0;
                break;
            default:
                break;
        }
        if (merged) {
            ++m_pos;
            t.op = merged;
        } else {
            m_pos = save;
        }
        return t;
    }

    std::size_t position() const { return m_pos; }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t'))
            ++m_pos;
    }

    static Token error() {
        Token t;
        t.kind = TError;
        return t;
    }

    Token raw() {
        skipBlanks();
        Token t;
        t.start = m_pos;
        if (m_pos >= m_text.size())
            return t;
        const char c = m_text[m_pos];
        if (isLetter(c) || c == '_' || c == '?')
            return name(t);
        if (isDigit(c) || (c == '.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1])))
            return number(t);
        if (c == '\'')
            return string(t);
        if (c == '@')
            return picture(t);
        ++m_pos;
        switch (c) {
            case '(':
                t.kind = TLParen;
                return t;
            case ')':
                t.kind = TRParen;
                return t;
            case '[':
                t.kind = TLBracket;
                return t;
            case ']':
                t.kind = TRBracket;
                return t;
            default:
                break;
        }
        static const std::pair<char, int> ops[] = {
            {'^', kOpPower}, {'*', kOpTimes},  {'/', kOpDivide}, {'%', kOpRemainder}, {'+', kOpPlus},
            {'-', kOpMinus}, {'&', kOpConcat}, {'=', kOpEqual},  {'<', kOpLess},      {'>', kOpGreater},
            {'~', kOpNot},   {',', kOpComma},  {':', kOpColon}};
        for (const auto& [ch, code] : ops) {
            if (ch == c) {
                t.kind = TOp;
                t.op = code;
                return t;
            }
        }
        return error();
    }

    Token name(Token& t) {
        std::size_t start = m_pos++;
        while (m_pos < m_text.size() && (isAlnum(m_text[m_pos]) || m_text[m_pos] == '_' || m_text[m_pos] == ':'))
            ++m_pos;
        if (m_pos < m_text.size() && (m_text[m_pos] == '#' || m_text[m_pos] == '$' || m_text[m_pos] == '"'))
            ++m_pos;
        std::string_view word = m_text.substr(start, m_pos - start);
        const NameEntry* e = lookupName(word);
        if (!e) {
            postExpressionError(kErrNoBind);
            return error();
        }
        if (e->kind == NameEntry::Operator) {
            t.kind = TOp;
            t.op = e->code;
            return t;
        }
        t.kind = TName;
        t.entry = e;
        return t;
    }

    Token number(Token& t) {
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && isAlnum(m_text[m_pos]))
            ++m_pos;
        std::string_view run = m_text.substr(start, m_pos - start);
        bool decimalRun = true;
        for (char c : run)
            decimalRun = decimalRun && isDigit(c);
        if (decimalRun && m_pos < m_text.size() && m_text[m_pos] == '.')
            return real(t, run);
        // Integer with an optional radix letter at the end.
        int radix = 10;
        char last = run.back() >= 'a' && run.back() <= 'z' ? char(run.back() - 32) : run.back();
        if (last == 'H' || last == 'O' || last == 'B') {
            radix = last == 'H' ? 16 : last == 'O' ? 8 : 2;
            run.remove_suffix(1);
        }
        if (run.empty())
            return error();
        std::uint64_t v = 0;
        for (char c : run) {
            char u = c >= 'a' && c <= 'z' ? char(c - 32) : c;
            int d = isDigit(u) ? u - '0' : u - 'A' + 10;
            if (d >= radix)
                return error();
            if (v > (std::uint64_t(INT64_MAX) - std::uint64_t(d)) / std::uint64_t(radix))
                return error();
            v = v * std::uint64_t(radix) + std::uint64_t(d);
        }
        t.kind = TInt;
        t.i = std::int64_t(v);
        return t;
    }

    Token real(Token& t, std::string_view intPart) {
        ++m_pos;  // the point
        std::string digits(intPart);
        long fraction = 0;
        while (m_pos < m_text.size() && isDigit(m_text[m_pos]))
            digits += m_text[m_pos++], ++fraction;
        long exponent = 0;
        if (m_pos < m_text.size() && (m_text[m_pos] == 'E' || m_text[m_pos] == 'e')) {
            ++m_pos;
            bool negative = false;
            if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-'))
                negative = m_text[m_pos++] == '-';
            std::size_t expStart = m_pos;
            while (m_pos < m_text.size() && isDigit(m_text[m_pos])) {
                if (exponent < 100000)
                    exponent = exponent * 10 + (m_text[m_pos] - '0');
                ++m_pos;
            }
            if (m_pos == expStart)
                return error();
            if (negative)
                exponent = -exponent;
        }
        if (m_pos < m_text.size() && (isAlnum(m_text[m_pos]) || m_text[m_pos] == '.'))
            return error();
        if (digits.empty())
            digits = "0";
        // mantissa / 10^(fraction digits - exponent), rounded once by strtod.
        std::string literal = digits + "e" + std::to_string(exponent - fraction);
        double v = std::strtod(literal.c_str(), nullptr);
        if (!std::isfinite(v))
            return error();
        t.kind = TReal;
        t.r = v;
        return t;
    }

    Token string(Token& t) {
        ++m_pos;
        while (true) {
            if (m_pos >= m_text.size())
                return error();
            char c = m_text[m_pos++];
            if (c == '\'') {
                if (m_pos < m_text.size() && m_text[m_pos] == '\'') {
                    t.text += '\'';
                    ++m_pos;
                    continue;
                }
                break;
            }
            t.text += c;
        }
        t.kind = TString;
        return t;
    }

    Token picture(Token& t) {
        std::size_t start = m_pos++;
        int depth = 0;
        while (m_pos < m_text.size()) {
            char c = m_text[m_pos];
            if (c == '(')
                ++depth;
            else if (c == ')' && depth > 0)
                --depth;
            else if (depth == 0 && (c == ' ' || c == '\t' || c == ',' || c == ')'))
                break;
            ++m_pos;
        }
        t.text = std::string(m_text.substr(start, m_pos - start));
        if (!compilePicture(t.text))
            return error();
        t.kind = TPicture;
        return t;
    }

    std::string_view m_text;
    std::size_t m_pos;
};

class Parser {
public:
    Parser(std::string_view text, std::size_t pos) : m_scan(text, pos) { advance(); }

    NodePtr parseExpression() { return expression(); }
    const Token& token() const { return m_tok; }
    bool failed() const { return m_failed; }

private:
    void advance() {
        m_tok = m_scan.next();
        if (m_tok.kind == TError)
            m_failed = true;
    }
    bool isOp(int op) const { return m_tok.kind == TOp && m_tok.op == op; }

    NodePtr fail() {
        m_failed = true;
        return nullptr;
    }

    NodePtr make(Node::Kind kind, ValueClass cls) {
        auto n = std::make_unique<Node>();
        n->kind = kind;
        n->cls = cls;
        return n;
    }

    NodePtr finish(NodePtr n) {
        int h = 0;
        for (const NodePtr& k : n->kids)
            h = std::max(h, k->height);
        n->height = h + 1;
        if (n->height > kMaxTreeHeight)
            return fail();
        n->args.resize(n->kids.size());
        return n;
    }

    NodePtr binary(int op, NodePtr lhs, NodePtr rhs) {
        ValueClass cls = op == kOpConcat                                             ? ValueClass::String
                         : (op >= kOpEqual && op <= kOpGreaterEqual) || op >= kOpAnd ? ValueClass::Integer
                                                                                     : ValueClass::Real;
        NodePtr n = make(Node::Binary, cls);
        n->op = op;
        n->kids.push_back(std::move(lhs));
        n->kids.push_back(std::move(rhs));
        if (op >= kOpEqual && op <= kOpGreaterEqual) {
            for (int k = 0; k < 2; ++k) {
                const Node& kid = *n->kids[std::size_t(k)];
                if (kid.kind == Node::Call && kid.kids.size() == 1)
                    n->fold[k] = std::uint8_t(caseFoldOf(kid.fn));
            }
        }
        return finish(std::move(n));
    }

    NodePtr unary(int op, NodePtr operand) {
        NodePtr n = make(Node::Unary, op == kOpNot ? ValueClass::Integer : ValueClass::Real);
        n->op = op;
        n->kids.push_back(std::move(operand));
        return finish(std::move(n));
    }

    NodePtr expression() {
        NodePtr lhs = conjunction();
        while (lhs && (isOp(kOpOr) || isOp(kOpXor))) {
            int op = m_tok.op;
            advance();
            NodePtr rhs = conjunction();
            if (!rhs)
                return fail();
            lhs = binary(op, std::move(lhs), std::move(rhs));
        }
        if (!lhs || m_failed)
            return fail();
        // "," and ":" belong to an enclosing list; any other operator cannot follow an expression.
        if (m_tok.kind == TOp && m_tok.op != kOpComma && m_tok.op != kOpColon)
            return fail();
        return lhs;
    }

    NodePtr conjunction() {
        NodePtr lhs = negation();
        while (lhs && isOp(kOpAnd)) {
            advance();
            NodePtr rhs = negation();
            if (!rhs)
                return fail();
            lhs = binary(kOpAnd, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr negation() {
        bool invert = false;
        while (isOp(kOpNot)) {
            invert = !invert;
            advance();
        }
        NodePtr n = comparison();
        if (n && invert)
            n = unary(kOpNot, std::move(n));
        return n;
    }

    NodePtr comparison() {
        NodePtr lhs = concatenation();
        while (lhs && m_tok.kind == TOp && m_tok.op >= kOpEqual && m_tok.op <= kOpGreaterEqual) {
            int op = m_tok.op;
            advance();
            NodePtr rhs = concatenation();
            if (!rhs)
                return fail();
            lhs = binary(op, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr concatenation() {
        NodePtr lhs = sum();
        while (lhs && isOp(kOpConcat)) {
            advance();
            NodePtr rhs = sum();
            if (!rhs)
                return fail();
            lhs = binary(kOpConcat, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr sum() {
        NodePtr lhs = product();
        while (lhs && (isOp(kOpPlus) || isOp(kOpMinus))) {
            int op = m_tok.op;
            advance();
            NodePtr rhs = product();
            if (!rhs)
                return fail();
            lhs = binary(op, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr product() {
        NodePtr lhs = power();
        while (lhs && (isOp(kOpTimes) || isOp(kOpDivide) || isOp(kOpRemainder))) {
            int op = m_tok.op;
            advance();
            NodePtr rhs = power();
            if (!rhs)
                return fail();
            lhs = binary(op, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr power() {
        NodePtr lhs = signedTerm();
        while (lhs && isOp(kOpPower)) {
            advance();
            NodePtr rhs = signedTerm();
            if (!rhs)
                return fail();
            lhs = binary(kOpPower, std::move(lhs), std::move(rhs));
        }
        return lhs;
    }

    NodePtr signedTerm() {
        bool negative = false;
        while (isOp(kOpPlus) || isOp(kOpMinus)) {
            if (m_tok.op == kOpMinus)
                negative = !negative;
            advance();
        }
        NodePtr n = primary();
        if (n && negative)
            n = unary(kOpNegate, std::move(n));
        return n;
    }

    // Enters one level of brackets or call arguments; false when nested too deeply.
    bool enter() { return ++m_nesting <= kMaxNesting; }

    NodePtr primary() {
        if (m_failed)
            return nullptr;
        switch (m_tok.kind) {
            case TInt:
            case TReal:
            case TString: {
                NodePtr n = make(Node::Literal, m_tok.kind == TInt    ? ValueClass::Integer
                                                : m_tok.kind == TReal ? ValueClass::Real
                                                                      : ValueClass::String);
                n->str = std::move(m_tok.text);
                n->literal.cls = n->cls;
                n->literal.i = m_tok.i;
                n->literal.r = m_tok.r;
                n->literal.s = n->str;
                advance();
                return finish(std::move(n));
            }
            case TPicture: {
                NodePtr n = make(Node::Picture, ValueClass::String);
                n->str = std::move(m_tok.text);
                n->literal = Val::text(n->str);
                advance();
                return finish(std::move(n));
            }
            case TLParen: {
                if (!enter())
                    return fail();
                advance();
                NodePtr inner = expression();
                if (!inner || m_tok.kind != TRParen)
                    return fail();
                --m_nesting;
                advance();
                return inner;
            }
            case TName:
                return m_tok.entry->kind == NameEntry::Function ? call() : variable();
            default:
                return fail();
        }
    }

    NodePtr variable() {
        const NameEntry* e = m_tok.entry;
        NodePtr v = make(Node::VariableRef, e->variable->valueClass());
        v->str = e->name;
        v->variable = e->variable;
        advance();
        if (m_tok.kind != TLBracket)
            return finish(std::move(v));
        // Only texts can be subscripted: the program binds no arrays.
        if (v->cls != ValueClass::String || !enter())
            return fail();
        advance();
        NodePtr from = expression();
        if (!from)
            return fail();
        NodePtr n;
        if (isOp(kOpColon)) {
            advance();
            NodePtr to = expression();
            if (!to)
                return fail();
            n = make(Node::Slice, ValueClass::String);
            n->kids.push_back(finish(std::move(v)));
            n->kids.push_back(std::move(from));
            n->kids.push_back(std::move(to));
        } else {
            n = make(Node::Index, ValueClass::String);
            n->kids.push_back(finish(std::move(v)));
            n->kids.push_back(std::move(from));
        }
        if (m_tok.kind != TRBracket)
            return fail();
        --m_nesting;
        advance();
        return finish(std::move(n));
    }

    NodePtr call() {
        const BuiltinFunction& f = builtinFunction(m_tok.entry->code);
        NodePtr n = make(Node::Call, f.result);
        n->fn = f.number;
        n->str = m_tok.entry->name;
        advance();
        if (m_tok.kind != TLParen || !enter())
            return fail();
        advance();
        if (m_tok.kind != TRParen) {
            while (true) {
                NodePtr a = expression();
                if (!a)
                    return fail();
                n->kids.push_back(std::move(a));
                if (int(n->kids.size()) > f.maxArgs)
                    return fail();
                if (!isOp(kOpComma))
                    break;
                advance();
            }
        }
        if (m_tok.kind != TRParen)
            return fail();
        --m_nesting;
        advance();
        return finish(std::move(n));
    }

    Scanner m_scan;
    Token m_tok;
    bool m_failed = false;
    int m_nesting = 0;
};

}  // namespace

std::unique_ptr<Expression> compileExpression(std::string_view text) {
    Parser p(text, 0);
    NodePtr root = p.parseExpression();
    if (!root || p.failed() || p.token().kind != TEnd)
        return nullptr;
    return std::make_unique<Expression>(std::move(root));
}

std::unique_ptr<Expression> compileOneExpression(std::string_view text, std::size_t& position) {
    if (position > text.size())
        return nullptr;
    Parser p(text, position);
    NodePtr root = p.parseExpression();
    if (!root || p.failed())
        return nullptr;
    position = p.token().start;
    return std::make_unique<Expression>(std::move(root));
}

bool compileOrderList(std::string_view text, std::vector<OrderItem>& items) {
    items.clear();
    std::size_t pos = 0;
    auto skip = [&] {
        while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
            ++pos;
    };
    while (true) {
        skip();
        OrderItem item;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
            item.descending = text[pos++] == '-';
        item.expression = compileOneExpression(text, pos);
        if (!item.expression) {
            items.clear();
            return false;
        }
        items.push_back(std::move(item));
        skip();
        if (pos >= text.size())
            return true;
        if (text[pos] != ',') {
            items.clear();
            return false;
        }
        ++pos;
    }
}

}  // namespace sitedex::runtime
