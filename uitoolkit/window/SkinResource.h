// The skin archive every window loads from. The program opens it once (its resource "ZIPRES"
// 150, or a folder or zip for tools and tests), keeps it open between windows and releases it at
// exit.
#pragma once

#include <memory>
#include <string>

#include "uitoolkit/skin/SkinArchive.h"

namespace ui {

void SetSkinArchive(std::unique_ptr<SkinArchive> skin);
SkinArchive* CurrentSkinArchive();
// Opens a folder or zip on disk as the current skin; false (logged) when it cannot be read.
bool OpenSkinPath(const std::string& path);
// Opens zip bytes (the program's resource) as the current skin; false (logged) when not a zip.
bool OpenSkinBytes(std::string bytes);
// Frees the archive and its decoded images; windows created afterwards fail to load.
void ReleaseSkinArchive();

}  // namespace ui
