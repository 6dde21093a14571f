#include "dbplugin/fb_access.h"

#include <firebird/Interface.h>

#include <cmath>
#include <cstring>

#include "platform/bcd.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"

namespace qzt {

using namespace Firebird;

namespace {

IMaster* Master() {
  static IMaster* master = fb_get_master_interface();
  return master;
}

// Runs one call of the API; a failure becomes EFIBError with the engine's text.
template <typename F>
auto Call(F&& f) {
  ThrowStatusWrapper status(Master()->getStatus());
  try {
    if constexpr (std::is_void_v<decltype(f(status))>) {
      f(status);
      status.dispose();
    } else {
      auto r = f(status);
      status.dispose();
      return r;
    }
  } catch (const FbException& e) {
    char text[1024];
    Master()->getUtilInterface()->formatStatus(text, sizeof text, e.getStatus());
    status.dispose();
    throw EFIBError(text);
  }
}

}  // namespace

void ShutdownEngine() {
  Call([](ThrowStatusWrapper& st) { Master()->getDispatcher()->shutdown(&st, 0, fb_shutrsn_app_stopped); });
}

namespace {

constexpr int32_t kDateOffset = 15018;  // days from 1858-11-17 (the engine's day 0) to 1899-12-30

int64_t Pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

TFieldType FieldTypeOf(unsigned type, int subType, int scale, int32_t& size, unsigned length) {
  size = 0;
  auto scaled = [&](TFieldType storage) {
    if (scale == 0) return storage;
    return -scale <= 4 ? ftBCD : ftFMTBcd;
  };
  switch (type) {
    case SQL_SHORT: return scaled(ftSmallint);
    case SQL_LONG: return scaled(ftInteger);
    case SQL_INT64: return scaled(ftLargeint);
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return ftFloat;
    case SQL_TYPE_DATE: return ftDate;
    case SQL_TYPE_TIME: return ftTime;
    case SQL_TIMESTAMP: return ftDateTime;
    case SQL_TEXT: size = static_cast<int32_t>(length); return ftFixedChar;
    case SQL_VARYING: size = static_cast<int32_t>(length); return ftString;
    case SQL_BLOB: return subType == 1 ? ftMemo : ftBlob;
    case SQL_BOOLEAN: return ftBoolean;
    default: return ftUnknown;
  }
}

std::vector<FbColumn> Describe(IMessageMetadata* meta) {
  std::vector<FbColumn> out;
  if (!meta) return out;
  Call([&](ThrowStatusWrapper& st) {
    const unsigned n = meta->getCount(&st);
    for (unsigned i = 0; i < n; ++i) {
      FbColumn c;
      c.Name = meta->getAlias(&st, i);
      c.Field = meta->getField(&st, i);
      c.Relation = meta->getRelation(&st, i);
      c.Type = meta->getType(&st, i) & ~1u;
      c.SubType = meta->getSubType(&st, i);
      c.Scale = meta->getScale(&st, i);
      c.Length = meta->getLength(&st, i);
      c.Offset = meta->getOffset(&st, i);
      c.NullOffset = meta->getNullOffset(&st, i);
      c.Nullable = meta->isNullable(&st, i);
      c.FieldType = FieldTypeOf(c.Type, c.SubType, c.Scale, c.Size, c.Length);
      out.push_back(std::move(c));
    }
  });
  return out;
}

template <typename T>
T Get(const unsigned char* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
void Put(unsigned char* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

// A scaled integer as the field type asks: currency for ftBCD, a BCD record for ftFMTBcd.
Variant Scaled(int64_t v, int scale, TFieldType type) {
  if (scale == 0) {
    if (type == ftSmallint) return Variant::Int16(static_cast<int16_t>(v));
    if (type == ftInteger) return Variant(static_cast<int32_t>(v));
    return Variant(v);
  }
  const int places = -scale;
  if (type == ftBCD) return Variant::Currency(v * Pow10(4 - places));
  std::string digits = std::to_string(v < 0 ? -v : v);
  if (static_cast<int>(digits.size()) <= places) digits.insert(0, places - digits.size() + 1, '0');
  digits.insert(digits.size() - places, ".");
  return Variant(StrToBcd((v < 0 ? "-" : "") + digits));
}

std::string ReadBlob(ISC_QUAD id, TpFIBDatabase& db, TpFIBTransaction& tra) {
  std::string out;
  Call([&](ThrowStatusWrapper& st) {
    IBlob* blob = db.Handle()->openBlob(&st, tra.Handle(), &id, 0, nullptr);
    char buf[32768];
    for (;;) {
      unsigned got = 0;
      const int rc = blob->getSegment(&st, sizeof buf, buf, &got);
      if (rc == IStatus::RESULT_OK || rc == IStatus::RESULT_SEGMENT) {
        out.append(buf, got);
        continue;
      }
      break;
    }
    blob->close(&st);
  });
  return out;
}

ISC_QUAD WriteBlob(const std::string& content, TpFIBDatabase& db, TpFIBTransaction& tra) {
  ISC_QUAD id{};
  Call([&](ThrowStatusWrapper& st) {
    IBlob* blob = db.Handle()->createBlob(&st, tra.Handle(), &id, 0, nullptr);
    for (size_t pos = 0; pos < content.size(); pos += 32768) {
      const unsigned n = static_cast<unsigned>(std::min<size_t>(32768, content.size() - pos));
      blob->putSegment(&st, n, content.data() + pos);
    }
    blob->close(&st);
  });
  return id;
}

void WriteColumn(const FbColumn& c, unsigned char* buffer, const Variant& v, TpFIBDatabase& db,
                 TpFIBTransaction& tra, const std::string& name) {
  Put<int16_t>(buffer + c.NullOffset, v.IsNullOrEmpty() ? -1 : 0);
  if (v.IsNullOrEmpty()) return;
  unsigned char* p = buffer + c.Offset;
  auto scaledInt = [&]() -> int64_t {
    if (c.Scale == 0) return v.ToInt64();
    if (v.Type() == VarType::Currency) return v.ToCurrency() * Pow10(-c.Scale) / 10000;
    return static_cast<int64_t>(std::llround(v.ToDouble() * static_cast<double>(Pow10(-c.Scale))));
  };
  int64_t days = 0, msecs = 0;
  switch (c.Type) {
    case SQL_SHORT: Put<int16_t>(p, static_cast<int16_t>(scaledInt())); break;
    case SQL_LONG: Put<int32_t>(p, static_cast<int32_t>(scaledInt())); break;
    case SQL_INT64: Put<int64_t>(p, scaledInt()); break;
    case SQL_FLOAT: Put<float>(p, static_cast<float>(v.ToDouble())); break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT: Put<double>(p, v.ToDouble()); break;
    case SQL_TYPE_DATE:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<int32_t>(p, static_cast<int32_t>(days + kDateOffset));
      break;
    case SQL_TYPE_TIME:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<uint32_t>(p, static_cast<uint32_t>(msecs * 10));
      break;
    case SQL_TIMESTAMP:
      SplitDateTime(v.ToDateTime(), days, msecs);
      Put<int32_t>(p, static_cast<int32_t>(days + kDateOffset));
      Put<uint32_t>(p + 4, static_cast<uint32_t>(msecs * 10));
      break;
    case SQL_TEXT:
    case SQL_VARYING: {
      const std::string s = v.ToString();
      if (s.size() > c.Length)
        throw EFIBError("Parameter " + name + ": a text of " + std::to_string(s.size()) + " bytes exceeds " +
                        std::to_string(c.Length));
      if (c.Type == SQL_TEXT) {
        std::memset(p, ' ', c.Length);
        std::memcpy(p, s.data(), s.size());
      } else {
        Put<uint16_t>(p, static_cast<uint16_t>(s.size()));
        std::memcpy(p + 2, s.data(), s.size());
      }
      break;
    }
    case SQL_BLOB: Put<ISC_QUAD>(p, WriteBlob(v.ToString(), db, tra)); break;
    case SQL_BOOLEAN: Put<uint8_t>(p, v.ToBool() ? 1 : 0); break;
    default: throw EFIBError("Parameter " + name + ": unsupported column type " + std::to_string(c.Type));
  }
}

}  // namespace

Variant ReadColumn(const FbColumn& c, const unsigned char* buffer, TpFIBDatabase& db, TpFIBTransaction& tra) {
  if (Get<int16_t>(buffer + c.NullOffset) != 0) return Variant::Null();
  const unsigned char* p = buffer + c.Offset;
  switch (c.Type) {
    case SQL_SHORT: return Scaled(Get<int16_t>(p), c.Scale, c.FieldType);
    case SQL_LONG: return Scaled(Get<int32_t>(p), c.Scale, c.FieldType);
    case SQL_INT64: return Scaled(Get<int64_t>(p), c.Scale, c.FieldType);
    case SQL_FLOAT: return Variant(static_cast<double>(Get<float>(p)));
    case SQL_DOUBLE:
    case SQL_D_FLOAT: return Variant(Get<double>(p));
    case SQL_TYPE_DATE: return Variant::Date(Get<int32_t>(p) - kDateOffset);
    case SQL_TYPE_TIME: return Variant::Date(Get<uint32_t>(p) / 864000000.0);
    case SQL_TIMESTAMP: {
      const double d = Get<int32_t>(p) - kDateOffset;
      const double t = Get<uint32_t>(p + 4) / 864000000.0;
      return Variant::Date(d < 0 ? d - t : d + t);
    }
    case SQL_TEXT: return Variant(std::string(reinterpret_cast<const char*>(p), c.Length));
    case SQL_VARYING:
      return Variant(std::string(reinterpret_cast<const char*>(p + 2), std::min<unsigned>(Get<uint16_t>(p), c.Length)));
    case SQL_BLOB: return Variant(ReadBlob(Get<ISC_QUAD>(p), db, tra));
    case SQL_BOOLEAN: return Variant(Get<uint8_t>(p) != 0);
    default: return Variant::Null();
  }
}

// ---- SQL parameters ----

ParsedSQL ParseSQLParams(const std::string& sql) {
  ParsedSQL out;
  size_t i = 0;
  auto copyUntil = [&](size_t end) {
    out.Text.append(sql, i, end - i);
    i = end;
  };
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t end = sql.find(c, i + 1);
      copyUntil(end == std::string::npos ? sql.size() : end + 1);
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t end = sql.find('\n', i);
      copyUntil(end == std::string::npos ? sql.size() : end + 1);
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      const size_t end = sql.find("*/", i + 2);
      copyUntil(end == std::string::npos ? sql.size() : end + 2);
    } else if (c == '?') {
      out.Text += '?';
      out.Names.emplace_back();
      ++i;
    } else if (c == ':' && i + 1 < sql.size() &&
               (std::isalpha(static_cast<unsigned char>(sql[i + 1])) || sql[i + 1] == '_' ||
                static_cast<unsigned char>(sql[i + 1]) >= 0x80)) {
      size_t e = i + 1;
      while (e < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[e])) || sql[e] == '_' || sql[e] == '$' ||
                                static_cast<unsigned char>(sql[e]) >= 0x80))
        ++e;
      out.Names.push_back(sql.substr(i + 1, e - i - 1));
      out.Text += '?';
      i = e;
    } else {
      out.Text += c;
      ++i;
    }
  }
  return out;
}

// ---- database and transaction ----

TpFIBDatabase::~TpFIBDatabase() {
  try {
    Disconnect();
  } catch (...) {  // a destructor reports nothing
  }
  // Whichever of the pair goes first, the other forgets it.
  if (DefaultTransaction && DefaultTransaction->DefaultDatabase == this) DefaultTransaction->DefaultDatabase = nullptr;
}

namespace {

IXpbBuilder* Dpb(const TpFIBDatabase& db, ThrowStatusWrapper& st) {
  IXpbBuilder* dpb = Master()->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
  if (!db.UserName.empty()) dpb->insertString(&st, isc_dpb_user_name, db.UserName.c_str());
  if (!db.Password.empty()) dpb->insertString(&st, isc_dpb_password, db.Password.c_str());
  if (!db.CharSet.empty()) dpb->insertString(&st, isc_dpb_lc_ctype, db.CharSet.c_str());
  dpb->insertInt(&st, isc_dpb_sql_dialect, db.SQLDialect);
  return dpb;
}

}  // namespace

void TpFIBDatabase::Connect() {
  if (attachment_) return;
  attachment_ = Call([&](ThrowStatusWrapper& st) {
    IXpbBuilder* dpb = Dpb(*this, st);
    IAttachment* a = Master()->getDispatcher()->attachDatabase(&st, DBName.c_str(), dpb->getBufferLength(&st),
                                                               dpb->getBuffer(&st));
    dpb->dispose();
    return a;
  });
}

void TpFIBDatabase::CreateDatabase(int pageSize) {
  if (attachment_) return;
  attachment_ = Call([&](ThrowStatusWrapper& st) {
    IXpbBuilder* dpb = Dpb(*this, st);
    dpb->insertInt(&st, isc_dpb_page_size, pageSize);
    IAttachment* a = Master()->getDispatcher()->createDatabase(&st, DBName.c_str(), dpb->getBufferLength(&st),
                                                               dpb->getBuffer(&st));
    dpb->dispose();
    return a;
  });
}

void TpFIBDatabase::Disconnect() {
  if (!attachment_) return;
  if (DefaultTransaction && DefaultTransaction->Active()) DefaultTransaction->Commit();
  IAttachment* a = attachment_;
  attachment_ = nullptr;
  ++generation_;
  Call([&](ThrowStatusWrapper& st) { a->detach(&st); });
}

TpFIBTransaction::~TpFIBTransaction() {
  if (DefaultDatabase && DefaultDatabase->DefaultTransaction == this) DefaultDatabase->DefaultTransaction = nullptr;
  try {
    if (handle_) Rollback();
  } catch (...) {  // a destructor reports nothing
  }
}

void TpFIBTransaction::StartTransaction() {
  if (handle_) throw EFIBError("Transaction is active");
  byStatement_ = false;
  if (!DefaultDatabase || !DefaultDatabase->Connected()) throw EFIBError("Database not connected");
  handle_ = Call([&](ThrowStatusWrapper& st) { return DefaultDatabase->Handle()->startTransaction(&st, 0, nullptr); });
}

void TpFIBTransaction::Commit() {
  if (!handle_) return;
  ITransaction* t = handle_;
  handle_ = nullptr;
  Call([&](ThrowStatusWrapper& st) { t->commit(&st); });
}

void TpFIBTransaction::CommitRetaining() {
  if (handle_) Call([&](ThrowStatusWrapper& st) { handle_->commitRetaining(&st); });
}

void TpFIBTransaction::Rollback() {
  if (!handle_) return;
  ITransaction* t = handle_;
  handle_ = nullptr;
  Call([&](ThrowStatusWrapper& st) { t->rollback(&st); });
}

// ---- statements ----

TFbStatement::~TFbStatement() {
  try {
    Unprepare();
  } catch (...) {  // a destructor reports nothing
  }
}

void TFbStatement::SetSQL(const std::string& sql) {
  if (statement_ && sql == sql_) {  // the same text again: the prepared statement stays, its values go
    for (int i = 0; i < Params.Count(); ++i) Params.Items(i).Value = Variant::Null();
    return;
  }
  Unprepare();
  sql_ = sql;
  Params.Clear();
  markers_.clear();
  if (!ParamCheck) return;
  const ParsedSQL parsed = ParseSQLParams(sql);
  for (const std::string& name : parsed.Names) {
    TParam* p = name.empty() ? nullptr : Params.FindParam(name);
    if (!p) p = &Params.CreateParam(ftUnknown, name, ptInputParam);
    for (int k = 0; k < Params.Count(); ++k)
      if (&Params.Items(k) == p) markers_.push_back(k);
  }
}

TParam& TFbStatement::ParamByPosition(int index) {
  if (index < 0 || index >= static_cast<int>(markers_.size())) throw EFIBError("Parameter index out of range");
  return Params.Items(markers_[index]);
}

void TFbStatement::EnsureTransaction(bool start) {
  if (!Database || !Database->Connected()) throw EFIBError("Database not connected");
  if (!Transaction) throw EFIBError("Transaction not assigned");
  if (start && !Transaction->Active()) Transaction->StartForStatement();
}

void TFbStatement::Prepare() {
  if (statement_ && Database && preparedGeneration_ == Database->Generation()) return;
  if (statement_) Unprepare();  // prepared on an attachment that has ended since
  EnsureTransaction(true);
  preparedGeneration_ = Database->Generation();
  const std::string text = ParamCheck ? ParseSQLParams(sql_).Text : sql_;
  Call([&](ThrowStatusWrapper& st) {
    statement_ = Database->Handle()->prepare(&st, Transaction->Handle(), 0, text.c_str(), Database->SQLDialect,
                                             IStatement::PREPARE_PREFETCH_METADATA);
    inMeta_ = statement_->getInputMetadata(&st);
    outMeta_ = statement_->getOutputMetadata(&st);
    outLength_ = outMeta_->getMessageLength(&st);
  });
  inputs_ = Describe(inMeta_);
  columns_ = Describe(outMeta_);
  for (size_t i = 0; i < inputs_.size() && i < markers_.size(); ++i) {
    TParam& p = Params.Items(markers_[i]);
    if (p.DataType == ftUnknown) p.DataType = inputs_[i].FieldType;
    inputs_[i].Name = p.Name;
  }
}

void TFbStatement::Use(TpFIBDatabase* db, TpFIBTransaction* tra) {
  if (db != Database) Unprepare();
  Database = db;
  Transaction = tra;
}

void TFbStatement::Unprepare() {
  if (inMeta_) inMeta_->release();
  if (outMeta_) outMeta_->release();
  inMeta_ = outMeta_ = nullptr;
  if (statement_) {
    IStatement* s = statement_;
    statement_ = nullptr;
    // A statement of an attachment that has gone cannot be freed on the server: the interface is let go.
    try {
      Call([&](ThrowStatusWrapper& st) { s->free(&st); });
    } catch (const EFIBError&) {
      s->release();
    }
  }
  inputs_.clear();
  columns_.clear();
}

std::string TFbStatement::BindInput() {
  const unsigned length = inMeta_ ? Call([&](ThrowStatusWrapper& st) { return inMeta_->getMessageLength(&st); }) : 0;
  std::string buffer(length, '\0');
  for (size_t i = 0; i < inputs_.size(); ++i) {
    const Variant v = i < markers_.size() ? Params.Items(markers_[i]).Value : Variant::Null();
    WriteColumn(inputs_[i], reinterpret_cast<unsigned char*>(buffer.data()), v, *Database, *Transaction,
                inputs_[i].Name.empty() ? std::to_string(i + 1) : inputs_[i].Name);
  }
  return buffer;
}

void TpFIBQuery::ExecQuery() {
  EnsureTransaction(false);
  if (!Transaction->Active() && !(Options & qoStartTransaction)) throw EFIBError("Transaction is not active");
  Prepare();
  if (!Transaction->Active()) Transaction->StartForStatement();  // a prepared statement outlives transactions
  std::string in = BindInput();
  std::string out(outLength_, '\0');
  Call([&](ThrowStatusWrapper& st) {
    statement_->execute(&st, Transaction->Handle(), inMeta_, in.empty() ? nullptr : in.data(), outMeta_,
                        out.empty() ? nullptr : out.data());
    // Only data statements count rows; asking a DDL statement fails.
    const unsigned type = statement_->getType(&st);
    rowsAffected_ = type == isc_info_sql_stmt_insert || type == isc_info_sql_stmt_update ||
                            type == isc_info_sql_stmt_delete || type == isc_info_sql_stmt_exec_procedure
                        ? static_cast<int64_t>(statement_->getAffectedRecords(&st))
                        : 0;
  });
  Fields.clear();
  for (const FbColumn& c : columns_)
    Fields.push_back(ReadColumn(c, reinterpret_cast<const unsigned char*>(out.data()), *Database, *Transaction));
  if ((Options & qoAutoCommit) && Transaction->StartedByStatement()) Transaction->Commit();
}

Variant TpFIBQuery::FieldByName(std::string_view name) const {
  for (size_t i = 0; i < columns_.size() && i < Fields.size(); ++i)
    if (SameText(columns_[i].Name, name)) return Fields[i];
  throw EFIBError("Field " + std::string(name) + " not found");
}

// ---- stored procedure ----

void TpFIBStoredProc::Prepare() {
  if (Prepared()) return;
  TpFIBDataSet inputs;
  inputs.Database = Database;
  inputs.Transaction = Transaction;
  inputs.SetSelectSQL(
      "select trim(rdb$parameter_name) from rdb$procedure_parameters where rdb$procedure_name = :P "
      "and rdb$parameter_type = 0 order by rdb$parameter_number");
  inputs.Params.ParamByName("P").Value = Variant(UpperCase(Trim(StoredProcName)));
  inputs.Open();
  std::string list;
  for (inputs.First(); !inputs.Eof(); inputs.Next())
    list += (list.empty() ? ":" : ", :") + inputs.Fields(0).AsString();
  inputs.Close();
  // Values set before preparing are kept by name.
  std::vector<std::pair<std::string, Variant>> kept;
  for (int i = 0; i < Params.Count(); ++i) kept.emplace_back(Params.Items(i).Name, Params.Items(i).Value);
  SetSQL("execute procedure " + StoredProcName + (list.empty() ? "" : " " + list));
  for (auto& [name, value] : kept)
    if (TParam* p = Params.FindParam(name)) p->Value = value;
  TFbStatement::Prepare();
}

void TpFIBStoredProc::ExecProc() {
  Prepare();
  ExecQuery();
}

// ---- select dataset ----

TpFIBDataSet::~TpFIBDataSet() {
  try {
    Close();
  } catch (...) {  // a destructor reports nothing
  }
}

void TpFIBDataSet::InternalOpen() {
  Prepare();
  if (!Transaction->Active()) Transaction->StartForStatement();
  std::string in = BindInput();
  cursor_ = Call([&](ThrowStatusWrapper& st) {
    return statement_->openCursor(&st, Transaction->Handle(), inMeta_, in.empty() ? nullptr : in.data(), outMeta_, 0);
  });
  rows_.clear();
  eofReached_ = false;
  current_ = -1;
  FieldDefs.clear();
  for (const FbColumn& c : columns_) FieldDefs.push_back({c.Name, c.FieldType, c.Size, !c.Nullable});
}

void TpFIBDataSet::InternalClose() {
  if (cursor_) {
    IResultSet* c = cursor_;
    cursor_ = nullptr;
    // A cursor whose transaction has ended is already closed on the server: the interface is let go.
    try {
      Call([&](ThrowStatusWrapper& st) { c->close(&st); });
    } catch (const EFIBError&) {
      c->release();
    }
  }
  rows_.clear();
  eofReached_ = false;
}

bool TpFIBDataSet::FetchOne() {
  if (eofReached_ || !cursor_) return false;
  std::string row(outLength_, '\0');
  const int rc = Call([&](ThrowStatusWrapper& st) { return cursor_->fetchNext(&st, row.data()); });
  if (rc != IStatus::RESULT_OK) {
    eofReached_ = true;
    return false;
  }
  rows_.push_back(std::move(row));
  return true;
}

bool TpFIBDataSet::InternalHasRecord(int64_t pos) {
  if (pos < 0) return false;
  while (static_cast<int64_t>(rows_.size()) <= pos)
    if (!FetchOne()) return false;
  return true;
}

int64_t TpFIBDataSet::InternalRecordCount() {
  while (FetchOne()) {
  }
  return static_cast<int64_t>(rows_.size());
}

bool TpFIBDataSet::InternalGetData(const TField& field, Variant& out) {
  if (current_ < 0 || current_ >= static_cast<int64_t>(rows_.size())) return false;
  if (field.FieldNo < 1 || static_cast<size_t>(field.FieldNo) > columns_.size()) return false;
  out = ReadColumn(columns_[field.FieldNo - 1], reinterpret_cast<const unsigned char*>(rows_[current_].data()),
                   *Database, *Transaction);
  return !out.IsNull();
}

void TpFIBDataSet::InternalSetData(const TField&, const Variant&) { DatabaseError("Cannot modify a read-only dataset"); }
void TpFIBDataSet::InternalEdit() { DatabaseError("Cannot modify a read-only dataset"); }
void TpFIBDataSet::InternalInsert(bool) { DatabaseError("Cannot modify a read-only dataset"); }
int64_t TpFIBDataSet::InternalPost() { DatabaseError("Cannot modify a read-only dataset"); }
void TpFIBDataSet::InternalDelete() { DatabaseError("Cannot modify a read-only dataset"); }

TBookmark TpFIBDataSet::InternalBookmark(int64_t pos) {
  return TBookmark(reinterpret_cast<const char*>(&pos), sizeof pos);
}

int64_t TpFIBDataSet::InternalFindBookmark(const TBookmark& bookmark) {
  int64_t pos = -1;
  if (bookmark.size() == sizeof pos) std::memcpy(&pos, bookmark.data(), sizeof pos);
  return InternalHasRecord(pos) ? pos : -1;
}

}  // namespace qzt
