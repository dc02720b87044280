// Fetching a URL into a file.
#pragma once

#include <string>

// Fetches `url` into `file_path`, creating missing parent directories first.
// True only when the URL's content has been stored at `file_path`: the fetch
// reported S_OK, the HTTP status (when there is one) is 2xx, and the stored
// file has the length the server announced (when it announced one). When
// the fetch reported S_OK but the check fails, the stored file is removed.
// An existing file is not removed before the fetch. Blocks until the
// transfer has ended, with no time limit and no retry; call it after COM is
// initialised.
bool DownloadToFile(const std::wstring& file_path, const std::wstring& url);
