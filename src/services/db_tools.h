// TVornDBTools: the two texts every result leaves the server in. The field-definition text describes the
// fields of an open dataset; the row text carries a run of its rows, each value encoded by its field type.
// One instance is made per reply.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/connection.h"
#include "platform/dataset.h"
#include "server/database_events.h"

namespace qzt {

class TVornThread;

// Select options, bit n for the option of ordinal n.
inline constexpr TVornSelectSQLOptionSet soFetchMemos = 1, soFetchBlobs = 2, soPackets = 4, soFieldProperties = 8,
                                         soArgusSQL = 16, soCompress = 32, soIgnoreAutoIncrement = 64,
                                         soExecStoredProc = 128, soFetchBytes = 256, soDelayed = 512,
                                         soForceChange = 1024, soNoWait = 2048, soForceProviderBlobs = 4096;

// Marker bytes of the two texts.
inline constexpr char kFieldEnd = '\x02', kNullValue = '\x03', kRowEnd = '\x04', kDoubleValue = '\x05',
                      kLengthValue = '\x06', kFmtBcdValue = '\x07', kBcdValue = '\x08';
inline constexpr int32_t kMaxRowsPerRun = 2500000;

class TVornDBTools {
 public:
  TVornDBTools(TClientConnection* client, TVornThread* thread, TDataSet* dataSet)
      : Client(client), Thread(thread), DataSet(dataSet) {}

  TClientConnection* Client;
  TVornThread* Thread;
  TDataSet* DataSet;
  TVornSelectSQLOptionSet Options = 0;  // of the last row run
  bool Error = false;
  std::string ErrorText;
  std::string Result;  // the text of the last operation

  // Field definitions of the dataset in its current state ("" without fields).
  const std::string& FieldDefs();
  // Runs `query` (which opens the dataset), then builds the field definitions.
  const std::string& RunQuery(const std::function<void()>& query);
  // At most `count` rows (-1: all, up to kMaxRowsPerRun) from the first row or from the current one;
  // "NULL" and the row end when no row is sent. The cursor stays on the row after the last one sent.
  const std::string& Rows(bool fromFirst, int32_t count, TVornSelectSQLOptionSet options);
  const std::string& AllRows(TVornSelectSQLOptionSet options) { return Rows(true, -1, options); }
  // Replaces `text` by its zlib compression when the options ask for it; true when it did.
  static bool Compress(std::string& text, TVornSelectSQLOptionSet options);

  // One value of the row text, appended to `out`.
  static void AppendValue(std::string& out, const TField& field, TVornSelectSQLOptionSet options);

 private:
  bool Terminated() const;
};

}  // namespace qzt
