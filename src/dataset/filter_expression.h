// Filter expressions: compiled once against a dataset's fields, evaluated against its current record.
//
// Syntax (keywords without regard to case):
//   field names bare or in brackets ([Unit Price]); 'strings' with '' for a quote; numbers; NULL, TRUE, FALSE
//   =  <>  <  >  <=  >=   + - * /   AND  OR  NOT   ( )
//   x IS [NOT] NULL    x [NOT] LIKE 'pat%_'    x [NOT] IN (a, b, ...)
//   UPPER(s)  LOWER(s)  TRIM(s)  SUBSTRING(s, start [, length])   (start is 1-based)
// Dates are written as strings ('2024-03-05', '2024-03-05 10:00:00') and compared as dates when the
// other side is a date. Comparisons with NULL are unknown, and a filter accepts only true.
// With the partial-compare rule, a string literal ending in "*" compared with "=" matches prefixes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/dataset.h"
#include "platform/exceptions.h"

namespace qzt {

QZT_EXCEPTION(EExpressionError);

class TVornExpression {
 public:
  struct Node;
  // Raises EExpressionError with the position (1-based) of what it cannot read.
  TVornExpression(std::string_view text, TDataSet& dataSet, TFilterOptions options = 0);
  ~TVornExpression();
  TVornExpression(const TVornExpression&) = delete;
  TVornExpression& operator=(const TVornExpression&) = delete;

  Variant Evaluate() const;
  // True only when the expression is true for the current record.
  bool IsTrue() const;
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
  std::unique_ptr<Node> root_;
  TFilterOptions options_;
};

}  // namespace qzt
