// The expert commands of the codec list: registering a filter's module again
// or taking it off registration, changing a filter's merit, removing a
// registered media type from a filter. Each ends in the message the user
// sees; an inventory entry is changed only after the platform confirmed the
// write (the registration is read back).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "analysis/MessageBox.h"
#include "codeclist/CodecLists.h"
#include "inventory/Platform.h"
#include "inventory/Registration.h"

namespace torvo {

// 0 done, 1 no module path, 2 the module does not load, 3 no entry point,
// 4 the entry point failed. The class merit is deleted first.
int RegisterFilterCode(IInventoryPlatform& platform, const CodecEntry& entry, bool unregister);
// The message of a result code (caption "Восстановление  ").
const char* RegisterFilterMessage(int code, bool unregister);
// Runs it and shows the message; true when it was done.
bool RegisterFilter(IInventoryPlatform& platform, CodecEntry& entry, bool unregister, IMessageBox& messages);

// Asks for a new merit, given the current one; none when cancelled.
using MeritPrompt = std::function<std::optional<uint32_t>(uint32_t current)>;
// True when the merit was changed (the entry then shows the new one).
bool ChangeMerit(IInventoryPlatform& platform, CodecEntry& entry, IMessageBox& messages, const MeritPrompt& prompt);

// Asks, removes the row's type from the entry's registrations and says how
// it went; true when removed.
bool RemoveEntryMediaType(IInventoryPlatform& platform, CodecEntry& entry, const MediaTypeRow& row,
                          const GuidNameLookup& names, IMessageBox& messages);

// "&Новый медиатип (еще не примененный)": only a hint how to get a removed type back.
void ShowNewMediaTypeMessage(IMessageBox& messages);
// An entry without media types to list.
void ShowNoMediaTypesMessage(IMessageBox& messages);

}  // namespace torvo
