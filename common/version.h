#pragma once
// One version for the whole suite: feeds the version resources and the code.

#define SUITE_VERSION_MAJOR 1
#define SUITE_VERSION_MINOR 0
#define SUITE_VERSION_PATCH 0
#define SUITE_VERSION_BUILD 1

#define SUITE_STRINGIZE2(x) #x
#define SUITE_STRINGIZE(x) SUITE_STRINGIZE2(x)
#define SUITE_VERSION_TEXT                                                                        \
    SUITE_STRINGIZE(SUITE_VERSION_MAJOR) "." SUITE_STRINGIZE(SUITE_VERSION_MINOR) "." SUITE_STRINGIZE( \
        SUITE_VERSION_PATCH) "." SUITE_STRINGIZE(SUITE_VERSION_BUILD)
#define SUITE_COMPANY_NAME "Norvane Labs, Inc."
