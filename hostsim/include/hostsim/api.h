// What hostlib exports: the C services and the classes of the emulated host.
#pragma once

#include "host/hostlib.h"

#if defined(_WIN32)
#define HOSTSIM_API HOSTLIB_API
#else
#define HOSTSIM_API __attribute__((visibility("default")))
#endif
