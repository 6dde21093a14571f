// The message token vocabulary and the other enumerations of the wire codec.
#pragma once

#include <cstdint>

namespace qzt {

// Byte 0 of every message line.
enum TVornToken : uint8_t {
  Unknown = 0, FieldDefs = 1, SQLSelect = 2, SQLSelect2 = 3, SQLExec = 4, SQLResultSet = 5, SQLError = 6,
  ResultData = 7, ChatLine = 8, ChatPopup = 9, TableFieldDefs = 10, TableResultSet = 11, VornMessage = 12,
  BroadCast = 13, BroadCastPopUp = 14, UserCoded = 15, UserCodedStream = 16, LoginReq = 17, LoginGood = 18,
  LoginRetry = 19, UserDefined = 20, StreamSend = 21, StreamRequest = 22, MetaData = 23, Version = 24,
  KiInconnection = 25, FieldDefsToClient = 26, StoredProcedure = 27, UserCodedParamList = 28,
  ExecSQLParam = 29, StoredProcReturn = 30, Transaction = 31, PacketIdentifier = 32, SQLGetNextPacket = 33,
  SQLPacketQueryFree = 34, ReFetchedFields = 35, ClientDeltaPacket = 36, MsgReceipt = 37, ClientUpdate = 38,
  StageClientUpdate = 39, ProxyCreated = 40, ProxyDestroyed = 41, DelayAction = 42, VORNJava = 43,
  ProviderBroadCast = 44, ClientMultipleDeltaPackets = 45, ArgusSQL = 46, AnchorHandOff = 47,
  QuickUtilityInfo = 48, DiffieHellManOne = 49, CustomObject = 50, SQLGetNextPacketLocate = 51,
  ParameterizedTransactions = 52, VornPalm = 53, VornWinCE = 54, ProviderBroadCastPacket = 55,
  VornPDAParamList = 56, VornPDAStream = 57, VornPDAInternal = 58, VornPalmUpdateRequest = 59,
  VornPdaGetFileRequest = 60, ExpressWayProviders = 61, VornKeysExchange = 62, VornPDAKeysExchange = 63,
  AsyncException = 64, UserCodedDBParamList = 65, StatelessMessaging = 66, VornPDASendFile = 67,
  VornPDASendDB = 68, PersistentTransactionStart = 69, PersistentTransactionEnd = 70,
};
inline constexpr int TokenCount = 71;

enum TVornCompression : uint8_t { acNoCompression, acVornCompress, acUserDefined, acVornZLib };

enum TVornEncryption : uint8_t { etNoEncryption, etVornEncrypt, etUserDefined, etAESEncrypt, etDESEncrypt };

enum TAdminFeature : uint8_t {
  afAlias, afAutoUpdates, afTrustedAddresses, afUserLogin, afEncryption,
  afCompression, afRemoteControl, afAutoStart, afCustom, afMessageQueue,
};

}  // namespace qzt
