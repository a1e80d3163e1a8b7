// Event shapes shared by the transfer engines (Zmodem, X/Ymodem) and the
// application's handlers. An empty std::function means nobody listens.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// Bytes transferred so far of FileName; Total is 0 when the size is unknown.
using TTransferProgressEvent =
    std::function<void(const std::string& fileName, int64_t done, int64_t total)>;
// A file finished (ok) or failed; an empty name marks the end of a Ymodem batch.
using TTransferDoneEvent = std::function<void(const std::string& nameOrMessage, bool ok)>;
using TTransferFileEvent = std::function<void(const std::string& fileName)>;
using TTransferNotifyEvent = std::function<void()>;
// Asked before a download is stored: true when the path (in the receive
// folder) is one of the program's own files or folders, which no download
// may touch.
using TProgramPathCheck = std::function<bool(const std::string& path)>;
