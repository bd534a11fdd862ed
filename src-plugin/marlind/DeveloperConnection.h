// The database the developer self-test (DllUnitTest) records into: a fixed
// developer database on the developer's own machine. The README's developer
// notes repeat these; change both together.
#pragma once
#include <windows.h>

namespace marlind {

#ifdef _WIN32
// SQL Server on the local machine, through its OLE DB provider.
inline constexpr const OLECHAR* kDeveloperConnectionString =
    OLESTR("Provider=SQLOLEDB;Data Source=(local);Initial Catalog=ZelkDev");
#else
// A SQLite file in the current folder (made by the first run when missing).
inline constexpr const OLECHAR* kDeveloperConnectionString = OLESTR("Provider=SQLite;Data Source=marlind-unittest.db");
#endif
inline constexpr const OLECHAR* kDeveloperUser = OLESTR("zelkdev");
inline constexpr const OLECHAR* kDeveloperPassword = OLESTR("zelkdev");

}  // namespace marlind
