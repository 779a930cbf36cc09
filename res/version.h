/* The program's version, defined here only: the version resource (res/zentrel.rc)
   and the installer (scripts/package reads the four numbers below) both take it
   from this file. Keep each number on its own #define line. */
#ifndef ZENTREL_VERSION_H
#define ZENTREL_VERSION_H

#define ZENTREL_VERSION_MAJOR 1
#define ZENTREL_VERSION_MINOR 0
#define ZENTREL_VERSION_PATCH 0
#define ZENTREL_VERSION_BUILD 0

#define ZENTREL_VERSION_STR_(n) #n
#define ZENTREL_VERSION_STR(n) ZENTREL_VERSION_STR_(n)
#define ZENTREL_VERSION_TEXT                                                    \
    ZENTREL_VERSION_STR(ZENTREL_VERSION_MAJOR) "." ZENTREL_VERSION_STR(ZENTREL_VERSION_MINOR) "." \
    ZENTREL_VERSION_STR(ZENTREL_VERSION_PATCH) "." ZENTREL_VERSION_STR(ZENTREL_VERSION_BUILD)

#endif
