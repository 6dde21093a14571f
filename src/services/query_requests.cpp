// Reads: the select (whole or in packets kept on a persistent session), the legacy reads of the server's
// DataSet, blob fetches and batch selects. Replies are built in the line of the record that answers: the
// client's own on the I/O thread, the worker thread's copy on a worker thread.
#include "dataset/vorn_dataset.h"
#include "platform/text_utils.h"
#include "server/session_list.h"
#include "services/data_services.h"
#include "services/db_tools.h"
#include "services/request_runner.h"

namespace qzt {

namespace {

constexpr const char* kDataSetUnassigned = "Server Problem: VornServer.DataSet Property is unassigned.";

void SendFieldDefs(TVornServerSocket& s, TUserRecord& to, const std::string& defs) {
  SendText(s, to, FieldDefs, defs);
}

void SendResultSet(TVornServerSocket& s, TUserRecord& to, int32_t state, const std::string& rows, bool compressed) {
  SendRows(s, to, SQLResultSet, state, rows, compressed);
}

// The dataset to run a select on; the errors of a missing one or a missing plug-in event end the request.
TDataSet& RequireQuery(TVornServerSocket& s, TClientConnection* conn, TComponent* query) {
  auto* ds = dynamic_cast<TDataSet*>(query);
  if (!ds) s.SendErrorAndRaise(conn, "No DataSet assigned for Server Param Query Event");
  if (!s.OnSubmitSQLParams) s.SendErrorAndRaise(conn, "On Submit SQL Param not assigned");
  return *ds;
}

// The rows of the select: the query is run through the plug-in, the field definitions and the rows sent.
struct SelectRequest {
  std::string DataBaseStr, SQL, ParamsText;
  int32_t Rows = 0;
  TVornSelectSQLOptionSet Options = 0;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* query) const {
    TClientConnection* conn = to.Connection.get();
    TDataSet* ds = &RequireQuery(s, conn, query);
    TVornParamList params(ParamsText, 0);
    TVornDBTools tools(conn, thread, ds);
    s.LogCategory(lcSelectSQL, conn, "Select SQL " + SQL);
    try {
      tools.RunQuery([&] { s.OnSubmitSQLParams(conn, ds, DataBaseStr, SQL, params); });
    } catch (const std::exception& e) {
      throw EDatabaseError(e.what());
    }
    if (thread && thread->Terminated) return;
    SendFieldDefs(s, to, tools.Result);
    const TRowsReply reply = BuildRowsReply(s, to, thread, tools, Rows, Options);
    if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
    if (!tools.Error) SendResultSet(s, to, reply.Handle, reply.Text, reply.Compressed);
  }
};

// Field 4 of a select: the database string, then optionally byte 5 and the query's parameters, then
// optionally byte 2 and the design-time credentials (split off first).
void SplitDatabaseField(TUserRecord& client, std::string field, SelectRequest& r) {
  if (const size_t at = field.find('\x02'); at != std::string::npos) {
    TVornParamList credentials(std::string_view(field).substr(at + 1), 0);
    field.resize(at);
    if (TVornParamItem* user = credentials.LookupParam("DTUserName")) client.UserName = user->AsString();
    if (TVornParamItem* password = credentials.LookupParam("DTPassword"))
      client.ParamList.PutValue("DTPassWord", Variant(password->AsString()));
  }
  if (const size_t at = field.find('\x05'); at != std::string::npos) {
    r.ParamsText = field.substr(at + 1);
    field.resize(at);
  }
  r.DataBaseStr = std::move(field);
}

void HandleSelect(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  SelectRequest r;
  r.SQL = line.ReadString();
  r.Rows = line.ReadInteger();
  r.Options = static_cast<TVornSelectSQLOptionSet>(line.ReadInteger());
  const std::string field4 = line.ReadString();
  SplitDatabaseField(client, field4, r);
  TClientConnection* conn = client.Connection.get();
  if (!s.DesignTimeSelectAllowed(&client)) {
    s.SendErrorMessage(conn, "");
    return;
  }
  if (r.Options & soDelayed) {
    if (s.EffectiveMode(&client) != 1) {
      s.SendErrorMessage(conn, "Delays not supported in Servers Not running in Pooled Sessions");
      return;
    }
    line.ResetCursor();
    line.SetToken(DelayAction);
    line.AddField(r.SQL);
    line.AddField(r.Rows);
    line.AddField(static_cast<int32_t>(r.Options));
    line.AddField(field4);
    s.SendReply(&client);
  }
  if (s.ThreadingModel == tmSingleSession && !s.DataSet) {
    s.SendErrorMessage(conn, kDataSetUnassigned);
    return;
  }
  const TVornSelectSQLOptionSet supplied = s.EffectiveMode(&client) == 2 ? r.Options : r.Options & ~soPackets;
  RunRequest(s, client, r, ttSelect, r.DataBaseStr, supplied, s.DataSet);
}

// Packets exist on persistent sessions only: in other modes the request is answered with the error.
bool RefusedWithoutPersistentSession(TVornServerSocket& s, TUserRecord& client) {
  if (s.EffectiveMode(&client) == 2) return false;
  s.SendErrorMessage(client.Connection.get(), kDataSetUnassigned);
  return true;
}

// The kept queries of the client's persistent session, or none.
std::shared_ptr<TQueryList> KeptQueries(TVornServerSocket& s, TUserRecord& client) {
  const auto pool = s.Pool();
  return pool ? pool->QueriesOf(client.Connection.get()) : nullptr;
}

TKeptQuery FindKept(const std::shared_ptr<TQueryList>& queries, int32_t handle) {
  const auto kept = queries ? queries->Find(handle) : std::nullopt;
  if (!kept || !kept->DataSet) throw EDatabaseError("No open query " + std::to_string(handle) + " to read");
  return *kept;
}

void HandleNextPacket(TVornServerSocket& s, TUserRecord& client) {
  if (RefusedWithoutPersistentSession(s, client)) return;
  const auto queries = KeptQueries(s, client);
  TVornStringLine& line = client.Line;
  line.ReadInteger();
  const int32_t rows = line.ReadInteger();
  const auto options = static_cast<TVornSelectSQLOptionSet>(line.ReadInteger());
  const int32_t handle = line.RequestId();
  s.RunDatabaseWork(
      client.Connection.get(), ttSelect, TVornParamList(),
      [queries, rows, options, handle](TVornServerSocket& server, TVornThread& t, TComponent*, TComponent*) {
        const TKeptQuery kept = FindKept(queries, handle);
        TVornDBTools tools(t.Client->Connection.get(), &t, kept.DataSet);
        std::string text = tools.Rows(false, rows, options);
        if (!(options & soPackets)) kept.DataSet->Close();
        const bool compressed = TVornDBTools::Compress(text, options);
        int32_t state = -1;
        if (!kept.DataSet->Active() || kept.DataSet->Eof()) {
          queries->Release(handle, false);
          state = -2;
        }
        SendResultSet(server, *t.Client, state, text, compressed);
      },
      "", 0, false);
}

void HandleLocatePacket(TVornServerSocket& s, TUserRecord& client) {
  if (RefusedWithoutPersistentSession(s, client)) return;
  const auto queries = KeptQueries(s, client);
  TVornStringLine& line = client.Line;
  const int32_t handle = line.ReadInteger();
  const int32_t rows = line.ReadInteger();
  const auto options = static_cast<TVornSelectSQLOptionSet>(line.ReadInteger());
  const std::string keys = line.ReadString();
  s.RunDatabaseWork(
      client.Connection.get(), ttSelect, TVornParamList(),
      [queries, handle, rows, options, keys](TVornServerSocket& server, TVornThread& t, TComponent*, TComponent*) {
        const TKeptQuery kept = FindKept(queries, handle);
        TVornParamList list(keys, 0);
        TLocateOptions locateOptions = 0;
        if (TVornParamItem* lo = list.LookupParam("~LO")) {
          const int32_t bits = lo->AsInteger();
          if (bits & 1) locateOptions |= loCaseInsensitive;
          if (bits & 2) locateOptions |= loPartialKey;
          list.RemoveParam("~LO");
        }
        std::string fields;
        std::vector<Variant> values;
        for (int i = 0; i < list.Count(); ++i) {
          if (i) fields += ';';
          fields += list.Items(i).Name;
          values.push_back(list.Items(i).Value());
        }
        bool found = false;
        try {
          found = list.Count() > 0 && kept.DataSet->Locate(fields, values, locateOptions);
        } catch (const std::exception& e) {
          server.SendErrorMessage(t.Client->Connection.get(), e.what());
        }
        TVornDBTools tools(t.Client->Connection.get(), &t, kept.DataSet);
        std::string text = found ? tools.Rows(false, rows, options) : std::string("NULL") + kRowEnd;
        const bool compressed = TVornDBTools::Compress(text, options);
        SendResultSet(server, *t.Client, -1, text, compressed);
      },
      "", 0, false);
}

void HandlePacketQueryFree(TVornServerSocket& s, TUserRecord& client) {
  if (s.EffectiveMode(&client) != 2) return;  // ignored in other modes
  client.Line.ReadInteger();
  const bool closeOnly = client.Line.ReadInteger() != 0;
  if (const auto queries = KeptQueries(s, client)) queries->Release(client.Line.RequestId(), closeOnly);
}

// The server's DataSet, as the plug-in supplies it for a legacy read; none sends the error.
TDataSet* LegacyDataSet(TVornServerSocket& s, TUserRecord& client) {
  if (!s.DataSet) {
    s.SendErrorMessage(client.Connection.get(), kDataSetUnassigned);
    return nullptr;
  }
  auto* ds = dynamic_cast<TDataSet*>(SupplyQuery(s, nullptr, client.Connection.get(), ttSelect, "", s.DataSet));
  return ds ? ds : s.DataSet;
}

void HandleFieldDefs(TVornServerSocket& s, TUserRecord& client) {
  TDataSet* ds = LegacyDataSet(s, client);
  if (!ds) return;
  client.Line.ReadString();
  TVornDBTools tools(client.Connection.get(), nullptr, ds);
  SendFieldDefs(s, client, tools.FieldDefs());
}

void HandleResultSet(TVornServerSocket& s, TUserRecord& client) {
  TDataSet* ds = LegacyDataSet(s, client);
  if (!ds) return;
  client.Line.ReadString();
  TVornDBTools tools(client.Connection.get(), nullptr, ds);
  SendResultSet(s, client, 0, tools.AllRows(0), false);
}

// One blob value, as the plug-in fetches it, back with the request's table, field and client value.
struct BlobRequest {
  std::string Table, Field, Where, DataBaseStr;
  int32_t ClientValue = 0;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* query) const {
    std::string blob;
    s.OnFetchBlobEvent(to.Connection.get(), query, DataBaseStr, Table, Field, Where, blob);
    to.Line.ResetCursor();
    to.Line.SetToken(StreamRequest);
    to.Line.AddField(Table);
    to.Line.AddField(Field);
    to.Line.AddField(ClientValue);
    to.Line.AddField(blob);
    s.SendReply(&to);
    if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
  }
};

void HandleBlobFetch(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  BlobRequest r;
  r.Table = line.ReadString();
  r.Field = line.ReadString();
  r.Where = line.ReadString();
  r.ClientValue = line.ReadInteger();
  r.DataBaseStr = line.ReadString();
  if (!s.OnFetchBlobEvent) {
    s.SendErrorMessage(client.Connection.get(), "No Blob Fetch Event Assigned");
    return;
  }
  RunRequest(s, client, r, ttBlobFetch, r.DataBaseStr, 0, s.DataSet);
}

// One statement per line; blank lines are no statements.
std::vector<std::string> StatementLines(const std::string& text) {
  std::vector<std::string> out;
  for (std::string& line : SplitLines(text))
    if (!Trim(line).empty()) out.push_back(std::move(line));
  return out;
}

struct BatchRequest {
  std::string DataBaseStr, ParamsText, SQL;
  int32_t Rows = 0;
  TVornSelectSQLOptionSet Options = 0;

  void Run(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TComponent* query) const {
    TClientConnection* conn = to.Connection.get();
    TDataSet* ds = &RequireQuery(s, conn, query);
    TVornParamList perStatement(ParamsText, 0);
    TVornDataSet batch;
    batch.AddFastField("ID", ftInteger, 0);
    batch.AddFastField("SQL", ftMemo, 0);
    batch.AddFastField("DataSet", ftBlob, 0);
    batch.Open();
    const std::vector<std::string> statements = StatementLines(SQL);
    for (size_t i = 0; i < statements.size(); ++i) {
      TVornParamList params;
      if (static_cast<int>(i) < perStatement.Count()) params.LoadFromString(perStatement.Items(i).AsString(), 0);
      s.OnSubmitSQLParams(conn, ds, DataBaseStr, statements[i], params);
      batch.Append();
      batch.FieldByName("ID").SetAsInteger(static_cast<int32_t>(i + 1));
      batch.FieldByName("SQL").SetAsString(statements[i]);
      if (ds->Active()) {
        TVornDataSet rows;
        rows.CopyFromDataSet(*ds);
        batch.FieldByName("DataSet").SetAsString(rows.SaveToString());
        ds->Close();
      }
      batch.Post();
    }
    TVornDBTools tools(conn, thread, &batch);
    SendFieldDefs(s, to, tools.FieldDefs());
    std::string rows = tools.Rows(true, Rows, Options);
    const bool compressed = TVornDBTools::Compress(rows, Options);
    SendResultSet(s, to, 0, rows, compressed);
    if (thread && s.EffectiveMode(&to) == 1) s.ReleaseThreadSession(*thread);
  }
};

void HandleBatchSelect(TVornServerSocket& s, TUserRecord& client) {
  TVornStringLine& line = client.Line;
  BatchRequest r;
  const std::string field1 = line.ReadString();
  r.SQL = line.ReadString();
  r.Rows = line.ReadInteger();
  r.Options = static_cast<TVornSelectSQLOptionSet>(line.ReadInteger());
  const size_t tilde = field1.find('~');
  r.DataBaseStr = field1.substr(0, tilde);
  if (tilde != std::string::npos) r.ParamsText = field1.substr(tilde + 1);
  RunRequest(s, client, r, ttSelect, r.DataBaseStr, 0, s.DataSet);
}

}  // namespace

void SendText(TVornServerSocket& s, TUserRecord& to, uint8_t token, const std::string& text) {
  to.Line.ResetCursor();
  to.Line.SetToken(token);
  to.Line.AddField(text);
  s.SendReply(&to);
}

void SendRows(TVornServerSocket& s, TUserRecord& to, uint8_t token, int32_t state, const std::string& rows,
              bool compressed) {
  to.Line.ResetCursor();
  to.Line.SetToken(token);
  to.Line.AddField(state);
  to.Line.AddField(rows);
  to.Line.AddField(compressed ? 1 : 0);
  s.SendReply(&to);
}

TRowsReply BuildRowsReply(TVornServerSocket& s, TUserRecord& to, TVornThread* thread, TVornDBTools& tools,
                          int32_t rows, TVornSelectSQLOptionSet options) {
  TVornSelectSQLOptionSet runOptions = options;
  if (rows == -1) runOptions &= ~soPackets;
  TRowsReply reply;
  reply.Text = tools.Rows(false, rows, runOptions);
  if (tools.DataSet && !(runOptions & soPackets)) tools.DataSet->Close();
  reply.Compressed = TVornDBTools::Compress(reply.Text, runOptions);
  if (thread && tools.DataSet && (options & soPackets) && s.EffectiveMode(&to) == 2) {
    const auto pool = s.Pool();
    if (const auto queries = pool ? pool->QueriesOf(to.Connection.get()) : nullptr) {
      queries->Add({tools.DataSet, nullptr, to.Line.RequestId(), rows, false});
      thread->OwnsDataSet = false;  // the kept query owns it now
      reply.Handle = to.Line.RequestId();
    }
  }
  return reply;
}

void RegisterQueryRequests(TVornServerSocket& server) {
  OnToken(server, FieldDefs, HandleFieldDefs);
  OnToken(server, SQLSelect2, HandleSelect);
  OnToken(server, SQLResultSet, HandleResultSet);
  OnToken(server, StreamRequest, HandleBlobFetch);
  OnToken(server, SQLGetNextPacket, HandleNextPacket);
  OnToken(server, SQLPacketQueryFree, HandlePacketQueryFree);
  OnToken(server, ArgusSQL, HandleBatchSelect);
  OnToken(server, SQLGetNextPacketLocate, HandleLocatePacket);
}

}  // namespace qzt
