// The C interface of the settings module (torvo-settings.so): QSettings in
// INI format behind plain functions, for programs that load Qt on demand.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr const char* kSettingsModuleFile = "torvo-settings.so";

extern "C" {
using TorvoTextSink = void (*)(void* context, const char* text, size_t size);
using TorvoSettingsOpenFn = void* (*)(const char* file);
using TorvoSettingsCloseFn = void (*)(void* handle);
using TorvoSettingsReadIntFn = bool (*)(void* handle, const char* section, size_t sectionSize, const char* name,
                                        size_t nameSize, int32_t* value);
using TorvoSettingsReadTextFn = bool (*)(void* handle, const char* section, size_t sectionSize, const char* name,
                                         size_t nameSize, TorvoTextSink sink, void* context);
using TorvoSettingsWriteIntFn = bool (*)(void* handle, const char* section, size_t sectionSize, const char* name,
                                         size_t nameSize, int32_t value);
using TorvoSettingsWriteTextFn = bool (*)(void* handle, const char* section, size_t sectionSize, const char* name,
                                          size_t nameSize, const char* value, size_t valueSize);
}
