// basalt: the library's small layer of system primitives (locks, an event, a worker
// thread, a file mapping, a retrying file opener, access to "varnek.ini").
//
// Every failing system call raises a CError (code 0) through kvraise with the source
// position "basalt" and a text that names the operation, then its values as
// label<value>, e.g. "basalt::Mutex::enter:GetLastError()<6>".
//
// basalt calls the rest of the library only through its exported C functions, so the
// same sources work inside Korvex.dll and in a host program linked against it.
#pragma once

#include "basalt_file.h"
#include "basalt_lock.h"
#include "basalt_settings.h"
#include "basalt_thread.h"
