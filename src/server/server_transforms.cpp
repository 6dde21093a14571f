// The four packet transforms of the server socket, over the codec's primitives.
#include "platform/text_encoding.h"
#include "server/server_socket.h"

namespace qzt {

bool TVornServerSocket::CompressMessage(std::string& data, TUserRecord* client) {
  TClientConnection* conn = client ? client->Connection.get() : nullptr;
  try {
    switch (Compression) {
      case acNoCompression: return true;
      case acVornCompress: throw EUserDefinedEncCom("NO more lzh compression. use VornZLib or add it using User defined");
      case acUserDefined:
        if (!OnCompress)
          throw EUserDefinedEncCom(
              "The Application is set for UserDefined Compression, but there is no code assigned to the OnCompress "
              "event handler");
        OnCompress(*this, client, data);
        return true;
      case acVornZLib: data = ZCompress(data, 1); return true;
    }
    return true;
  } catch (const std::exception& e) {
    LogMessage(conn, e.what());
    DisconnectClient(conn);
    return false;
  }
}

void TVornServerSocket::EncryptMessage(std::string& data, TUserRecord* client) {
  switch (Encryption) {
    case etNoEncryption:
    case etAESEncrypt: break;
    case etVornEncrypt: ShiftEncrypt(data); break;
    case etUserDefined:
      if (client && client->UserEncryption && OnUserEncryption) {
        OnUserEncryption(*this, client, true, data);
        break;
      }
      if (!OnEncrypt)
        throw EUserDefinedEncCom(
            "You have selected UserDefined Encryption, but you have not assinged the OnEncrypt event handler.");
      OnEncrypt(*this, client, data);
      break;
    case etDESEncrypt:
      if (client && client->OwnDesKey) data = DesEncryptPacket(*client->OwnDesKey, data);
      else if (const auto key = DesKeyNow()) data = DesEncryptPacket(*key, data);
      else throw EDESError("DES key not set");
      break;
  }
}

bool TVornServerSocket::DecryptMessage(std::string& data, TUserRecord* client) {
  TClientConnection* conn = client ? client->Connection.get() : nullptr;
  try {
    switch (Encryption) {
      case etNoEncryption:
      case etAESEncrypt: break;
      case etVornEncrypt: ShiftDecrypt(data); break;
      case etUserDefined:
        if (client && client->UserEncryption && OnUserEncryption) {
          OnUserEncryption(*this, client, false, data);
          break;
        }
        if (!OnDecrypt)
          throw EUserDefinedEncCom(
              "You have selected UserDefined Encryption, but you have not assinged the OnDecrypt event handler.");
        OnDecrypt(*this, client, data);
        break;
      case etDESEncrypt:
        if (client && client->OwnDesKey) {
          data = DesDecryptPacket(*client->OwnDesKey, data);
        } else if (const auto key = DesKeyNow()) {
          data = DesDecryptPacket(*key, data);
        } else {
          LogMessage(conn, "DES key not set");
          throw EDESError("DES key not set");
        }
        break;
    }
    return true;
  } catch (const std::exception&) {
    LogMessage(conn, "Decryption Failure...client will be disconnected");
    DisconnectClient(conn);
    return false;
  }
}

bool TVornServerSocket::DecompressMessage(std::string& data, TUserRecord* client) {
  TClientConnection* conn = client ? client->Connection.get() : nullptr;
  try {
    switch (Compression) {
      case acNoCompression: return true;
      case acVornCompress: throw EUserDefinedEncCom("Vorn Lzh not supported. use VornZLib or userdefined");
      case acUserDefined:
        if (!OnDecompress)
          throw EUserDefinedEncCom(
              "The Application is set for UserDefined Compression, but there is no code assigned to the "
              "OnDecompress event handler.");
        OnDecompress(*this, client, data);
        return true;
      case acVornZLib:
        // An inflated message is held to the frame limit: a small frame may not expand without bound.
        data = ZDecompress(data, MaxFrameLength);
        return true;
    }
    return true;
  } catch (const std::exception& e) {
    LogMessage(conn, e.what());
    DisconnectClient(conn);
    return false;
  }
}

}  // namespace qzt
