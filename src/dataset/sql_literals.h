// Field values as SQL literals for the database dialects, the insert builder and small SQL text helpers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dataset.h"

namespace qzt {

enum TSQLDialect : uint8_t {
  sqlNone, sqlLocalSQL, sqlAccess, sqlMSSQLServer, sqlOracle, sqlSQLAnywhere, sqlInterbase, sqlDBISAM,
  sqlAdvantage, sqlCustom,
};

enum TVornServerSQLOptionTypes : uint8_t {
  ssUseQuotesInFieldNames, ssTableNameInInsertStatments, ssBooleanAsInteger, ssUSDatesForLocalSQL,
  ssTerminateWithSemiColon, ssNoQuotesInDates, ssDoubleQuoteStrings, ssUseISInNuLLcompares,
  ssNoTableNameInUpdateStatements, ssBracketsInFieldNames, ssIgnoreUpperToken,
};
using TVornServerSQLOptions = uint16_t;  // bit n for option n
constexpr TVornServerSQLOptions SQLOption(TVornServerSQLOptionTypes o) { return static_cast<uint16_t>(1u << o); }

// The literal of a field for every dialect: NULL, quoted text, Boolean, float, date, time, date-time.
std::string BaseSQLLiteral(TDataSet& dataSet, std::string_view fieldName, bool booleanAsInteger,
                           bool doubleQuoteStrings, bool msSqlTimeSeparator);
// The literal of a date, time or date-time field: a custom mask, else the dialect's form.
std::string FieldToSQLLiteral(TDataSet& dataSet, std::string_view fieldName, std::string_view dateMask,
                              TVornServerSQLOptions options, TSQLDialect dialect, std::string_view timeMask = "",
                              std::string_view dateTimeMask = "");
// "Insert Into T (A,B)" CR " Values (1,'x')" [";"]
std::string BuildInsertSQL(std::string_view table, const std::vector<std::string>& fields,
                           const std::vector<std::string>& values, bool terminate);
std::string QuoteSQLString(std::string_view s);   // every ' doubled
std::string SafeIdentifier(std::string_view s);   // space, / and $ become _
// True when forced, when exactly one is null, or when their texts differ (case-sensitive).
bool FieldsDiffer(const TField& a, const TField& b, bool force);
std::string SQLDate(TDateTime dt);  // YYYY-MM-DD

}  // namespace qzt
