// TVornSQLParser: splits one SQL statement into its tables, fields and clauses.
// Keywords are found as whole words without regard to case; each clause runs from after its keyword to
// the next clause keyword after it. The parser never raises: a statement it cannot split leaves the
// lists empty.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qzt {

enum TParseSQLOption : uint8_t { psoUseFROMInDelete = 1, psoUseINTOInInsert = 2 };
using TParseSQLOptions = uint8_t;

class TVornSQLParser {
 public:
  std::string UpdateTable, DeleteTable, InsertTable;
  std::vector<std::string> Tables, Correlations, Group, Order, Fields;
  std::string Having, Where;
  std::string SQL;
  TParseSQLOptions SQLOptions = 0;
  std::vector<std::string> Params;  // parameter names, in order of first appearance (all input)
  bool HasExpressions = false;      // the select list holds expressions

  void Parse();
};

// The :NAME parameters of an SQL text, outside string literals, quoted identifiers and comments; each
// name once, in order of first appearance.
std::vector<std::string> ScanSQLParams(const std::string& sql);

}  // namespace qzt
