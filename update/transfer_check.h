// What a fetch through URLDownloadToFileW really delivered. Its own result is
// not enough: some implementations report S_OK for an HTTP error status and
// for a connection that ended before the announced length, which would leave
// an error page or a truncated program at the target path.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <string>

// The "Content-Length" of a block of response headers ("Name: value" lines
// separated by CRLF or LF; the status line, if any, is skipped), or -1 when
// there is none or its value is not a plain decimal number.
int64_t ContentLengthOf(const std::wstring& headers);

// True when the headers name a content coding other than "identity": the
// announced length then counts the coded bytes, not the stored ones.
bool HasContentCoding(const std::wstring& headers);

// What the transfer announced; -1 / 0 where nothing was learnt.
struct TransferFacts {
  DWORD http_status = 0;          // 0: no HTTP response seen (file:, refused, ...)
  int64_t announced_length = -1;  // -1: no length announced
};

// The verdict: the fetch returned S_OK, a known HTTP status is 2xx, and a
// known announced length is the stored file's size.
bool TransferComplete(HRESULT fetch_result, const TransferFacts& facts, int64_t stored_size);

// The status callback handed to URLDownloadToFileW. It changes nothing about
// the transfer; it only records the HTTP status and the announced length.
//
// It lives on the caller's stack: the fetch is synchronous and releases every
// reference it took before it returns, so reference counting never frees it.
class TransferWatch final : public IBindStatusCallback, public IHttpNegotiate {
 public:
  TransferWatch() = default;
  TransferWatch(const TransferWatch&) = delete;
  TransferWatch& operator=(const TransferWatch&) = delete;

  const TransferFacts& facts() const { return facts_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IBindStatusCallback
  HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD reserved, IBinding* binding) override;
  HRESULT STDMETHODCALLTYPE GetPriority(LONG* priority) override;
  HRESULT STDMETHODCALLTYPE OnLowResource(DWORD reserved) override;
  HRESULT STDMETHODCALLTYPE OnProgress(ULONG progress, ULONG progress_max, ULONG status_code,
                                       LPCWSTR status_text) override;
  HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT result, LPCWSTR error) override;
  HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD* flags, BINDINFO* info) override;
  HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD flags, DWORD size, FORMATETC* format,
                                            STGMEDIUM* medium) override;
  HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID riid, IUnknown* object) override;

  // IHttpNegotiate
  HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR url, LPCWSTR headers, DWORD reserved,
                                                 LPWSTR* additional_headers) override;
  HRESULT STDMETHODCALLTYPE OnResponse(DWORD status, LPCWSTR response_headers,
                                       LPCWSTR request_headers,
                                       LPWSTR* additional_request_headers) override;

 private:
  LONG references_ = 1;
  TransferFacts facts_;
  bool header_length_seen_ = false;  // OnResponse's headers outrank the progress figures
  bool coded_ = false;
};
