// ole2.h under its SDK name: here it brings in only the COM runtime and OLE Automation (objbase.h).
#pragma once
#include "objbase.h"
