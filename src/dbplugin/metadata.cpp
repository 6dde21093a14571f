#include "dbplugin/metadata.h"

#include "dataset/sql_literals.h"
#include "platform/text_utils.h"

namespace qzt {

TFieldType CatalogueFieldType(int t) {
  switch (t) {
    case 7: return ftSmallint;
    case 8: return ftInteger;
    case 9: return ftCurrency;
    case 10: case 11: case 27: return ftFloat;
    case 12: return ftDate;
    case 13: return ftTime;
    case 14: case 37: case 40: return ftString;
    case 16: return ftLargeint;
    case 35: return ftDateTime;
    case 261: return ftBlob;
    default: return ftUnknown;
  }
}

std::string CatalogueSQL(TVornMetaData kind, const std::string& name) {
  const std::string quoted = "'" + QuoteSQLString(name) + "'";
  switch (kind) {
    case mdTables:
      return "SELECT RDB$RELATION_NAME, RDB$OWNER_NAME, RDB$DESCRIPTION \n"
             "FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 \nAND RDB$DBKEY_LENGTH = 8";
    case mdViews:
      return "SELECT RDB$RELATION_NAME, RDB$OWNER_NAME, RDB$DESCRIPTION \n"
             "FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 \nAND RDB$DBKEY_LENGTH > 8";
    case mdSystemTables:
      return "SELECT RDB$RELATION_NAME, RDB$OWNER_NAME, RDB$DESCRIPTION FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG > 0";
    case mdStoredProcs:
      return "SELECT RDB$PROCEDURE_NAME, RDB$PROCEDURE_ID, RDB$OWNER_NAME, RDB$DESCRIPTION  FROM RDB$PROCEDURES";
    case mdIndexes:
      // Firebird leaves RDB$INDEX_INACTIVE null on active indexes: null counts as active.
      return "SELECT RDB$INDEX_NAME FROM RDB$INDICES WHERE COALESCE(RDB$INDEX_INACTIVE, 0) = 0 "
             "AND UPPER(RDB$RELATION_NAME) = " + quoted;
    case mdFields:
      return "SELECT RDB$RELATION_FIELDS.RDB$FIELD_NAME, \nRDB$FIELDS.RDB$FIELD_TYPE, \nRDB$FIELDS.RDB$FIELD_LENGTH, \n"
             "RDB$TYPES.RDB$TYPE_NAME, \nRDB$FIELDS.RDB$FIELD_SCALE \nFROM RDB$RELATION_FIELDS, RDB$FIELDS, RDB$TYPES \n"
             "WHERE RDB$RELATION_FIELDS.RDB$RELATION_NAME = " + quoted +
             " \nAND RDB$FIELDS.RDB$FIELD_NAME = RDB$RELATION_FIELDS.RDB$FIELD_SOURCE \n"
             "AND RDB$TYPES.RDB$FIELD_NAME = 'RDB$FIELD_TYPE' \nAND RDB$FIELDS.RDB$FIELD_TYPE = RDB$TYPES.RDB$TYPE\n"
             "ORDER BY RDB$RELATION_FIELDS.RDB$FIELD_POSITION";
    case mdForeignKeys:
      return "SELECT RDB$INDEX_SEGMENTS.RDB$FIELD_NAME, \nRDB$RELATION_CONSTRAINTS.RDB$RELATION_NAME, \n"
             "RDB$RELATION_CONSTRAINTS.RDB$INDEX_NAME \nFROM RDB$RELATION_CONSTRAINTS, RDB$INDEX_SEGMENTS \n"
             "WHERE RDB$RELATION_CONSTRAINTS.RDB$CONSTRAINT_TYPE='FOREIGN KEY' \n"
             "AND RDB$INDEX_SEGMENTS.RDB$INDEX_NAME = RDB$RELATION_CONSTRAINTS.RDB$INDEX_NAME \n"
             "AND RDB$RELATION_CONSTRAINTS.RDB$RELATION_NAME = " + quoted +
             " \nORDER BY RDB$INDEX_SEGMENTS.RDB$FIELD_POSITION";
    case mdPrimeKeys:
      return "SELECT RDB$INDEX_SEGMENTS.RDB$FIELD_NAME \nFROM RDB$RELATION_CONSTRAINTS, RDB$INDEX_SEGMENTS \n"
             "WHERE RDB$RELATION_CONSTRAINTS.RDB$CONSTRAINT_TYPE='PRIMARY KEY' \n"
             "AND RDB$INDEX_SEGMENTS.RDB$INDEX_NAME = RDB$RELATION_CONSTRAINTS.RDB$INDEX_NAME \n"
             "AND RDB$RELATION_CONSTRAINTS.RDB$RELATION_NAME = " + quoted +
             " \nORDER BY RDB$INDEX_SEGMENTS.RDB$FIELD_POSITION";
    case mdStoredProcColumns:
      return "SELECT RDB$PROCEDURE_PARAMETERS.RDB$PARAMETER_NAME, \n RDB$FIELDS.RDB$FIELD_TYPE, \n"
             "RDB$FIELDS.RDB$FIELD_LENGTH, \nRDB$FIELDS.RDB$FIELD_SCALE, \nRDB$TYPES.RDB$TYPE_NAME, \n"
             "RDB$PROCEDURE_PARAMETERS.RDB$PARAMETER_TYPE \nFROM RDB$PROCEDURE_PARAMETERS, RDB$FIELDS, RDB$TYPES \n"
             "WHERE RDB$PROCEDURE_PARAMETERS.RDB$PROCEDURE_NAME = " + quoted +
             " \nAND RDB$FIELDS.RDB$FIELD_NAME = RDB$PROCEDURE_PARAMETERS.RDB$FIELD_SOURCE \n"
             "AND RDB$FIELDS.RDB$FIELD_TYPE = RDB$TYPES.RDB$TYPE \nAND RDB$TYPES.RDB$FIELD_NAME = 'RDB$FIELD_TYPE'\n"
             "ORDER BY RDB$PROCEDURE_PARAMETERS.RDB$PARAMETER_TYPE, RDB$PROCEDURE_PARAMETERS.RDB$PARAMETER_NUMBER";
    case mdTriggers:
      // No catalogue query is given for triggers: the user triggers of the table (all of them without a name).
      return "SELECT RDB$TRIGGER_NAME, RDB$RELATION_NAME, RDB$TRIGGER_TYPE, RDB$DESCRIPTION FROM RDB$TRIGGERS \n"
             "WHERE COALESCE(RDB$SYSTEM_FLAG, 0) = 0" +
             (name.empty() ? std::string() : " AND RDB$RELATION_NAME = " + quoted) + "\nORDER BY RDB$TRIGGER_NAME";
    default:
      return {};
  }
}

TVornDataSet* TVornIBInfo::GetMetaData(TClientConnection* client, TVornMetaData kind, const std::string& name,
                                       const std::string& databaseName) {
  (void)databaseName;  // no alias table: the default database answers
  const std::string sql = CatalogueSQL(kind, name);
  if (sql.empty()) return nullptr;
  if (!OnSetSQL) throw EDatabaseError("OnSetSQL is not assigned");
  std::lock_guard<std::mutex> lock(lock_);
  TDataSet* query = QueryFor ? QueryFor(client) : nullptr;
  if (!query) throw EDatabaseError("No query component for metadata");
  query->Close();
  OnSetSQL(*query, sql);
  query->Open();
  result_.CopyFromDataSet(*query);
  query->Close();
  return &result_;
}

namespace {

struct Column {
  const char* name;
  TFieldType type;
  int size;
};

const std::vector<Column>& Layout(TVornMetaData kind) {
  static const std::vector<Column> kOwned = {{"TableName", ftString, 75}, {"OwnerName", ftString, 30},
                                             {"Description", ftString, 80}};
  static const std::map<int, std::vector<Column>> kLayouts = {
      {mdTables, kOwned},
      {mdIndexes, {{"IndexName", ftString, 75}}},
      {mdFields, {{"FieldName", ftString, 75}, {"FieldType", ftInteger, 0}, {"FieldSize", ftInteger, 0}}},
      {mdViews, {{"ViewName", ftString, 75}, {"OwnerName", ftString, 30}, {"Description", ftString, 80}}},
      {mdStoredProcs, {{"SProcName", ftString, 75}, {"OwnerName", ftString, 30}, {"Description", ftString, 80}}},
      {mdForeignKeys, {{"FieldName", ftString, 75}, {"TableName", ftString, 75}, {"IndexName", ftString, 75}}},
      {mdSystemTables, kOwned},
      {mdDBMSName,
       {{"VornServer", ftString, 25}, {"Database", ftString, 40}, {"Info", ftString, 40},
        {"Server EXE Name", ftString, 40}, {"UserName", ftString, 35}, {"PassWord", ftString, 35},
        {"DataBaseFileName", ftMemo, 0}}},
      {mdPrimeKeys, {{"FieldName", ftString, 75}}},
      {mdStoredProcColumns,
       {{"ColumnName", ftString, 75}, {"ParamType", ftInteger, 0}, {"ColumnType", ftInteger, 0},
        {"ColumnSize", ftInteger, 0}}},
      {mdVCLFields, {{"FieldName", ftString, 75}, {"FieldType", ftInteger, 0}, {"FieldSize", ftInteger, 0}}},
      {mdOtherMetaData, {{"Memo", ftMemo, 0}}},
      {mdTriggers,
       {{"TriggerName", ftString, 30}, {"RelationName", ftString, 30}, {"TriggerType", ftSmallint, 0},
        {"Description", ftString, 80}}},
  };
  static const std::vector<Column> kDefault = {{"Default", ftString, 75}};
  auto it = kLayouts.find(kind);
  return it == kLayouts.end() ? kDefault : it->second;
}

}  // namespace

TVornDataSet& TVorn2MetaData::Table(TVornMetaData kind) {
  auto& t = tables_[kind];
  if (!t) t = std::make_unique<TVornDataSet>();
  return *t;
}

TVornDataSet* TVorn2MetaData::GetMetaData(TClientConnection* client, TVornMetaData kind, const std::string& tableName,
                                          const std::string& databaseName) {
  if (BeforeMetaData) BeforeMetaData(kind, databaseName, tableName);
  TVornDataSet& table = Table(kind);
  table.Close();
  table.EmptyDataSet();
  table.FastFields.clear();
  for (const Column& c : Layout(kind)) table.AddFastField(c.name, c.type, c.size);
  table.Open();
  try {
    auto event = Events.find(kind);
    if (event != Events.end() && event->second) event->second(client, kind, table, databaseName, tableName);
  } catch (...) {
    if (AfterMetaData) AfterMetaData(kind, databaseName, tableName);
    throw;
  }
  if (AfterMetaData) AfterMetaData(kind, databaseName, tableName);
  table.First();
  return &table;
}

}  // namespace qzt
