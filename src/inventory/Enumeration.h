// Filling the codec inventory from the platform: ACM format tags, the ACM
// driver cache, the renderer and filter passes, the DMO passes and the
// post-processing that gives every entry its index, format text and pins.
#pragma once

#include <string>

#include "inventory/CodecEntry.h"
#include "base/GuidText.h"
#include "inventory/Platform.h"
#include "inventory/Registration.h"

namespace torvo {

struct EnumerationContext {
    IInventoryPlatform& platform;
    GuidNameLookup guidNames;       // the codec database's GUID names
    InventoryMessageSink messages;  // message boxes
};

// Runs all enumeration steps into the (empty) inventory and sets the
// finished flag last, whatever happened.
void EnumerateInventory(CodecInventory& inventory, const EnumerationContext& context);

// The individual steps, in the order EnumerateInventory runs them.
void EnumerateAcmFormatTags(CodecInventory& inventory, const EnumerationContext& context);
void EnumerateAcmDriverCache(CodecInventory& inventory, const EnumerationContext& context);
void EnumerateFilters(CodecInventory& inventory, const EnumerationContext& context, bool rendererPass);
void EnumerateDmos(CodecInventory& inventory, const EnumerationContext& context, const Guid& category);
void PostProcessEntries(CodecInventory& inventory, const EnumerationContext& context);

// 0 and the default value of HKLM "Software\Classes\CLSID\<clsid>\InProcServer32"
// (environment strings expanded); 2 when the CLSID key does not open, 3 when
// the value is missing.
int ServerPath(IInventoryPlatform& platform, const std::string& clsidText, std::string& path);
// The path registered for an alias under the Drivers32 key.
bool FindDriverFile(IInventoryPlatform& platform, const std::string& alias, std::string& path);
// The file is found, or its file-name part is found on the search path.
bool FileExists(IInventoryPlatform& platform, const std::string& name);

}  // namespace torvo
