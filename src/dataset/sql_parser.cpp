#include "dataset/sql_parser.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "platform/text_utils.h"

namespace qzt {
namespace {

bool Boundary(char c) { return c == ' ' || c == '\r' || c == '\n'; }

// The first whole-word occurrence of `word` at or after `from`, or npos. At most 1000 candidate matches
// are examined; past that the last position found is used.
size_t FindWord(const std::string& upper, const std::string& word, size_t from) {
  size_t pos = upper.find(word, from);
  for (int steps = 0; pos != std::string::npos && steps < 1000; ++steps) {
    const bool before = pos == 0 || Boundary(upper[pos - 1]);
    const size_t end = pos + word.size();
    const bool after = end >= upper.size() || Boundary(upper[end]);
    if (before && after) return pos;
    pos = upper.find(word, pos + 1);
  }
  return pos;
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> out;
  size_t pos = 0;
  while (pos <= s.size()) {
    size_t comma = s.find(',', pos);
    if (comma == std::string::npos) comma = s.size();
    out.emplace_back(Trim(std::string_view(s).substr(pos, comma - pos)));
    pos = comma + 1;
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

}  // namespace

std::vector<std::string> ScanSQLParams(const std::string& sql) {
  std::vector<std::string> names;
  size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t end = sql.find(c, i + 1);
      i = end == std::string::npos ? sql.size() : end + 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t end = sql.find('\n', i);
      i = end == std::string::npos ? sql.size() : end + 1;
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? sql.size() : end + 2;
    } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
      i += 2;
    } else if (c == ':') {
      size_t b = ++i;
      while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' || sql[i] == '$' ||
                                static_cast<unsigned char>(sql[i]) >= 0x80))
        ++i;
      if (i > b) {
        std::string name = sql.substr(b, i - b);
        if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); }))
          names.push_back(std::move(name));
      }
    } else {
      ++i;
    }
  }
  return names;
}

void TVornSQLParser::Parse() {
  UpdateTable.clear();
  DeleteTable.clear();
  InsertTable.clear();
  Tables.clear();
  Correlations.clear();
  Group.clear();
  Order.clear();
  Fields.clear();
  Having.clear();
  Where.clear();
  HasExpressions = false;
  Params = ScanSQLParams(SQL);

  // Trimmed, control characters as spaces, runs of spaces collapsed.
  std::string text;
  for (char c : Trim(SQL)) {
    const char d = static_cast<unsigned char>(c) < 32 ? ' ' : c;
    if (d == ' ' && !text.empty() && text.back() == ' ') continue;
    text += d;
  }
  const std::string upper = UpperCase(text);
  constexpr size_t npos = std::string::npos;
  size_t exec = FindWord(upper, "EXEC", 0);
  if (exec == npos) exec = FindWord(upper, "EXECUTE", 0);
  const size_t select = FindWord(upper, "SELECT", 0), del = FindWord(upper, "DELETE", 0),
               update = FindWord(upper, "UPDATE", 0), insert = FindWord(upper, "INSERT", 0),
               into = FindWord(upper, "INTO", 0), set = FindWord(upper, "SET", 0), from = FindWord(upper, "FROM", 0),
               where = FindWord(upper, "WHERE", 0), group = FindWord(upper, "GROUP", 0),
               having = FindWord(upper, "HAVING", 0), order = FindWord(upper, "ORDER", 0);
  const size_t keywords[] = {exec, select, del, update, insert, into, set, from, where, group, having, order};
  // A clause runs from after its keyword to the next clause keyword after it, or to the end.
  auto clause = [&](size_t at, size_t length) -> std::string {
    if (at == npos) return {};
    size_t end = text.size();
    for (size_t k : keywords)
      if (k != npos && k > at && k < end) end = k;
    const size_t begin = std::min(at + length, end);
    return std::string(Trim(std::string_view(text).substr(begin, end - begin)));
  };
  auto afterBy = [&](size_t at) -> std::string {
    if (at == npos) return {};
    const size_t by = FindWord(upper, "BY", at);
    const std::string whole = clause(at, 0);
    if (by == npos || by > at + whole.size() + 1) return {};
    return clause(at, by - at + 2);
  };

  const std::string selectList = clause(select, 6);
  Fields = SplitList(selectList);
  if (del != npos) DeleteTable = from != npos && from > del ? clause(from, 4) : clause(del, 6);
  if (update != npos) UpdateTable = clause(update, 6);
  if (insert != npos) {
    size_t b = into != npos ? into + 4 : insert + 6;
    while (b < text.size() && text[b] == ' ') ++b;
    size_t e = b;
    while (e < text.size() && !Boundary(text[e]) && text[e] != '(') ++e;
    InsertTable = text.substr(b, e - b);
    for (const std::string& p : Params) Fields.push_back(p);
  }
  if (from != npos && del == npos) {
    for (const std::string& element : SplitList(clause(from, 4))) {
      const size_t space = element.find(' ');
      Tables.push_back(element.substr(0, space));
      Correlations.emplace_back(space == npos ? std::string_view() : Trim(std::string_view(element).substr(space + 1)));
    }
  }
  Where = clause(where, 5);
  Group = SplitList(afterBy(group));
  Having = clause(having, 6);
  Order = SplitList(afterBy(order));
  HasExpressions = selectList.find_first_of("=+-/()") != npos ||
                   (selectList.find('*') != npos && !(Fields.size() == 1 && Fields[0] == "*"));
}

}  // namespace qzt
