// The platform layer: Windows services on a POSIX machine. Callers may include this
// header or just the service they use.
#pragma once

#include "platform/ascii.h"
#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/prefix.h"
#include "platform/profile_document.h"
#include "platform/regfile.h"
#include "platform/registry.h"
#include "platform/short_names.h"
#include "platform/sysinfo.h"
#include "platform/ui.h"
#include "platform/win_error.h"
