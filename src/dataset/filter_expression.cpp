#include "dataset/filter_expression.h"

#include <cctype>
#include <cmath>
#include <vector>

#include "platform/date_time.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"

namespace qzt {

enum class Op { Literal, Field, Neg, Not, And, Or, Eq, Ne, Lt, Gt, Le, Ge, Add, Sub, Mul, Div, IsNull, Like, In, Func };

struct TVornExpression::Node {
  Op op;
  Variant value = Variant::Null();  // literal
  const TField* field = nullptr;
  std::string func;
  bool negate = false;  // IS NOT NULL, NOT LIKE, NOT IN
  bool partial = false;  // a string literal ending in "*" under the partial-compare rule
  std::vector<std::unique_ptr<Node>> args;
};

namespace {

using Node = TVornExpression::Node;

enum class Tok { End, Number, String, Ident, Symbol };

struct Token {
  Tok kind = Tok::End;
  std::string text;
  size_t pos = 0;
  bool quoted = false;  // a bracketed name: never a keyword
};

class Parser {
 public:
  Parser(std::string_view s, TDataSet& ds, TFilterOptions options) : s_(s), ds_(ds), options_(options) { Advance(); }

  std::unique_ptr<Node> Parse() {
    auto n = Or();
    if (tok_.kind != Tok::End) Fail("unexpected \"" + tok_.text + "\"");
    return n;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EExpressionError("Filter expression error at position " + std::to_string(tok_.pos + 1) + ": " + what);
  }

  void Advance() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    tok_ = Token{};
    tok_.pos = i_;
    if (i_ >= s_.size()) return;
    const char c = s_[i_];
    if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1])))) {
      size_t b = i_;
      while (i_ < s_.size() && (std::isdigit(static_cast<unsigned char>(s_[i_])) || s_[i_] == '.')) ++i_;
      if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
        ++i_;
        if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
        while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
      }
      tok_.kind = Tok::Number;
      tok_.text = std::string(s_.substr(b, i_ - b));
    } else if (c == '\'') {
      ++i_;
      std::string v;
      for (;;) {
        if (i_ >= s_.size()) Fail("unterminated string");
        if (s_[i_] == '\'') {
          if (i_ + 1 < s_.size() && s_[i_ + 1] == '\'') {
            v += '\'';
            i_ += 2;
            continue;
          }
          ++i_;
          break;
        }
        v += s_[i_++];
      }
      tok_.kind = Tok::String;
      tok_.text = std::move(v);
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      size_t e = s_.find(close, i_ + 1);
      if (e == std::string_view::npos) Fail("unterminated field name");
      tok_.kind = Tok::Ident;
      tok_.text = std::string(s_.substr(i_ + 1, e - i_ - 1));
      tok_.quoted = true;
      i_ = e + 1;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80) {
      size_t b = i_;
      while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == '_' || s_[i_] == '$' ||
                                static_cast<unsigned char>(s_[i_]) >= 0x80))
        ++i_;
      tok_.kind = Tok::Ident;
      tok_.text = std::string(s_.substr(b, i_ - b));
    } else {
      static const char* two[] = {"<>", "<=", ">=", "!="};
      for (const char* t : two)
        if (s_.substr(i_, 2) == t) {
          tok_.kind = Tok::Symbol;
          tok_.text = t;
          i_ += 2;
          return;
        }
      if (std::string_view("=<>+-*/(),").find(c) == std::string_view::npos)
        Fail(std::string("unexpected character \"") + c + "\"");
      tok_.kind = Tok::Symbol;
      tok_.text = std::string(1, c);
      ++i_;
    }
  }

  bool IsWord(const char* w) const { return tok_.kind == Tok::Ident && !tok_.quoted && SameText(tok_.text, w); }
  bool IsSym(const char* s) const { return tok_.kind == Tok::Symbol && tok_.text == s; }
  void Expect(const char* s) {
    if (!IsSym(s)) Fail(std::string("\"") + s + "\" expected");
    Advance();
  }

  static std::unique_ptr<Node> Make(Op op) {
    auto n = std::make_unique<Node>();
    n->op = op;
    return n;
  }
  static std::unique_ptr<Node> Binary(Op op, std::unique_ptr<Node> a, std::unique_ptr<Node> b) {
    auto n = Make(op);
    n->args.push_back(std::move(a));
    n->args.push_back(std::move(b));
    return n;
  }

  std::unique_ptr<Node> Or() {
    auto n = And();
    while (IsWord("OR")) {
      Advance();
      n = Binary(Op::Or, std::move(n), And());
    }
    return n;
  }

  std::unique_ptr<Node> And() {
    auto n = Not();
    while (IsWord("AND")) {
      Advance();
      n = Binary(Op::And, std::move(n), Not());
    }
    return n;
  }

  std::unique_ptr<Node> Not() {
    if (IsWord("NOT")) {
      Advance();
      auto n = Make(Op::Not);
      n->args.push_back(Not());
      return n;
    }
    return Comparison();
  }

  std::unique_ptr<Node> Comparison() {
    auto left = Additive();
    static const struct {
      const char* sym;
      Op op;
    } ops[] = {{"=", Op::Eq}, {"<>", Op::Ne}, {"!=", Op::Ne}, {"<", Op::Lt},
               {">", Op::Gt}, {"<=", Op::Le}, {">=", Op::Ge}};
    for (const auto& o : ops)
      if (IsSym(o.sym)) {
        Advance();
        auto n = Binary(o.op, std::move(left), Additive());
        const Node& r = *n->args[1];
        if (o.op == Op::Eq && !(options_ & foNoPartialCompare) && r.op == Op::Literal &&
            r.value.Type() == VarType::String) {
          const std::string& t = r.value.Bytes();
          if (!t.empty() && t.back() == '*') {
            n->partial = true;
            n->args[1]->value = Variant(t.substr(0, t.size() - 1));
          }
        }
        return n;
      }
    if (IsWord("IS")) {
      Advance();
      auto n = Make(Op::IsNull);
      if (IsWord("NOT")) {
        n->negate = true;
        Advance();
      }
      if (!IsWord("NULL")) Fail("NULL expected");
      Advance();
      n->args.push_back(std::move(left));
      return n;
    }
    bool negate = false;
    if (IsWord("NOT")) {
      negate = true;
      Advance();
      if (!IsWord("LIKE") && !IsWord("IN")) Fail("LIKE or IN expected");
    }
    if (IsWord("LIKE")) {
      Advance();
      auto n = Binary(Op::Like, std::move(left), Additive());
      n->negate = negate;
      return n;
    }
    if (IsWord("IN")) {
      Advance();
      auto n = Make(Op::In);
      n->negate = negate;
      n->args.push_back(std::move(left));
      Expect("(");
      n->args.push_back(Or());
      while (IsSym(",")) {
        Advance();
        n->args.push_back(Or());
      }
      Expect(")");
      return n;
    }
    return left;
  }

  std::unique_ptr<Node> Additive() {
    auto n = Multiplicative();
    while (IsSym("+") || IsSym("-")) {
      const Op op = tok_.text == "+" ? Op::Add : Op::Sub;
      Advance();
      n = Binary(op, std::move(n), Multiplicative());
    }
    return n;
  }

  std::unique_ptr<Node> Multiplicative() {
    auto n = Unary();
    while (IsSym("*") || IsSym("/")) {
      const Op op = tok_.text == "*" ? Op::Mul : Op::Div;
      Advance();
      n = Binary(op, std::move(n), Unary());
    }
    return n;
  }

  std::unique_ptr<Node> Unary() {
    if (IsSym("-")) {
      Advance();
      auto n = Make(Op::Neg);
      n->args.push_back(Unary());
      return n;
    }
    if (IsSym("+")) {
      Advance();
      return Unary();
    }
    return Primary();
  }

  std::unique_ptr<Node> Primary() {
    if (tok_.kind == Tok::Number) {
      auto n = Make(Op::Literal);
      int64_t i;
      double d;
      if (TryStrToInt64(tok_.text, i)) n->value = Variant(i);
      else if (TryStrToFloat(tok_.text, d)) n->value = Variant(d);
      else Fail("bad number \"" + tok_.text + "\"");
      Advance();
      return n;
    }
    if (tok_.kind == Tok::String) {
      auto n = Make(Op::Literal);
      n->value = Variant(tok_.text);
      Advance();
      return n;
    }
    if (IsSym("(")) {
      Advance();
      auto n = Or();
      Expect(")");
      return n;
    }
    if (tok_.kind != Tok::Ident) Fail(tok_.kind == Tok::End ? "unexpected end" : "unexpected \"" + tok_.text + "\"");
    if (!tok_.quoted) {
      if (IsWord("NULL") || IsWord("TRUE") || IsWord("FALSE")) {
        auto n = Make(Op::Literal);
        n->value = IsWord("NULL") ? Variant::Null() : Variant(IsWord("TRUE"));
        Advance();
        return n;
      }
      const std::string name = UpperCase(tok_.text);
      if (name == "UPPER" || name == "LOWER" || name == "TRIM" || name == "SUBSTRING") {
        Token at = tok_;
        Advance();
        if (IsSym("(")) {
          Advance();
          auto n = Make(Op::Func);
          n->func = name;
          n->args.push_back(Or());
          while (IsSym(",")) {
            Advance();
            n->args.push_back(Or());
          }
          Expect(")");
          const size_t want = name == "SUBSTRING" ? 2 : 1;
          if (n->args.size() < want || n->args.size() > (name == "SUBSTRING" ? 3u : 1u)) {
            tok_ = at;
            Fail("wrong number of arguments to " + name);
          }
          return n;
        }
        tok_ = at;  // a field that happens to carry a function's name
        i_ = at.pos + at.text.size();
      }
    }
    const TField* f = ds_.FindField(tok_.text);
    if (!f) Fail("Field '" + tok_.text + "' not found");
    auto n = Make(Op::Field);
    n->field = f;
    Advance();
    return n;
  }

  std::string_view s_;
  TDataSet& ds_;
  TFilterOptions options_;
  size_t i_ = 0;
  Token tok_;
};

bool IsNumeric(const Variant& v) {
  switch (v.Type()) {
    case VarType::Int8: case VarType::UInt8: case VarType::Int16: case VarType::UInt16: case VarType::Int32:
    case VarType::UInt32: case VarType::Int64: case VarType::Single: case VarType::Double: case VarType::Currency:
    case VarType::FMTBcd: case VarType::Boolean:
      return true;
    default:
      return false;
  }
}

bool IsDate(const Variant& v) { return v.Type() == VarType::Date || v.Type() == VarType::SQLTimeStamp; }

// -1, 0, 1; raises when the two cannot be compared.
int Compare(const Variant& a, const Variant& b, bool caseInsensitive) {
  if (IsDate(a) || IsDate(b)) {
    const double x = a.ToDateTime(), y = b.ToDateTime();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (IsNumeric(a) || IsNumeric(b)) {
    const double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : x > y ? 1 : 0;
  }
  std::string x = a.ToString(), y = b.ToString();
  if (caseInsensitive) {
    x = UpperCase(x);
    y = UpperCase(y);
  }
  return x < y ? -1 : x > y ? 1 : 0;
}

bool Like(std::string_view s, std::string_view p) {
  // Iterative wildcard match: % any run, _ one byte.
  size_t si = 0, pi = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == '_' || p[pi] == s[si])) {
      ++si;
      ++pi;
    } else if (pi < p.size() && p[pi] == '%') {
      star = pi++;
      mark = si;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '%') ++pi;
  return pi == p.size();
}

Variant Tri(bool v) { return Variant(v); }

Variant Eval(const Node& n, TFilterOptions options) {
  const bool ci = options & foCaseInsensitive;
  switch (n.op) {
    case Op::Literal: return n.value;
    case Op::Field: return n.field->AsVariant();
    case Op::Neg: {
      Variant v = Eval(*n.args[0], options);
      if (v.IsNull()) return v;
      if (v.Type() == VarType::Int64 || v.Type() == VarType::Int32) return Variant(-v.ToInt64());
      return Variant(-v.ToDouble());
    }
    case Op::Not: {
      Variant v = Eval(*n.args[0], options);
      return v.IsNull() ? v : Tri(!v.ToBool());
    }
    case Op::And: {
      Variant a = Eval(*n.args[0], options);
      if (!a.IsNull() && !a.ToBool()) return Tri(false);
      Variant b = Eval(*n.args[1], options);
      if (!b.IsNull() && !b.ToBool()) return Tri(false);
      return a.IsNull() || b.IsNull() ? Variant::Null() : Tri(true);
    }
    case Op::Or: {
      Variant a = Eval(*n.args[0], options);
      if (!a.IsNull() && a.ToBool()) return Tri(true);
      Variant b = Eval(*n.args[1], options);
      if (!b.IsNull() && b.ToBool()) return Tri(true);
      return a.IsNull() || b.IsNull() ? Variant::Null() : Tri(false);
    }
    case Op::Eq: case Op::Ne: case Op::Lt: case Op::Gt: case Op::Le: case Op::Ge: {
      Variant a = Eval(*n.args[0], options), b = Eval(*n.args[1], options);
      if (a.IsNull() || b.IsNull()) return Variant::Null();
      if (n.partial) {
        std::string x = a.ToString(), y = b.ToString();
        if (ci) {
          x = UpperCase(x);
          y = UpperCase(y);
        }
        return Tri(x.compare(0, y.size(), y) == 0);
      }
      const int c = Compare(a, b, ci);
      switch (n.op) {
        case Op::Eq: return Tri(c == 0);
        case Op::Ne: return Tri(c != 0);
        case Op::Lt: return Tri(c < 0);
        case Op::Gt: return Tri(c > 0);
        case Op::Le: return Tri(c <= 0);
        default: return Tri(c >= 0);
      }
    }
    case Op::Add: case Op::Sub: case Op::Mul: case Op::Div: {
      Variant a = Eval(*n.args[0], options), b = Eval(*n.args[1], options);
      if (a.IsNull() || b.IsNull()) return Variant::Null();
      if (n.op == Op::Add && !IsNumeric(a) && !IsDate(a) && !IsNumeric(b) && !IsDate(b))
        return Variant(a.ToString() + b.ToString());
      const bool date = IsDate(a) && (n.op == Op::Add || n.op == Op::Sub) && !IsDate(b);
      const double x = a.ToDouble(), y = b.ToDouble();
      double r = 0;
      switch (n.op) {
        case Op::Add: r = x + y; break;
        case Op::Sub: r = x - y; break;
        case Op::Mul: r = x * y; break;
        default:
          if (y == 0) throw EExpressionError("Division by zero");
          r = x / y;
          break;
      }
      if (date) return Variant::Date(r);
      const bool ints = (a.Type() == VarType::Int64 || a.Type() == VarType::Int32 || a.Type() == VarType::Int16) &&
                        (b.Type() == VarType::Int64 || b.Type() == VarType::Int32 || b.Type() == VarType::Int16);
      if (ints && n.op != Op::Div && std::fabs(r) < 9e18) return Variant(static_cast<int64_t>(r));
      return Variant(r);
    }
    case Op::IsNull: {
      const bool isNull = Eval(*n.args[0], options).IsNull();
      return Tri(n.negate ? !isNull : isNull);
    }
    case Op::Like: {
      Variant a = Eval(*n.args[0], options), b = Eval(*n.args[1], options);
      if (a.IsNull() || b.IsNull()) return Variant::Null();
      std::string x = a.ToString(), y = b.ToString();
      if (ci) {
        x = UpperCase(x);
        y = UpperCase(y);
      }
      const bool m = Like(x, y);
      return Tri(n.negate ? !m : m);
    }
    case Op::In: {
      Variant a = Eval(*n.args[0], options);
      if (a.IsNull()) return Variant::Null();
      bool found = false, unknown = false;
      for (size_t i = 1; i < n.args.size() && !found; ++i) {
        Variant b = Eval(*n.args[i], options);
        if (b.IsNull()) unknown = true;
        else if (Compare(a, b, ci) == 0) found = true;
      }
      if (found) return Tri(!n.negate);
      return unknown ? Variant::Null() : Tri(n.negate);
    }
    case Op::Func: {
      Variant a = Eval(*n.args[0], options);
      if (a.IsNull()) return a;
      std::string s = a.ToString();
      if (n.func == "UPPER") return Variant(UpperCase(s));
      if (n.func == "LOWER") {
        for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return Variant(s);
      }
      if (n.func == "TRIM") return Variant(std::string(Trim(s)));
      Variant st = Eval(*n.args[1], options);
      if (st.IsNull()) return st;
      int64_t start = st.ToInt64(), len = INT64_MAX;
      if (n.args.size() > 2) {
        Variant l = Eval(*n.args[2], options);
        if (l.IsNull()) return l;
        len = l.ToInt64();
      }
      if (start < 1) start = 1;
      if (len < 0) len = 0;
      if (static_cast<size_t>(start - 1) >= s.size()) return Variant(std::string());
      return Variant(s.substr(start - 1, static_cast<size_t>(std::min<int64_t>(len, s.size()))));
    }
  }
  return Variant::Null();
}

}  // namespace

TVornExpression::TVornExpression(std::string_view text, TDataSet& dataSet, TFilterOptions options)
    : text_(text), options_(options) {
  root_ = Parser(text, dataSet, options).Parse();
}

TVornExpression::~TVornExpression() = default;

Variant TVornExpression::Evaluate() const {
  try {
    return Eval(*root_, options_);
  } catch (const EExpressionError&) {
    throw;
  } catch (const Exception& e) {
    throw EExpressionError(e.Message);
  }
}

bool TVornExpression::IsTrue() const {
  Variant v = Evaluate();
  return !v.IsNull() && v.ToBool();
}

}  // namespace qzt
