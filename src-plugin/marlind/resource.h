// Resource identifiers of marlind32.dll.
#pragma once
#define IDS_PROJNAME 100
#define IDR_MARLIND 101
#define IDR_MARLINDPLUGIN 106
