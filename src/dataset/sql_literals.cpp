#include "dataset/sql_literals.h"

#include "platform/date_time.h"
#include "platform/number_text.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {

std::string QuoteSQLString(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  for (char c : s) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

std::string SafeIdentifier(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == ' ' || c == '/' || c == '$') c = '_';
  return out;
}

std::string SQLDate(TDateTime dt) {
  // Formatted month first and rearranged, which gives the same digits as yyyy-mm-dd.
  const std::string us = FormatDateTime("mm-dd-yyyy", dt);
  return us.substr(6) + "-" + us.substr(0, 2) + "-" + us.substr(3, 2);
}

namespace {

std::string TimeText(TDateTime dt, bool msSql) {
  const std::string sep = msSql ? "::" : ":";
  return FormatDateTime("hh", dt) + sep + FormatDateTime("nn", dt) + sep + FormatDateTime("ss", dt);
}

}  // namespace

std::string BaseSQLLiteral(TDataSet& dataSet, std::string_view fieldName, bool booleanAsInteger,
                           bool doubleQuoteStrings, bool msSqlTimeSeparator) {
  const TField& f = dataSet.FieldByName(fieldName);
  if (f.IsNull()) return "NULL";
  switch (f.DataType) {
    case ftString: case ftFixedChar: case ftWideString: case ftGuid:
      return doubleQuoteStrings ? "\"" + f.AsString() + "\"" : "'" + QuoteSQLString(f.AsString()) + "'";
    case ftBoolean: return booleanAsInteger ? (f.AsBoolean() ? "1" : "0") : f.AsString();
    case ftFloat: {
      const double v = f.AsFloat();
      return v == 0 ? FloatToStr(0) : FormatFloat("###############.###############", v);
    }
    case ftDate: return "'" + SQLDate(f.AsDateTime()) + "'";
    case ftTime: return "{ts '" + TimeText(f.AsDateTime(), msSqlTimeSeparator) + "'}";
    case ftDateTime:
      return "{ts '" + SQLDate(f.AsDateTime()) + " " + TimeText(f.AsDateTime(), msSqlTimeSeparator) + "'}";
    default: return f.AsString();
  }
}

std::string FieldToSQLLiteral(TDataSet& dataSet, std::string_view fieldName, std::string_view dateMask,
                              TVornServerSQLOptions options, TSQLDialect dialect, std::string_view timeMask,
                              std::string_view dateTimeMask) {
  const TField& f = dataSet.FieldByName(fieldName);
  const bool quote = !(options & SQLOption(ssNoQuotesInDates));
  auto quoted = [&](const std::string& s) { return quote ? "'" + s + "'" : s; };
  if (!dateMask.empty() && f.DataType == ftDate) return quoted(FormatDateTime(dateMask, f.AsDateTime()));
  if (!timeMask.empty() && f.DataType == ftTime) return quoted(FormatDateTime(timeMask, f.AsDateTime()));
  if (!dateTimeMask.empty() && (f.DataType == ftDateTime || f.DataType == ftTimeStamp)) {
    const TDateTime dt = f.DataType == ftTimeStamp ? SQLTimeStampToDateTime(f.AsSQLTimeStamp()) : f.AsDateTime();
    return quoted(FormatDateTime(dateTimeMask, dt));
  }
  const bool isNull = f.IsNull();
  switch (dialect) {
    case sqlLocalSQL: {
      if (isNull) return "NULL";
      if (!(options & SQLOption(ssUSDatesForLocalSQL))) return quoted(f.AsString());
      // A time has no date part: it is written with the time mask (the date mask would give 12/30/1899).
      std::string s = FormatDateTime(f.DataType == ftDateTime ? "mm/dd/yyyy hh:nn:ss"
                                     : f.DataType == ftTime   ? "hh:nn:ss"
                                                              : "mm/dd/yyyy",
                                     f.AsDateTime());
      for (char& c : s)
        if (c == DateSeparator) c = '/';
      return quoted(s);
    }
    case sqlAccess:
      if (isNull) return "NULL";
      if (f.DataType == ftDate) return "#" + SQLDate(f.AsDateTime()) + "#";
      if (f.DataType == ftDateTime) return "#" + FormatDateTime("yyyy-mm-dd hh:nn:ss", f.AsDateTime()) + "#";
      return f.AsString();
    case sqlOracle:
      if (isNull) return "NULL";
      if (f.DataType == ftDate) return "'" + FormatDateTime("dd-mmm-yyyy", f.AsDateTime()) + "'";
      if (f.DataType == ftDateTime) return "'" + FormatDateTime("dd-mmm-yyyy hh:nn:ss", f.AsDateTime()) + "'";
      break;
    default: break;
  }
  return BaseSQLLiteral(dataSet, fieldName, options & SQLOption(ssBooleanAsInteger),
                        options & SQLOption(ssDoubleQuoteStrings), dialect == sqlMSSQLServer);
}

std::string BuildInsertSQL(std::string_view table, const std::vector<std::string>& fields,
                           const std::vector<std::string>& values, bool terminate) {
  std::string names, literals;
  for (const std::string& f : fields) names += std::string(Trim(f)) + ",";
  for (const std::string& v : values) literals += v + ",";
  // The builder removes one trailing character before closing each list.
  if (!names.empty()) names.pop_back();
  if (!literals.empty()) literals.pop_back();
  std::string out = "Insert Into " + std::string(table) + " (" + names + ")\r Values (" + literals + ")";
  if (terminate) out += ";";
  return out;
}

bool FieldsDiffer(const TField& a, const TField& b, bool force) {
  if (force) return true;
  const bool na = a.IsNull(), nb = b.IsNull();
  if (na || nb) return na != nb;
  return a.AsString() != b.AsString();
}

}  // namespace qzt
