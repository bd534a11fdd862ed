// winnt.h under its SDK name, for the code that includes it: the base types it holds on Windows are
// in windef.h here.
#pragma once
#include "windef.h"
