#pragma once

// Runs fn where a failure is only a lost convenience (a remembered page, a
// recorded check, on a library that is read-only or being compacted): the
// program's own exceptions are noted in the log under what, and go no further.

#include "Exception.h"

#include <QtGlobal>

template <typename Fn> void quietly(const char* what, Fn fn)
{
    try {
        fn();
    } catch (const Exception& error) {
        qWarning("%s: %s", what, error.what());
    }
}
