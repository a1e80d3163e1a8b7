// Call capture: records a call as a raw ".ans" file holding every byte the
// board sent, exactly as delivered, and a ".log" text file of time-stamped
// notes (start, progress every minute, stop). Process-wide, at most one
// capture at a time; interface thread only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Tick.h"

// Stops a running capture, then opens Folder/<stem>_yyyymmdd_hhnnss.ans and
// .log (Folder empty: "captures"; created with its parents). When files of
// that name exist, "_2", "_3" and so on is added, so an earlier capture is
// never overwritten. Path is the .ans path, or empty on failure.
void StartCapture(const std::string& folder, const std::string& host, std::string& path);
// Appends Count bytes to the .ans file and writes a progress line when one
// is due. A write error is logged and ends the capture.
void CaptureWrite(const uint8_t* data, size_t count);
void StopCapture();
bool CaptureActive();
// The current capture's .ans file, or after a stop the last one.
std::string CapturePath();
int64_t CaptureTotalBytes();
// The host with every character outside "-", ".", "0"-"9", "A"-"Z", "_",
// "a"-"z" turned into "_"; "session" for an empty host.
std::string CaptureFileStem(const std::string& host);
// "[yyyy-mm-dd hh:nn:ss] Text" CR LF in the .log file; nothing when none is open.
void CaptureLogLine(const std::string& text);

// Tests replace the clocks (monotonic milliseconds, local time); empty
// functions restore the real ones.
void CaptureSetClocks(std::function<uint64_t()> tickMs, std::function<platform::LocalTime()> now);
