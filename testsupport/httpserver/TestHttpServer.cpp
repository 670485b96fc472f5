#include "testsupport/httpserver/TestHttpServer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <sstream>

#include "testsupport/TestEnv.h"

namespace larktest {

namespace {

std::wstring StateDir() {
  std::wstring state = GetEnv(L"LARK_HTTP_STATE");
  if (!state.empty()) return UnixToWindowsPath(state);
  return BinaryDir() + L"\\httpserver";
}

std::string UrlPath(const std::wstring& name) { return "/f/" + Narrow(name); }

bool EnsureWinsock() {
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

}  // namespace

int TestHttpServer::Port() {
  std::string text;
  if (!ReadFileBytes(StateDir() + L"\\port", text)) return 0;
  return atoi(text.c_str());
}

std::wstring TestHttpServer::Url(const std::wstring& name) {
  return L"http://127.0.0.1:" + std::to_wstring(Port()) + L"/f/" + name;
}

int TestHttpServer::Request(const std::string& method, const std::string& target, const std::string& payload,
                            std::string* body) {
  int port = Port();
  if (port == 0 || !EnsureWinsock()) return -1;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return -1;
  sockaddr_in addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    closesocket(s);
    return -1;
  }
  std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                        "Content-Length: " + std::to_string(payload.size()) + "\r\n\r\n" + payload;
  size_t off = 0;
  while (off < request.size()) {
    int n = send(s, request.data() + off, static_cast<int>(request.size() - off), 0);
    if (n <= 0) break;
    off += static_cast<size_t>(n);
  }
  std::string answer;
  char buffer[65536];
  for (;;) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    answer.append(buffer, static_cast<size_t>(n));
  }
  closesocket(s);
  size_t headEnd = answer.find("\r\n\r\n");
  if (answer.compare(0, 5, "HTTP/") != 0 || headEnd == std::string::npos) return -1;
  if (body) *body = answer.substr(headEnd + 4);
  return atoi(answer.c_str() + answer.find(' ') + 1);
}

bool TestHttpServer::PutFile(const std::wstring& name, const std::string& bytes) {
  return Request("PUT", "/_ctl/file/" + Narrow(name), bytes, nullptr) == 200;
}

bool TestHttpServer::AddFault(const std::wstring& name, const std::string& query) {
  return Request("POST", "/_ctl/fault?path=" + UrlPath(name) + "&" + query, "", nullptr) == 200;
}

bool TestHttpServer::ClearFaults(const std::wstring& name) {
  return Request("POST", "/_ctl/clear?path=" + UrlPath(name), "", nullptr) == 200;
}

std::vector<HttpLogEntry> TestHttpServer::Log(const std::wstring& name) { return LogOfPath(UrlPath(name)); }

std::vector<HttpLogEntry> TestHttpServer::LogOfPath(const std::string& urlPath) {
  std::vector<HttpLogEntry> entries;
  std::string text;
  if (Request("GET", "/_ctl/log?path=" + urlPath, "", &text) != 200) return entries;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
      size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() < 6) continue;
    HttpLogEntry e;
    e.method = fields[0];
    e.target = fields[1];
    e.status = atoi(fields[2].c_str());
    e.bytesSent = atoll(fields[3].c_str());
    e.range = fields[4];
    e.ifUnmodifiedSince = fields[5];
    e.headers.assign(fields.begin() + 6, fields.end());
    entries.push_back(e);
  }
  return entries;
}

std::string TestBytes(size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x >> 24);
  }
  return bytes;
}

}  // namespace larktest
