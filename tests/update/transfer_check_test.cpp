// The verdict on a finished fetch, and the headers it is drawn from.
#include <doctest/doctest.h>

#include <string>

#include "transfer_check.h"

TEST_CASE("ContentLengthOf and HasContentCoding read the response headers") {
  struct Row {
    const char* name;
    std::wstring headers;
    int64_t length;
    bool coded;
  };
  const Row rows[] = {
      {"status line and CRLF", L"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n", 1234, false},
      {"LF only, no status line", L"Content-Type: x\nContent-Length: 7\n", 7, false},
      {"name in any case, blanks around", L"HTTP/1.0 200 OK\r\ncontent-LENGTH :\t 42 \r\n", 42,
       false},
      {"zero", L"Content-Length: 0\r\n", 0, false},
      {"past 4 GB", L"Content-Length: 5000000000\r\n", 5000000000LL, false},
      {"absent", L"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n", -1, false},
      {"empty headers", L"", -1, false},
      {"not a number", L"Content-Length: ten\r\n", -1, false},
      {"negative", L"Content-Length: -5\r\n", -1, false},
      {"empty value", L"Content-Length:\r\n", -1, false},
      {"too long to be real", L"Content-Length: 99999999999999999999999\r\n", -1, false},
      {"two that agree", L"Content-Length: 9\r\nContent-Length: 9\r\n", 9, false},
      {"two that disagree", L"Content-Length: 9\r\nContent-Length: 10\r\n", -1, false},
      {"a name that only starts alike", L"Content-Length-Extra: 5\r\n", -1, false},
      {"gzip", L"Content-Encoding: gzip\r\nContent-Length: 30\r\n", 30, true},
      {"identity is no coding", L"Content-Encoding: Identity\r\nContent-Length: 30\r\n", 30,
       false},
  };
  for (const Row& row : rows) {
    const std::string name = row.name;
    CAPTURE(name);
    CHECK(ContentLengthOf(row.headers) == row.length);
    CHECK(HasContentCoding(row.headers) == row.coded);
  }
}

TEST_CASE("TransferComplete") {
  struct Row {
    const char* name;
    HRESULT result;
    DWORD status;
    int64_t announced;
    int64_t stored;
    bool complete;
  };
  const Row rows[] = {
      {"200, whole", S_OK, 200, 100, 100, true},
      {"204, empty", S_OK, 204, 0, 0, true},
      {"200, no length announced", S_OK, 200, -1, 100, true},
      {"no HTTP (file:), length known", S_OK, 0, 100, 100, true},
      {"no HTTP, nothing known", S_OK, 0, -1, 5, true},
      {"fetch failed", E_FAIL, 200, 100, 100, false},
      {"another success code", S_FALSE, 200, 100, 100, false},
      {"404", S_OK, 404, 10, 10, false},
      {"500", S_OK, 500, 10, 10, false},
      {"199", S_OK, 199, 10, 10, false},
      {"300", S_OK, 300, 10, 10, false},
      {"short by one", S_OK, 200, 100, 99, false},
      {"nothing stored", S_OK, 200, 100, 0, false},
      {"file missing", S_OK, 200, 100, -1, false},
      {"longer than announced", S_OK, 200, 100, 101, false},
  };
  for (const Row& row : rows) {
    const std::string name = row.name;
    CAPTURE(name);
    TransferFacts facts;
    facts.http_status = row.status;
    facts.announced_length = row.announced;
    CHECK(TransferComplete(row.result, facts, row.stored) == row.complete);
  }
}

TEST_CASE("TransferWatch keeps the last response's facts") {
  TransferWatch watch;
  wchar_t* extra = reinterpret_cast<wchar_t*>(1);
  watch.OnResponse(301, L"HTTP/1.1 301 Moved\r\nContent-Length: 12\r\n", nullptr, &extra);
  CHECK(extra == nullptr);
  watch.OnResponse(200, L"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n", nullptr, nullptr);
  // A progress maximum does not overrule the announced header.
  watch.OnProgress(4000, 4000, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
  CHECK(watch.facts().http_status == 200);
  CHECK(watch.facts().announced_length == 5000);

  TransferWatch coded;
  coded.OnResponse(200, L"Content-Encoding: gzip\r\nContent-Length: 30\r\n", nullptr, nullptr);
  coded.OnProgress(90, 90, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
  CHECK(coded.facts().announced_length == -1);

  TransferWatch no_http;
  no_http.OnProgress(10, 300, BINDSTATUS_DOWNLOADINGDATA, nullptr);
  CHECK(no_http.facts().announced_length == -1);
  no_http.OnProgress(300, 300, BINDSTATUS_ENDDOWNLOADDATA, nullptr);
  CHECK(no_http.facts().announced_length == 300);
  CHECK(no_http.facts().http_status == 0);

  void* object = nullptr;
  CHECK(watch.QueryInterface(IID_IHttpNegotiate, &object) == S_OK);
  CHECK(object == static_cast<IHttpNegotiate*>(&watch));
  static_cast<IUnknown*>(object)->Release();
  CHECK(watch.QueryInterface(IID_IStream, &object) == E_NOINTERFACE);
  CHECK(object == nullptr);
}
