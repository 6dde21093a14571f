// qzt-cli: try a server from the command line. Connects (optionally with compression and a DES key),
// logs in, and runs selects, statements, procedures, table and field lists and packet fetches, printing
// rows as an aligned table, CSV or JSON.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "client/client.h"
#include "client/result_text.h"
#include "codec/transforms.h"
#include "platform/number_text.h"
#include "platform/text_encoding.h"

namespace {

using namespace qzt;
using namespace std::string_literals;

constexpr int32_t kFetchMemos = 1, kFetchBlobs = 2, kPackets = 4, kExecStoredProc = 128, kFetchBytes = 256;
constexpr int kMetaTables = 1, kMetaFields = 3, kMetaOffset = 99;

void Usage() {
  std::cout <<
      "usage: qzt-cli [options] COMMAND [ARGS]\n"
      "commands:\n"
      "  select SQL [NAME=VALUE ...]    run a select and print its rows\n"
      "  exec SQL [NAME=VALUE ...]      run a statement\n"
      "  proc NAME [NAME=VALUE|NAME=? ...]\n"
      "                                 call a stored procedure (NAME=? asks for an output parameter)\n"
      "  tables                         list the tables\n"
      "  fields TABLE                   list the fields of a table\n"
      "  packets SQL SIZE               fetch a select SIZE rows at a time (needs a persistent session)\n"
      "options:\n"
      "  --host HOST (127.0.0.1)  --port PORT (55200)  --zlib  --des KEY  --timeout MS (10000)\n"
      "  --user NAME  --password TEXT  --app NAME (qzt-cli)  --database TEXT\n"
      "  --rows N (all)  --no-procedure-rows  --format table|csv|json (table)\n";
}

struct Options {
  std::string Host = "127.0.0.1", User, Password, App = "qzt-cli", Database, Format = "table";
  uint16_t Port = 55200;
  QztClientOptions Client;
  int32_t Rows = -1;
  bool ProcedureRows = true;
  std::vector<std::string> Args;
};

std::string Display(const std::string& s) {
  try {
    return Cp949ToUtf8(s);
  } catch (const std::exception&) {
    return s;
  }
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The parameters NAME=VALUE (a number when it reads as one) and NAME=? (an output).
TVornParamList Parameters(const std::vector<std::string>& args, size_t from) {
  TVornParamList list;
  for (size_t i = from; i < args.size(); ++i) {
    const size_t eq = args[i].find('=');
    if (eq == std::string::npos || eq == 0) throw EClientError("Parameters are NAME=VALUE: " + args[i]);
    const std::string name = args[i].substr(0, eq), value = args[i].substr(eq + 1);
    int64_t n = 0;
    double d = 0;
    if (value == "?") list.NewParam(ftString, name, ptOutput);
    else if (TryStrToInt64(value, n)) list.AddTyped(name, ftLargeint, Variant(n));
    else if (TryStrToFloat(value, d)) list.AddTyped(name, ftFloat, Variant(d));
    else list.AddTyped(name, ftString, Variant(Utf8ToCp949(value)));
  }
  return list;
}

struct Table {
  std::vector<ResultColumn> Columns;
  std::vector<ResultRow> Rows;
};

std::string Cell(const ResultValue& v, const std::string& format) {
  if (v.Null || v.Absent) return format == "table" ? (v.Null ? "NULL" : "-") : "";
  if (v.Binary) return format == "table" ? "<" + std::to_string(v.Text.size()) + " bytes>" : Hex(v.Text);
  return Display(v.Text);
}

void Print(const Table& t, const std::string& format) {
  if (format == "json") {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const ResultRow& r : t.Rows) {
      nlohmann::ordered_json row = nlohmann::ordered_json::object();
      for (size_t i = 0; i < t.Columns.size(); ++i)
        row[Display(t.Columns[i].Name)] = r[i].Null || r[i].Absent ? nlohmann::ordered_json() : nlohmann::ordered_json(Cell(r[i], format));
      rows.push_back(std::move(row));
    }
    std::cout << rows.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
    return;
  }
  if (format == "csv") {
    const auto quote = [](const std::string& s) {
      if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
      std::string q = "\"";
      for (char c : s) q += c == '"' ? std::string("\"\"") : std::string(1, c);
      return q + "\"";
    };
    for (size_t i = 0; i < t.Columns.size(); ++i) std::cout << (i ? "," : "") << quote(Display(t.Columns[i].Name));
    std::cout << "\n";
    for (const ResultRow& r : t.Rows) {
      for (size_t i = 0; i < r.size(); ++i) std::cout << (i ? "," : "") << quote(Cell(r[i], format));
      std::cout << "\n";
    }
    return;
  }
  // An aligned table; widths are terminal columns: Hangul and CJK characters take two.
  const auto width = [](const std::string& s) {
    size_t w = 0;
    for (size_t i = 0; i < s.size();) {
      const auto b = static_cast<unsigned char>(s[i]);
      const size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      uint32_t cp = n == 1 ? b : b & (0x3F >> (n - 1));
      for (size_t k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
      const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                        (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                        (cp >= 0xFF00 && cp <= 0xFF60);
      w += wide ? 2 : 1;
      i += n;
    }
    return w;
  };
  std::vector<std::vector<std::string>> cells;
  std::vector<size_t> widths;
  for (const ResultColumn& c : t.Columns) widths.push_back(width(Display(c.Name)));
  for (const ResultRow& r : t.Rows) {
    std::vector<std::string> line;
    for (size_t i = 0; i < r.size(); ++i) {
      line.push_back(Cell(r[i], format));
      widths[i] = std::max(widths[i], width(line.back()));
    }
    cells.push_back(std::move(line));
  }
  const auto printLine = [&](const std::vector<std::string>& line) {
    for (size_t i = 0; i < line.size(); ++i)
      std::cout << (i ? " | " : "") << line[i] << std::string(widths[i] - width(line[i]), ' ');
    std::cout << "\n";
  };
  std::vector<std::string> header;
  for (const ResultColumn& c : t.Columns) header.push_back(Display(c.Name));
  printLine(header);
  for (size_t i = 0; i < widths.size(); ++i) std::cout << (i ? "-+-" : "") << std::string(widths[i], '-');
  std::cout << "\n";
  for (const auto& line : cells) printLine(line);
  std::cout << "(" << t.Rows.size() << (t.Rows.size() == 1 ? " row)\n" : " rows)\n");
}

class Session {
 public:
  explicit Session(const Options& o) : options_(o), client_(o.Client) {
    client_.Connect(o.Host, o.Port, o.Client.TimeoutMs);
    if (!o.User.empty() && !client_.Login(o.User, o.Password, o.App).Verified)
      throw EClientError("The server refused the login of " + o.User);
  }

  int32_t Send(uint8_t token, const std::vector<QztClient::LineField>& fields, int32_t id = 0) {
    return client_.SendFields(token, fields, id);
  }

  // The next reply with one of these tokens; an error reply raises its text.
  TVornStringLine Await(std::initializer_list<uint8_t> tokens) {
    for (;;) {
      TVornStringLine line;
      if (!client_.Receive(line)) throw EClientError("No reply from the server within the timeout");
      if (line.Token() == SQLError) {
        std::string text = line.ReadString();
        if (!text.empty() && (text[0] == '\x02' || text[0] == '\x04')) text = "some statements failed: " + text.substr(1);
        throw EClientError(Display(text));
      }
      if (std::find(tokens.begin(), tokens.end(), line.Token()) != tokens.end()) return line;
    }
  }

  // The field definitions (either token: a procedure on a worker thread answers FieldDefs, without one
  // TableFieldDefs) and the rows that follow; the rows reply starts with the state, or with the
  // compressed flag.
  Table Rows(uint8_t rowsToken, bool stateFirst, int32_t* state = nullptr) {
    Table t;
    TVornStringLine defs = Await({FieldDefs, TableFieldDefs});
    t.Columns = ParseFieldDefs(defs.ReadString());
    TVornStringLine rows = Await({rowsToken});
    std::string text;
    int32_t compressed = 0;
    if (stateFirst) {
      const int32_t s = rows.ReadInteger();
      if (state) *state = s;
      text = rows.ReadString();
      compressed = rows.ReadInteger();
    } else {
      compressed = rows.ReadInteger();
      text = rows.ReadString();
    }
    if (compressed == 1) text = ZDecompress(text);
    t.Rows = ParseRows(text, t.Columns);
    return t;
  }

  int Run() {
    const auto& a = options_.Args;
    const std::string command = a[0];
    const auto need = [&](size_t n) {
      if (a.size() < n) throw EClientError("'" + command + "' needs more arguments (see --help)");
    };
    const int32_t options = kFetchMemos | kFetchBlobs | kFetchBytes;
    if (command == "select") {
      need(2);
      Send(SQLSelect2, {Utf8ToCp949(a[1]), options_.Rows, options, Field4(Parameters(a, 2))});
      Print(Rows(SQLResultSet, true), options_.Format);
    } else if (command == "exec") {
      need(2);
      Send(ExecSQLParam, {Utf8ToCp949(a[1]), Parameters(a, 2).SaveToString(), options_.Database, ""s});
      std::cout << "OK " << Display(Await({SQLExec}).ReadString()) << "\n";
    } else if (command == "proc") {
      need(2);
      const int32_t procOptions = options | (options_.ProcedureRows ? 0 : kExecStoredProc);
      TVornParamList params = Parameters(a, 2);
      Send(StoredProcedure, {Utf8ToCp949(a[1]), params.SaveToString(), options_.Database, options_.Rows, procOptions});
      Table t = Rows(TableResultSet, true);
      if (options_.ProcedureRows) Print(t, options_.Format);
      if (params.Count() > 0) {
        TVornStringLine ret = Await({StoredProcReturn});
        ret.ReadInteger();
        TVornParamList out(ret.ReadString(), 0);
        Table o;
        o.Columns = {{"Parameter", ftString, 0}, {"Value", ftString, 0}};
        for (int i = 0; i < out.Count(); ++i) {
          ResultValue v;
          v.Null = out.Items(i).IsNull();
          v.Text = v.Null ? "" : out.Items(i).AsString();
          o.Rows.push_back({ResultValue{false, false, false, out.Items(i).Name}, v});
        }
        Print(o, options_.Format);
      }
    } else if (command == "tables" || command == "fields") {
      if (command == "fields") need(2);
      const int kind = command == "tables" ? kMetaTables : kMetaFields;
      Send(MetaData, {command == "fields" ? Utf8ToCp949(a[1]) : ""s, ""s, options_.Database, kind + kMetaOffset});
      Print(Rows(TableResultSet, false), options_.Format);
    } else if (command == "packets") {
      need(3);
      const int32_t size = static_cast<int32_t>(StrToInt64Def(a[2], 0));
      if (size < 1) throw EClientError("The packet size must be a positive number");
      Send(SQLSelect2, {Utf8ToCp949(a[1]), size, options | kPackets, Field4(TVornParamList())});
      int32_t handle = 0;
      Table all = Rows(SQLResultSet, true, &handle);
      int packets = 1;
      if (handle == 0) std::cerr << "qzt-cli: the server keeps no query open for this client: one packet only\n";
      for (int32_t state = -1; handle != 0 && state != -2; ++packets) {
        Send(SQLGetNextPacket, {0, size, options | kPackets}, handle);
        TVornStringLine reply = Await({SQLResultSet});
        state = reply.ReadInteger();
        std::string text = reply.ReadString();
        if (reply.ReadInteger() == 1) text = ZDecompress(text);
        for (ResultRow& r : ParseRows(text, all.Columns)) all.Rows.push_back(std::move(r));
      }
      Print(all, options_.Format);
      std::cerr << packets << " packets\n";
    } else {
      throw EClientError("Unknown command '" + command + "' (see --help)");
    }
    return 0;
  }

 private:
  // Field 4 of a select: the database string, then byte 5 and the parameters when there are any.
  std::string Field4(const TVornParamList& params) const {
    return params.Count() ? options_.Database + "\x05" + params.SaveToString() : options_.Database;
  }

  Options options_;
  QztClient client_;
};

Options ParseArguments(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw EClientError(a + " needs a value");
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      Usage();
      std::exit(0);
    } else if (a == "--host") {
      o.Host = value();
    } else if (a == "--port") {
      const int64_t p = StrToInt64Def(value(), -1);
      if (p < 1 || p > 65535) throw EClientError("--port needs a number from 1 to 65535");
      o.Port = static_cast<uint16_t>(p);
    } else if (a == "--zlib") {
      o.Client.Compression = acVornZLib;
    } else if (a == "--des") {
      o.Client.DesKey = value();
    } else if (a == "--timeout") {
      o.Client.TimeoutMs = static_cast<int>(std::max<int64_t>(1, StrToInt64Def(value(), 10000)));
    } else if (a == "--user") {
      o.User = value();
    } else if (a == "--password") {
      o.Password = value();
    } else if (a == "--app") {
      o.App = value();
    } else if (a == "--database") {
      o.Database = value();
    } else if (a == "--rows") {
      o.Rows = static_cast<int32_t>(StrToInt64Def(value(), -1));
    } else if (a == "--no-procedure-rows") {
      o.ProcedureRows = false;
    } else if (a == "--format") {
      o.Format = value();
      if (o.Format != "table" && o.Format != "csv" && o.Format != "json")
        throw EClientError("--format is table, csv or json");
    } else if (a.rfind("--", 0) == 0) {
      throw EClientError("Unknown option " + a + " (see --help)");
    } else {
      o.Args.push_back(a);
    }
  }
  if (o.Args.empty()) throw EClientError("No command given (see --help)");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    Options options = ParseArguments(argc, argv);
    Session session(options);
    return session.Run();
  } catch (const std::exception& e) {
    std::cerr << "qzt-cli: " << e.what() << "\n";
    return 1;
  }
}
