// Client side of the loopback test HTTP server (lark_http_server.py): where
// it listens, and its control endpoints for files, faults and the request
// log. Plain Winsock, so tests of the download library do not depend on the
// code they test.
#pragma once

#include <string>
#include <vector>

namespace larktest {

// Where the server answers as the stub configuration service (any query):
// stubconfiguration-<operatorId>.xml when stored, else stubconfiguration.xml.
const char kStubConfigurationPath[] = "/packaging/services/spi/stubconfiguration";

struct HttpLogEntry {
  std::string method;
  std::string target;  // path and query as requested
  int status = 0;
  long long bytesSent = 0;
  std::string range;              // the Range header, empty when absent
  std::string ifUnmodifiedSince;  // the If-Unmodified-Since header
  std::vector<std::string> headers;  // "Name: value"
};

class TestHttpServer {
 public:
  // The server's port from its state folder ($LARK_HTTP_STATE, else
  // <build>\httpserver); 0 when it is not running.
  static int Port();
  // http://127.0.0.1:<port>/f/<name>
  static std::wstring Url(const std::wstring& name);
  // Stores bytes as /f/<name>; a replaced file gets a newer Last-Modified.
  static bool PutFile(const std::wstring& name, const std::string& bytes);
  // Queues a fault, e.g. AddFault(L"x.bin", "kind=cut&after=1000").
  static bool AddFault(const std::wstring& name, const std::string& query);
  static bool ClearFaults(const std::wstring& name);
  // Requests made for /f/<name>, oldest first.
  static std::vector<HttpLogEntry> Log(const std::wstring& name);
  // Requests made for any path, e.g. kStubConfigurationPath (query left out).
  static std::vector<HttpLogEntry> LogOfPath(const std::string& urlPath);
  // Raw request to the server; the status code, or -1 when it was not
  // reached. body receives the answer's body.
  static int Request(const std::string& method, const std::string& target, const std::string& payload,
                     std::string* body);
};

// Deterministic pseudo-random bytes for test files.
std::string TestBytes(size_t size, unsigned seed);

}  // namespace larktest
