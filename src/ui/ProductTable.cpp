#include "ui/ProductTable.h"

const char* const g_szWebPage = "http://www.morvane.example/odbc";
const char* const g_szSupportMail = "support@morvane.example";
const char* const g_szDownloadRoot = "http://www.morvane.example";

// Order and titles follow the Tools menu (res/zentrel.rc, ids 25000-25012).
const ProductInfo ProductTable[kProductCount] = {
    {"QueryDesk", "Morvane Query Desk", "qdesk", "querydesk/",
     "is an interactive SQL editor for any ODBC data source"},
    {"SchemaLens", "Morvane Schema Lens", "slens", "schemalens/",
     "is a browser for the tables, views and keys of ODBC databases"},
    {"DataPump", "Morvane Data Pump", "dpump", "datapump/",
     "is a tool that copies tables and their data between ODBC data sources"},
    {"TraceView", "Morvane Trace View", "tview", "traceview/",
     "is a viewer for ODBC trace logs"},
    {"DriverDoctor", "Morvane Driver Doctor", "ddoc", "driverdoctor/",
     "is a checker for installed ODBC drivers and their registry entries"},
    {"ConnectionTester", "Morvane Connection Tester", "ctest", "conntest/",
     "is a tool that tests ODBC data sources and connection strings"},
    {"ReportForge", "Morvane Report Forge", "rforg", "reportforge/",
     "is a report designer for data from any ODBC data source"},
    {"SqlScheduler", "Morvane SQL Scheduler", "sqlsc", "sqlscheduler/",
     "is a service that runs SQL scripts on a schedule"},
    {"CsvBridge", "Morvane CSV Bridge", "csvb", "csvbridge/",
     "is a converter between CSV files and ODBC tables"},
    {"DataDiff", "Morvane Data Diff", "ddiff", "datadiff/",
     "is a tool that compares the contents of two ODBC tables"},
    {"BackupMate", "Morvane Backup Mate", "bmate", "backupmate/",
     "is a scheduler for database backups"},
    {"PasswordVault", "Morvane Password Vault", "pwv", "",
     "is a safe store for database passwords"},
    {"SqlFormatter", "Morvane SQL Formatter", "sqlf", "sqlformatter/",
     "is a formatter that lays out SQL statements"},
};
