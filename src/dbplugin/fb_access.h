// A small Firebird access layer over the OO API (firebird/Interface.h), with the component roles the
// server names: database (attachment), transaction, executable query, select dataset, stored procedure.
//
// A connection string "host:path" attaches to a Firebird server; a bare path opens the file in-process
// through the embedded engine. Parameters in SQL texts are written ":NAME" (or "?"): they are found outside
// string literals, quoted identifiers and comments, and one name may occur more than once.
//
// Column types map to field types so: SMALLINT ftSmallint, INTEGER ftInteger, BIGINT ftLargeint,
// NUMERIC/DECIMAL scale 1..4 ftBCD, larger scale ftFMTBcd (scale 0: its storage type), FLOAT and DOUBLE
// ftFloat, DATE ftDate, TIME ftTime, TIMESTAMP ftDateTime, CHAR(n) ftFixedChar n, VARCHAR(n) ftString n,
// BLOB SUB_TYPE TEXT ftMemo, other blobs ftBlob, BOOLEAN ftBoolean; sizes in bytes; NOT NULL is Required.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/params.h"

namespace Firebird {
class IAttachment;
class ITransaction;
class IStatement;
class IResultSet;
class IMessageMetadata;
}  // namespace Firebird

namespace qzt {

QZT_EXCEPTION(EFIBError);

// Ends the engine's and the client library's threads once every attachment is gone; a program calls it
// last, so that no engine thread is still ending while the process exits.
void ShutdownEngine();

class TpFIBTransaction;

class TpFIBDatabase : public TComponent {
 public:
  ~TpFIBDatabase() override;
  std::string DBName;  // "host:path" or a bare path (embedded)
  std::string UserName, Password;
  std::string CharSet = "NONE";
  int SQLDialect = 3;
  bool LoginPrompt = false;  // never prompts: kept for the settings that name it
  TpFIBTransaction* DefaultTransaction = nullptr;

  void Connect();
  void Disconnect();
  bool Connected() const { return attachment_ != nullptr; }
  // Creates the database file (and attaches to it).
  void CreateDatabase(int pageSize = 8192);
  Firebird::IAttachment* Handle() const { return attachment_; }
  // Counts the attachments that ended: a statement prepared before the last one must be prepared again.
  uint64_t Generation() const { return generation_; }

 private:
  Firebird::IAttachment* attachment_ = nullptr;
  uint64_t generation_ = 0;
};

enum TTransactionAction : uint8_t { TARollback, TACommit, TARollbackRetaining, TACommitRetaining };

class TpFIBTransaction : public TComponent {
 public:
  ~TpFIBTransaction() override;
  TpFIBDatabase* DefaultDatabase = nullptr;
  TTransactionAction TimeoutAction = TACommitRetaining;

  void StartTransaction();
  void Commit();
  void CommitRetaining();
  void Rollback();
  bool Active() const { return handle_ != nullptr; }
  // Started by a statement that needed one, not begun by its owner: auto-commit may end it. A
  // transaction begun through StartTransaction (a client's transaction of several statements) stays
  // open until its owner ends it.
  bool StartedByStatement() const { return byStatement_; }
  void StartForStatement() {
    StartTransaction();
    byStatement_ = true;
  }
  Firebird::ITransaction* Handle() const { return handle_; }

 private:
  Firebird::ITransaction* handle_ = nullptr;
  bool byStatement_ = false;
};

// One column (or parameter) of a statement's message.
struct FbColumn {
  std::string Name;      // alias of a result column, or the parameter's name
  std::string Relation;  // table of a result column
  std::string Field;     // column name in its table
  unsigned Type = 0;     // SQL type without the nullable bit
  int SubType = 0;
  int Scale = 0;
  unsigned Length = 0;
  unsigned Offset = 0, NullOffset = 0;
  bool Nullable = true;
  TFieldType FieldType = ftUnknown;
  int32_t Size = 0;
};

// A parsed SQL text: ":NAME" and "?" replaced by positional markers, with the name of each position.
struct ParsedSQL {
  std::string Text;
  std::vector<std::string> Names;  // per position; "" for "?"
};
ParsedSQL ParseSQLParams(const std::string& sql);

enum TpFIBQueryOption : uint8_t { qoStartTransaction = 1, qoAutoCommit = 2 };

// A prepared statement with its parameters (shared by the executable query and the select dataset).
class TFbStatement {
 public:
  ~TFbStatement();
  TpFIBDatabase* Database = nullptr;
  TpFIBTransaction* Transaction = nullptr;
  TParams Params;  // one per distinct name (and per "?"), in order of first appearance
  // Off for texts whose ":name" are not parameters (procedure and trigger bodies in DDL).
  bool ParamCheck = true;

  void SetSQL(const std::string& sql);
  const std::string& SQL() const { return sql_; }
  void Prepare();
  bool Prepared() const { return statement_ != nullptr; }
  void Unprepare();
  // Runs later statements on `db` and `tra`; a statement prepared on another database is let go.
  void Use(TpFIBDatabase* db, TpFIBTransaction* tra);
  TParam& ParamByPosition(int index);  // the parameter bound at marker `index`
  int MarkerCount() const { return static_cast<int>(markers_.size()); }
  const std::vector<FbColumn>& Columns() const { return columns_; }

 protected:
  void EnsureTransaction(bool start);
  std::string BindInput();  // the input message for the current parameter values
  Firebird::IStatement* statement_ = nullptr;
  Firebird::IMessageMetadata* inMeta_ = nullptr;
  Firebird::IMessageMetadata* outMeta_ = nullptr;
  std::vector<FbColumn> inputs_, columns_;
  unsigned outLength_ = 0;
  std::string sql_;
  std::vector<int> markers_;  // marker position -> index into Params
  uint64_t preparedGeneration_ = 0;  // of the database's attachment the statement was prepared on
};

// An executable statement: inserts, updates, deletes, DDL, EXECUTE PROCEDURE (output values in Fields).
class TpFIBQuery : public TComponent, public TFbStatement {
 public:
  uint8_t Options = 0;  // qoStartTransaction, qoAutoCommit
  void ExecQuery();
  int64_t RowsAffected() const { return rowsAffected_; }
  // Output values of the last execution (EXECUTE PROCEDURE, RETURNING), by column.
  std::vector<Variant> Fields;
  Variant FieldByName(std::string_view name) const;

 private:
  int64_t rowsAffected_ = 0;
};

// An executable stored procedure: parameters by name (its input parameters, in the procedure's order),
// output values in Fields after ExecProc.
class TpFIBStoredProc : public TpFIBQuery {
 public:
  std::string StoredProcName;
  void Prepare();  // reads the procedure's input parameters and prepares EXECUTE PROCEDURE
  void ExecProc();
};

// A select whose rows are fetched as they are visited; blobs are read when a field is read.
class TpFIBDataSet : public TDataSet, public TFbStatement {
 public:
  explicit TpFIBDataSet(std::string name = "") : TDataSet(std::move(name)) {}
  ~TpFIBDataSet() override;
  std::string SelectSQL() const { return SQL(); }
  void SetSelectSQL(const std::string& sql) { SetSQL(sql); }
  // Rows fetched so far.
  int64_t FetchedCount() const { return static_cast<int64_t>(rows_.size()); }
  bool AllFetched() const { return eofReached_; }

 protected:
  void InternalOpen() override;
  void InternalClose() override;
  int64_t InternalRecordCount() override;
  bool InternalHasRecord(int64_t pos) override;
  void InternalSetCurrent(int64_t pos) override { current_ = pos; }
  bool InternalGetData(const TField& field, Variant& out) override;
  void InternalSetData(const TField&, const Variant&) override;
  void InternalEdit() override;
  void InternalInsert(bool) override;
  int64_t InternalPost() override;
  void InternalCancel() override {}
  void InternalDelete() override;
  TBookmark InternalBookmark(int64_t pos) override;
  int64_t InternalFindBookmark(const TBookmark& bookmark) override;

 private:
  bool FetchOne();
  Firebird::IResultSet* cursor_ = nullptr;
  std::vector<std::string> rows_;  // message buffers
  bool eofReached_ = false;
  int64_t current_ = -1;
};

// Reads one column of a message buffer (blob contents are read through the attachment).
Variant ReadColumn(const FbColumn& c, const unsigned char* buffer, TpFIBDatabase& db, TpFIBTransaction& tra);

}  // namespace qzt
