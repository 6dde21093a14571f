// Metadata requests: what the database holds (asked of the plug-in, which leaves its answer in the
// server's MetaDataSet), the user lists, and the server's own catalogues of datasets, providers and
// server methods (empty until data modules with such objects are registered).
#include "dataset/vorn_dataset.h"
#include "services/data_services.h"
#include "services/db_tools.h"
#include "services/request_runner.h"

namespace qzt {

namespace {

constexpr int kMetaDataOffset = 99;  // field 4 carries the kind's ordinal plus 99

std::unique_ptr<TVornDataSet> NewDataSet(std::initializer_list<std::tuple<const char*, TFieldType, int32_t>> fields) {
  auto ds = std::make_unique<TVornDataSet>();
  for (const auto& [name, type, size] : fields) ds->AddFastField(name, type, size);
  ds->Open();
  return ds;
}

}  // namespace

// The server's catalogues of its registered objects.
struct TServerCatalogues {
  std::unique_ptr<TVornDataSet> ServerDataSets =
      NewDataSet({{"Data Module", ftString, 60}, {"DataSet", ftString, 60}, {"Class", ftString, 60}});
  std::unique_ptr<TVornDataSet> Providers =
      NewDataSet({{"Data Module", ftString, 60}, {"Provider", ftString, 60}, {"Fetch Server Values", ftBoolean, 0},
                  {"UpdateTableName", ftString, 60}, {"BroadcastsToOrignalClient", ftBoolean, 0}});
  std::unique_ptr<TVornDataSet> ServerMethods =
      NewDataSet({{"Data Module", ftString, 60}, {"Method", ftString, 60}, {"Params", ftInteger, 0},
                  {"Description", ftMemo, 0}, {"SoapService", ftBoolean, 0}, {"ParamList", ftBlob, 0}});
};

namespace {

void SendMetaAnswer(TVornServerSocket& s, TUserRecord& client, TDataSet& answer) {
  if (!answer.Active()) answer.Open();
  TVornDBTools tools(client.Connection.get(), nullptr, &answer);
  SendText(s, client, TableFieldDefs, tools.FieldDefs());
  std::string rows = tools.Rows(true, -1, soFetchMemos | soFetchBlobs);
  client.Line.ResetCursor();
  client.Line.SetToken(TableResultSet);
  client.Line.AddField(0);  // the options of these kinds never ask for compression
  client.Line.AddField(rows);
  s.SendReply(&client);
}

void HandleMetaData(TVornServerSocket& s, TUserRecord& client, TServerCatalogues& catalogues) {
  TVornStringLine& line = client.Line;
  const std::string arg1 = line.ReadString(), arg2 = line.ReadString(), db = line.ReadString();
  const int kind = line.ReadInteger() - kMetaDataOffset;
  if (kind < mdNormalQuery || kind > mdStatelessUserList) return;
  TClientConnection* conn = client.Connection.get();
  TDataSet* answer = nullptr;
  std::unique_ptr<TVornDataSet> made;  // an answer made for this request
  switch (kind) {
    case mdServerDataSets:
      catalogues.ServerDataSets->Filtered = false;
      answer = catalogues.ServerDataSets.get();
      break;
    case mdCustomDataSets:
      break;  // no custom datasets are registered
    case mdBusinessObjects:
      if (!arg1.empty()) {
        bool allow = true;
        if (s.OnBeforeServerMethod) s.OnBeforeServerMethod(client, arg1, allow);
        if (!allow) {
          s.SendErrorMessage(conn, "Requested Server Method Not Allowed");
          return;
        }
        break;  // no server methods are registered
      }
      answer = catalogues.ServerMethods.get();
      break;
    case mdProviders:
      if (!arg2.empty()) {
        s.SendErrorMessage(conn, "No Server DataSet defined for " + arg2);
        return;
      }
      answer = catalogues.Providers.get();
      break;
    case mdBusObjectParams: case mdProviderParams: case mdProviderPrimeFields:
    case mdProviderPrimeFieldsFromBizObject:
      made = NewDataSet({{"Junk", ftString, 25}});  // no parameter information is registered
      break;
    case mdProviderUpdateTables:
      made = std::make_unique<TVornDataSet>();
      made->CopyFromDataSet(*catalogues.Providers);
      break;
    case mdUserList: case mdStatelessUserList:
      made = std::make_unique<TVornDataSet>();
      made->LoadFromStreamWithFields(s.UserListStream(&client));
      break;
    case mdAliasedBizObjectMethods:
      made = NewDataSet({{"Alias", ftString, 75}, {"ServerMethod", ftString, 100}});
      break;
    default:
      if (!s.MetaDataSet) {
        s.SendErrorMessage(conn, "Server Problem: VornServer.MetaData Property is unassigned.");
        return;
      }
      if (s.OnFetchMetaData) s.OnFetchMetaData(conn, kind, db, arg1, arg2);
      answer = s.MetaDataSet;
  }
  if (made) answer = made.get();
  if (!answer) {
    s.SendErrorMessage(conn, "No DataSet defined!");
    return;
  }
  SendMetaAnswer(s, client, *answer);
}

void HandleTableFieldDefs(TVornServerSocket& s, TUserRecord& client) {
  if (!s.MetaDataSet) return;
  if (!s.MetaDataSet->Active()) s.MetaDataSet->Open();
  TVornDBTools tools(client.Connection.get(), nullptr, s.MetaDataSet);
  SendText(s, client, TableFieldDefs, tools.FieldDefs());
}

}  // namespace

void RegisterMetaDataRequests(TVornServerSocket& server) {
  TVornServerSocket* s = &server;
  auto catalogues = std::make_shared<TServerCatalogues>();
  server.SetTokenHandler(MetaData, [s, catalogues](TUserRecord& client) { HandleMetaData(*s, client, *catalogues); });
  server.SetTokenHandler(TableFieldDefs, [s](TUserRecord& client) { HandleTableFieldDefs(*s, client); });
}

}  // namespace qzt
