#include "transfer_check.h"

#include <cwctype>

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Calls visit(name, value) for every "Name: value" line after the first
// line when that is a status line; names and values come trimmed.
template <typename Visit>
void ForEachHeader(const std::wstring& headers, Visit visit) {
  size_t start = 0;
  bool first = true;
  while (start < headers.size()) {
    size_t end = headers.find(L'\n', start);
    if (end == std::wstring::npos) end = headers.size();
    std::wstring line = headers.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    const bool status_line = first && line.compare(0, 5, L"HTTP/") == 0;
    first = false;
    if (status_line) continue;
    const size_t colon = line.find(L':');
    if (colon == std::wstring::npos) continue;
    size_t name_end = colon;
    while (name_end > 0 && IsBlank(line[name_end - 1])) --name_end;
    size_t value_start = colon + 1;
    while (value_start < line.size() && IsBlank(line[value_start])) ++value_start;
    size_t value_end = line.size();
    while (value_end > value_start && IsBlank(line[value_end - 1])) --value_end;
    visit(line.substr(0, name_end), line.substr(value_start, value_end - value_start));
  }
}

bool SameName(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && !b[i];
}

}  // namespace

int64_t ContentLengthOf(const std::wstring& headers) {
  int64_t length = -1;
  bool conflicting = false;
  ForEachHeader(headers, [&](const std::wstring& name, const std::wstring& value) {
    if (!SameName(name, L"Content-Length")) return;
    int64_t parsed = 0;
    bool valid = !value.empty() && value.size() <= 18;  // no overflow below 10^18
    for (wchar_t c : value) {
      if (c < L'0' || c > L'9') {
        valid = false;
        break;
      }
      parsed = parsed * 10 + (c - L'0');
    }
    if (!valid || (length >= 0 && parsed != length)) conflicting = true;
    length = parsed;
  });
  return conflicting ? -1 : length;
}

bool HasContentCoding(const std::wstring& headers) {
  bool coded = false;
  ForEachHeader(headers, [&](const std::wstring& name, const std::wstring& value) {
    if (SameName(name, L"Content-Encoding") && !value.empty() && !SameName(value, L"identity"))
      coded = true;
  });
  return coded;
}

bool TransferComplete(HRESULT fetch_result, const TransferFacts& facts, int64_t stored_size) {
  if (fetch_result != S_OK) return false;
  if (facts.http_status != 0 && (facts.http_status < 200 || facts.http_status > 299)) return false;
  if (facts.announced_length >= 0 && stored_size != facts.announced_length) return false;
  return true;
}

HRESULT TransferWatch::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
    *object = static_cast<IBindStatusCallback*>(this);
  } else if (IsEqualIID(riid, IID_IHttpNegotiate)) {
    *object = static_cast<IHttpNegotiate*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TransferWatch::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG TransferWatch::Release() { return static_cast<ULONG>(InterlockedDecrement(&references_)); }

HRESULT TransferWatch::OnStartBinding(DWORD, IBinding*) { return S_OK; }

HRESULT TransferWatch::GetPriority(LONG*) { return E_NOTIMPL; }

HRESULT TransferWatch::OnLowResource(DWORD) { return S_OK; }

HRESULT TransferWatch::OnProgress(ULONG, ULONG progress_max, ULONG status_code, LPCWSTR) {
  // Without response headers (a file: URL, or a protocol that skips
  // OnResponse) the final progress maximum is the only announced length.
  if (status_code == BINDSTATUS_ENDDOWNLOADDATA && !header_length_seen_ && !coded_ &&
      progress_max > 0) {
    facts_.announced_length = progress_max;
  }
  return S_OK;
}

HRESULT TransferWatch::OnStopBinding(HRESULT, LPCWSTR) { return S_OK; }

// Leaves the bind options as the fetch set them.
HRESULT TransferWatch::GetBindInfo(DWORD*, BINDINFO*) { return S_OK; }

HRESULT TransferWatch::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }

HRESULT TransferWatch::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

HRESULT TransferWatch::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additional_headers) {
  if (additional_headers) *additional_headers = nullptr;
  return S_OK;
}

HRESULT TransferWatch::OnResponse(DWORD status, LPCWSTR response_headers, LPCWSTR,
                                  LPWSTR* additional_request_headers) {
  if (additional_request_headers) *additional_request_headers = nullptr;
  // After a redirect the last response is the one whose body is stored.
  facts_.http_status = status;
  facts_.announced_length = -1;
  header_length_seen_ = false;
  coded_ = false;
  if (response_headers) {
    const std::wstring headers = response_headers;
    coded_ = HasContentCoding(headers);
    const int64_t length = ContentLengthOf(headers);
    if (!coded_ && length >= 0) {
      facts_.announced_length = length;
      header_length_seen_ = true;
    }
  }
  return S_OK;
}
