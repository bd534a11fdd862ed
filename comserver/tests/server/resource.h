// Resource identifiers of the test server.
#define IDS_PROJNAME 100
#define IDR_TESTSERVER_APPID 101
#define IDR_TESTCOUNTER 102
#define IDR_PLAINCOUNTER 103
