// Search-path lists: owned texts of absolute directories joined by ';', built from
// items, registry values and environment variables.
#pragma once

#include <string>

#include "clientcfg/text_helpers.h"
#include "platform/registry.h"

namespace clientcfg {

/// Appends an absolute item to the list; relative items are never added. The first
/// item is taken as it stands (after leading white space); later ones lose trailing
/// white space, ';' and '\'.
OwnedText PathListAppend(OwnedText list, const char* item);

/// Appends every value of root\subkey: the data of a non-empty REG_SZ value, else the
/// value's name. Returns the number of values enumerated (0 when the key cannot be
/// opened). Names or data over 259 characters end the enumeration.
int PathListAppendRegistry(platform::reg::Hkey root, const char* subkey, OwnedText& list);

/// A copy of the environment variable, or the default when it is unset or empty.
OwnedText GetEnvAlloc(const char* name, OwnedText default_value);

}  // namespace clientcfg
