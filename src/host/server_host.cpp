#include "host/server_host.h"

#include "dbplugin/fibplus_plugin.h"
#include "platform/date_time.h"
#include "platform/environment.h"
#include "platform/text_encoding.h"
#include "services/data_services.h"

namespace qzt {

TServerHost::TServerHost(std::string programFolder) : folder_(std::move(programFolder)) {
  Server.ProgramFolder = folder_;
  Server.Port = 55200;
  Server.ThreadingModel = tmPooledSessions;
  Server.DataBaseSessions = 10;
  Server.DisconnectClientOnFailedLogin = true;
  Server.ThreadedCodedParamList = false;
  Server.VornServerName = "Vorn3FIBPlusServer";
  RegisterDataServices(Server);
  Server.OnShowServerMessage = [this](TVornServerSocket& s, const std::string& line) {
    if (s.LogEnabled) WriteLogLine(line);
  };
  // Every login that reaches the application is accepted.
  Server.OnClientAuthenticate = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                   const std::string&, TVornParamList&, bool& verified,
                                   TComponent*&) { verified = true; };
  // A persistent session: a new database module connected like the main one.
  Server.OnAssignPersistentSession = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                        TComponent*& session, bool& verified) {
    auto module = std::make_unique<TFIBDataModule>();
    const TpFIBDatabase& main = MainDataModule()->IBDatabase;
    module->IBDatabase.DBName = main.DBName;
    module->IBDatabase.UserName = main.UserName;
    module->IBDatabase.Password = main.Password;
    module->IBDatabase.Connect();
    session = module.release();
    verified = true;
  };
  Server.OnUserListchange = [](TVornServerSocket& s, TClientConnection& c, TUserRecordState state) {
    if (state == TuConnect) s.LogMessage(&c, "Connected: " + c.RemoteAddress());
    if (state == tuDisconnect) s.LogMessage(&c, "Disconnected: " + c.RemoteAddress());
  };
}

TServerHost::~TServerHost() {
  if (liveness_) liveness_->Close();
  if (Server.Active()) {
    Server.SetActive(false);
    DetachFirebirdPlugin(Server);
  }
}

void TServerHost::WriteLogLine(const std::string& line) {
  if (OnLogLine) OnLogLine(line);
}

void TServerHost::OpenLiveness() {
  Server.StartIoThread();
  liveness_ = std::make_unique<TLivenessListener>(Server.IoContext());
  liveness_->Open(static_cast<uint16_t>(Environment(folder_).ClientPort() + 1), Server.BindAddress);
}

bool TServerHost::ToggleServer() {
  if (Server.Active()) {
    Server.SetActive(false);
    Server.LogMessage(nullptr, Utf8ToCp949("서버가 중지됨 ") + DateTimeToStr(Now()));
    DetachFirebirdPlugin(Server);
    return false;
  }
  const EnvironmentSettings env = Environment(folder_);
  try {
    Server.Port = static_cast<uint16_t>(env.ClientPort());
    Server.LogEnabled = LogEnabled;
    Server.Compression = Compression ? acVornZLib : acNoCompression;
    if (!DesKey.empty()) Server.SetDESKey(DesKey);
    else Server.Encryption = etNoEncryption;
    if (const auto sessions = env.DBSession()) Server.DataBaseSessions = *sessions;
    Server.SetActive(true);
  } catch (const ESocketError& e) {
    WriteLogLine(Utf8ToCp949("소켓에러: ") + e.Message);
    return false;
  } catch (const std::exception& e) {
    WriteLogLine(Utf8ToCp949("일반에러") + ": " + e.what());
    return false;
  }
  bool attached = false;
  try {
    attached = AttachFirebirdPlugin(Server, folder_);
  } catch (const std::exception& e) {  // pool creation errors
    WriteLogLine(Utf8ToCp949("일반에러") + ": " + e.what());
  }
  if (!attached) {
    Server.SetActive(false);  // listening goes off again; the caller retries
    return false;
  }
  Server.LogMessage(nullptr, Utf8ToCp949("서버 시작됨 ") + DateTimeToStr(Now()));
  if (Server.Encryption != etNoEncryption) Server.LogMessage(nullptr, "Running Encrypted");
  Server.LogMessage(nullptr, "Using " + FirebirdPlugin()->ConnectionDescription());
  return true;
}

}  // namespace qzt
