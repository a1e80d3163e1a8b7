// Names for the files the user saves on command (screenshots, ANSI exports,
// scrollback saves): unique and time-stamped inside a chosen folder; and
// window pictures written as PNG files.
#pragma once
#include "core/uPlainFileName.h"
#include <functional>
#include <string>

#include "platform/Surface.h"

// Every character outside "-", ".", "0"-"9", "A"-"Z", "_", "a"-"z" becomes
// "_"; an empty name gives "korvan".
std::string SanitizeFileNamePart(const std::string& name);

// Folder + "/" + stem + "_yyyymmdd_hhnnss" + "." + Ext, with "_2", "_3" and so
// on before the dot when that file exists. An empty folder is "screenshots";
// a "\" in it is read as "/". The folder is created with its parents when
// needed; FileName is empty when that fails.
void MakeCaptureFileName(const std::string& folder, const std::string& name, const std::string& ext,
                         std::string& fileName);

// Writes the top-left Width x Height pixels of Source as a 24-bit RGB PNG.
// The file appears whole or not at all. False with the reason in Error.
bool SaveScreenshotPng(const platform::Surface& source, int width, int height, const std::string& fileName,
                       std::string& error);
