// Resource identifiers of Quillet.DLL.
#pragma once
#define IDS_PROJNAME 100
#define IDR_QUILLET 101
#define IDR_QUILLETOBJ 102
